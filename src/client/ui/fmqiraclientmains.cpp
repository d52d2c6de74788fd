#include "fmqiraclientmains.h"

#include "dmqiraclientdatas.h"
#include "dmzxdataclient.h"
#include "fmzxlogin.h"
#include "folderdialog.h"
#include "frmzxtrees.h"
#include "qiracommands.h"
#include "qirafilegrid.h"
#include "qirashellopen.h"
#include "settingskeeper.h"
#include "zxactions.h"
#include "zxapplication.h"
#include "zxbase.h"
#include "zxcolorswatch.h"
#include "zxdataset.h"
#include "zxdatasetmodel.h"
#include "zxdbgrid.h"
#include "zxdmapp.h"
#include "zxinifile.h"
#include "zxerror.h"
#include "zxmess.h"
#include "zxroot.h"
#include "zxsel_design.h"
#include "zxtreeview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString SettingsSection = QStringLiteral("ConnectionSettings");
const QString SettingsKey = QStringLiteral("TfmQiraClientMain");
const QString SettingsGroup = QStringLiteral("CliSettings");
constexpr qint64 InitialColorDel = 12171775;
constexpr qint64 InitialColorWorking = 11195903;
constexpr qint64 InitialColorCurrent = 7960832;

QLabel *label(const QString &text, QWidget *parent)
{
    auto *result = new QLabel(text, parent);
    return result;
}

template <typename W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QToolButton *actionButton(QAction *action, QMenu *menu, QWidget *parent, const char *name)
{
    auto *button = named(new QToolButton(parent), name);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    if (menu) {
        button->setMenu(menu);
        button->setPopupMode(QToolButton::MenuButtonPopup);
    }
    return button;
}

QLineEdit *readOnlyNumberBox(QWidget *parent, const char *name)
{
    auto *box = named(new QLineEdit(parent), name);
    box->setReadOnly(true);
    box->setAlignment(Qt::AlignRight);
    QPalette grey = box->palette();
    grey.setColor(QPalette::Base, QColor(211, 211, 211));
    box->setPalette(grey);
    box->setMaximumWidth(130);
    return box;
}

} // namespace

TfmQiraClientMain::TfmQiraClientMain(QWidget *parent) : Tzxforms(QStringLiteral("TfmQiraClientMain"), parent)
{
    FormCreate();
    setWindowTitle(QStringLiteral("Qira Client Desktop"));
    setWindowFlag(Qt::WindowMinMaxButtonsHint);
    KolPages = -1;
    Tzxroot::Instance()->Ver->PoductCode = QStringLiteral("vazoded");
    Tzxroot::Instance()->Ver->ProductType = QStringLiteral("Client");
    zxdmApps = new TzxdmApps(this);
    buildWindow();
    startUp();
}

TfmQiraClientMain::~TfmQiraClientMain()
{
    // The data module goes first, while every grid showing its tables is still whole:
    // its tables' models then reset views that can take it.
    delete dmQiraClientDatas;
    dmQiraClientDatas = nullptr;
}

void TfmQiraClientMain::buildWindow()
{
    alCommands = new TZxActionList(this);
    AddQiraCommands(*alCommands);

    auto *paQiraInfo = named(new QWidget(this), "paQiraInfo");
    lbInfoQira = named(new QLabel(QStringLiteral("Qira Документооборот. "), paQiraInfo), "lbInfoQira");
    lbInfoQira->setStyleSheet(QStringLiteral("font-weight: bold; color: green;"));
    auto *infoLayout = new QHBoxLayout(paQiraInfo);
    infoLayout->setContentsMargins(4, 0, 4, 0);
    infoLayout->addWidget(lbInfoQira);

    pcMain = named(new QTabWidget(this), "pcMain");
    tsData = named(buildDataPage(), "tsData");
    tsSettings = named(buildSettingsPage(), "tsSettings");
    tsDictionary = named(buildDictionaryPage(), "tsDictionary");
    tsTest = named(new QWidget, "tsTest");
    pcMain->addTab(tsData, QStringLiteral("Данные"));
    pcMain->addTab(tsSettings, QStringLiteral("Настройки"));
    pcMain->addTab(tsDictionary, QStringLiteral("Справочники"));
    pcMain->addTab(tsTest, QStringLiteral("Test"));
    pcMain->setTabVisible(pcMain->indexOf(tsTest), false);
    connect(pcMain, &QTabWidget::currentChanged, this, [this](int index) {
        if (pcMain->widget(index) == tsDictionary)
            dmQiraClientDatas->dmDCTabus->Open();
    });

    paTotalProgress = named(new QWidget(this), "paTotalProgress");
    lbTotalKol = named(label(QStringLiteral("1 из 1"), paTotalProgress), "lbTotalKol");
    pbTotalProgress = named(new QProgressBar(paTotalProgress), "pbTotalProgress");
    auto *totalLayout = new QVBoxLayout(paTotalProgress);
    totalLayout->addWidget(lbTotalKol);
    totalLayout->addWidget(pbTotalProgress);

    paProgress = named(new QWidget(this), "paProgress");
    lbFileName = named(label(QStringLiteral("Файл: "), paProgress), "lbFileName");
    lbTotalSize = named(label(QStringLiteral("Общий размер:"), paProgress), "lbTotalSize");
    lbSended = named(label(QStringLiteral("Передано:"), paProgress), "lbSended");
    pbProgress = named(new QProgressBar(paProgress), "pbProgress");
    auto *progressLayout = new QVBoxLayout(paProgress);
    progressLayout->addWidget(lbFileName);
    progressLayout->addWidget(lbTotalSize);
    progressLayout->addWidget(lbSended);
    progressLayout->addWidget(pbProgress);
    paTotalProgress->hide();
    paProgress->hide();

    lbInfoClient = named(new QLabel(this), "lbInfoClient");
    QFont bold = lbInfoClient->font();
    bold.setBold(true);
    lbInfoClient->setFont(bold);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(paQiraInfo);
    layout->addWidget(pcMain, 1);
    layout->addWidget(paTotalProgress);
    layout->addWidget(paProgress);
    layout->addWidget(lbInfoClient);

    buildCommands();
    // Enter in a box of the main window must not press some button of it.
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setAutoDefault(false);

    tmRun = named(new QTimer(this), "tmRun");
    tmRun->setInterval(300);
    tmRun->setSingleShot(true);
    tmGetTable = named(new QTimer(this), "tmGetTable");
    tmGetTable->setInterval(300);
    tmGetTable->setSingleShot(true);
    connectFileList();
}

QWidget *TfmQiraClientMain::buildDataPage()
{
    auto *page = new QWidget;
    pmTree = named(new QMenu(page), "pmTree");
    pmGrid = named(new QMenu(page), "pmGrid");
    pmOpen = named(new QMenu(page), "pmOpen");
    pmTreeButton = named(new QMenu(page), "pmTreeButton");
    pmUser = named(new QMenu(page), "pmUser");
    BuildQiraMenu(pmTree, *alCommands, QiraMenus::pmTree());
    BuildQiraMenu(pmGrid, *alCommands, QiraMenus::pmGrid());
    BuildQiraMenu(pmOpen, *alCommands, QiraMenus::pmOpen());
    BuildQiraMenu(pmTreeButton, *alCommands, QiraMenus::pmTreeButton());
    BuildQiraMenu(pmUser, *alCommands, QiraMenus::pmUser());

    paTree = named(new QWidget, "paTree");
    auto *paTreeCommand = named(new QWidget(paTree), "paTreeCommand");
    paTreeCommand->setFixedHeight(57);
    edSearchField = named(new QLineEdit(paTreeCommand), "edSearchField");
    btnOpenTree = named(new QToolButton(paTreeCommand), "btnOpenTree");
    btnOpenTree->setText(QStringLiteral("Open"));
    btnOpenTree->setMenu(pmTreeButton);
    btnOpenTree->setPopupMode(QToolButton::MenuButtonPopup);
    auto *commandLayout = new QVBoxLayout(paTreeCommand);
    commandLayout->setContentsMargins(2, 2, 2, 2);
    commandLayout->addWidget(edSearchField);
    commandLayout->addWidget(btnOpenTree, 0, Qt::AlignLeft);
    frmZxTrees = new TfrmZxTrees(paTree);
    QTreeView *treeView = frmZxTrees->TreeView;
    treeView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(treeView, &QWidget::customContextMenuRequested, this,
            [this, treeView](const QPoint &at) { pmTree->popup(treeView->viewport()->mapToGlobal(at)); });
    connect(treeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TfmQiraClientMain::TreeViewChange);
    auto *treeLayout = new QVBoxLayout(paTree);
    treeLayout->setContentsMargins(0, 0, 0, 0);
    treeLayout->addWidget(paTreeCommand);
    treeLayout->addWidget(frmZxTrees, 1);

    paGrid = named(new QWidget, "paGrid");
    grFiles = named(new TQiraFileGrid(paGrid), "grFiles");
    grFiles->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grFiles, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { pmGrid->popup(grFiles->viewport()->mapToGlobal(at)); });

    paPreview = named(new QWidget, "paPreview");
    dePreview = named(new QLabel(paPreview), "dePreview");
    dePreview->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    dePreview->setAutoFillBackground(true);
    dePreview->setBackgroundRole(QPalette::ToolTipBase);
    auto *previewLayout = new QVBoxLayout(paPreview);
    previewLayout->setContentsMargins(0, 0, 0, 0);
    previewLayout->addWidget(dePreview);
    spPreview = named(new QSplitter(Qt::Horizontal), "spPreview");
    spPreview->addWidget(grFiles);
    spPreview->addWidget(paPreview);
    spPreview->setStretchFactor(0, 1);
    paPreview->hide();

    meInfo = named(new QPlainTextEdit, "meInfo");
    meInfo->setReadOnly(true);
    meInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    pmMemoProcess = named(new QMenu(meInfo), "pmMemoProcess");
    pmMemoProcess->addAction(QStringLiteral("Скрыть поле сообщений"), this, [this] { ShowMemo(false); });
    pmMemoProcess->addAction(QStringLiteral("Очистить"), meInfo, &QPlainTextEdit::clear);
    meInfo->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(meInfo, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { pmMemoProcess->popup(meInfo->mapToGlobal(at)); });

    paError = named(new QWidget, "paError");
    auto *lbErrors = named(new QLabel(QStringLiteral("Ошибки"), paError), "lbErrors");
    lbErrors->setStyleSheet(QStringLiteral("font-weight: bold; color: red;"));
    grError = named(new TZxDBGrid(paError), "grError");
    grError->horizontalHeader()->setStretchLastSection(true);
    pmMess = named(new QMenu(grError), "pmMess");
    pmMess->addAction(QStringLiteral("Скрыть поле сообщений"), this, [this] { ShowMess(false); });
    pmMess->addAction(QStringLiteral("Очистить"), this, [this] { dmQiraClientDatas->ClearErrorTable(); });
    grError->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grError, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { pmMess->popup(grError->viewport()->mapToGlobal(at)); });
    auto *errorLayout = new QVBoxLayout(paError);
    errorLayout->setContentsMargins(0, 0, 0, 0);
    errorLayout->addWidget(lbErrors);
    errorLayout->addWidget(grError, 1);

    spBottom = named(new QSplitter(Qt::Vertical), "spBottom");
    spBottom->addWidget(spPreview);
    spBottom->addWidget(meInfo);
    spBottom->addWidget(paError);
    spBottom->setStretchFactor(0, 1);
    spBottom->handle(1)->setObjectName(QStringLiteral("spMemo"));
    spBottom->handle(2)->setObjectName(QStringLiteral("spMess"));
    spBottom->setSizes({400, 89, 146});
    meInfo->hide();
    paError->hide();

    auto *gridLayout = new QVBoxLayout(paGrid);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    gridLayout->addWidget(buildGridButtons());
    gridLayout->addWidget(spBottom, 1);

    spClient = named(new QSplitter(Qt::Horizontal), "spClient");
    spClient->addWidget(paTree);
    spClient->addWidget(paGrid);
    spClient->setStretchFactor(1, 1);
    spClient->setSizes({232, 700});

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(spClient);
    return page;
}

QWidget *TfmQiraClientMain::buildGridButtons()
{
    auto *paGridButtons = named(new QWidget, "paGridButtons");
    paGridButtons->setFixedHeight(56);

    sbDelFile = named(new TZxColorSwatch(ColorFromStored(InitialColorDel), paGridButtons), "sbDelFile");
    shWorking = named(new TZxColorSwatch(ColorFromStored(InitialColorWorking), paGridButtons), "shWorking");
    shCurrentPos = named(new TZxColorSwatch(ColorFromStored(InitialColorCurrent), paGridButtons), "shCurrentPos");
    btnSave = actionButton(alCommands->action(QStringLiteral("alGetWordk")), pmOpen, paGridButtons, "btnSave");
    btnSaveSettingColor = named(new QPushButton(QStringLiteral("Сохранить настройки"), paGridButtons),
                                "btnSaveSettingColor");
    connect(btnSaveSettingColor, &QPushButton::clicked, this, &TfmQiraClientMain::SaveSettings);
    btnFilter = actionButton(alCommands->action(QStringLiteral("alFilter")), nullptr, paGridButtons, "btnFilter");
    btnAboutUser = actionButton(alCommands->action(QStringLiteral("alUserInfo")), pmUser, paGridButtons,
                                "btnAboutUser");
    btnAboutUser->setText(QStringLiteral("?"));
    cbShowPreview = named(new QCheckBox(QStringLiteral("Превью"), paGridButtons), "cbShowPreview");
    cbShowPreview->setToolTip(QStringLiteral("Показывать превью"));

    auto *row1 = new QHBoxLayout;
    row1->addWidget(sbDelFile);
    row1->addWidget(label(QStringLiteral("Удален"), paGridButtons));
    row1->addWidget(shWorking);
    row1->addWidget(label(QStringLiteral("В работе"), paGridButtons));
    row1->addWidget(shCurrentPos);
    row1->addWidget(label(QStringLiteral("Курсор"), paGridButtons));
    row1->addWidget(btnSave);
    row1->addWidget(btnSaveSettingColor);
    row1->addWidget(btnFilter);
    row1->addWidget(btnAboutUser);
    row1->addWidget(cbShowPreview);
    row1->addStretch();

    edKolRows = named(new QLineEdit(QStringLiteral("50"), paGridButtons), "edKolRows");
    // 0 rows per page would make the last page a division by zero.
    edKolRows->setValidator(new QIntValidator(1, 500000, edKolRows));
    edKolRows->setMaximumWidth(70);
    btnRefresh = named(new QPushButton(QStringLiteral("Обновить"), paGridButtons), "btnRefresh");
    btnRefresh->setToolTip(QStringLiteral("Обновить информацию о файлах"));
    btnFirst = named(new QPushButton(QStringLiteral("<<"), paGridButtons), "btnFirst");
    btnFirst->setToolTip(QStringLiteral("Перейти на первую страницу"));
    btnPrior = named(new QPushButton(QStringLiteral("<"), paGridButtons), "btnPrior");
    btnPrior->setToolTip(QStringLiteral("Перейти на предыдущую страницу"));
    edCurrentPage = named(new QLineEdit(QStringLiteral("0"), paGridButtons), "edCurrentPage");
    edCurrentPage->setValidator(new QIntValidator(0, std::numeric_limits<int>::max(), edCurrentPage));
    edCurrentPage->setMaximumWidth(70);
    btnNext = named(new QPushButton(QStringLiteral(">"), paGridButtons), "btnNext");
    btnNext->setToolTip(QStringLiteral("Перейти на следующую страницу"));
    btnEnd = named(new QPushButton(QStringLiteral(">>"), paGridButtons), "btnEnd");
    btnEnd->setToolTip(QStringLiteral("Перейти на последнюю страницу"));
    btnStat = named(new QPushButton(QStringLiteral("Статистика"), paGridButtons), "btnStat");
    btnStat->setToolTip(QStringLiteral("Обновить информацию о файлах"));
    for (QPushButton *narrow : {btnFirst, btnPrior, btnNext, btnEnd})
        narrow->setMaximumWidth(36);
    edKol = readOnlyNumberBox(paGridButtons, "edKol");
    edTotalSizeSum = readOnlyNumberBox(paGridButtons, "edTotalSizeSum");

    auto *row2 = new QHBoxLayout;
    row2->addWidget(label(QStringLiteral("Кол. строк"), paGridButtons));
    row2->addWidget(edKolRows);
    row2->addWidget(btnRefresh);
    row2->addWidget(btnFirst);
    row2->addWidget(btnPrior);
    row2->addWidget(edCurrentPage);
    row2->addWidget(btnNext);
    row2->addWidget(btnEnd);
    row2->addWidget(btnStat);
    row2->addWidget(label(QStringLiteral("Строк"), paGridButtons));
    row2->addWidget(edKol);
    row2->addWidget(label(QStringLiteral("Объем, кБ"), paGridButtons));
    row2->addWidget(edTotalSizeSum);
    row2->addStretch();

    auto *layout = new QVBoxLayout(paGridButtons);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(1);
    layout->addLayout(row1);
    layout->addLayout(row2);
    return paGridButtons;
}

QWidget *TfmQiraClientMain::buildSettingsPage()
{
    auto *page = new QWidget;
    auto *paSettings = named(new QWidget(page), "paSettings");
    edHost = named(new QLineEdit(QStringLiteral("localhost"), paSettings), "edHost");
    edPort = named(new QLineEdit(QStringLiteral("211"), paSettings), "edPort");
    cbProtocol = named(new QComboBox(paSettings), "cbProtocol");
    cbProtocol->addItems({QStringLiteral("TCP"), QStringLiteral("HTTP"), QStringLiteral("HTTPS")});
    cbProtocol->setCurrentIndex(0);
    edDirProj = named(new QLineEdit(paSettings), "edDirProj");
    btnSelDir = named(new QPushButton(QStringLiteral("Выбрать"), paSettings), "btnSelDir");
    connect(btnSelDir, &QPushButton::clicked, this, &TfmQiraClientMain::selectDirectory);
    auto *pathRow = new QHBoxLayout;
    pathRow->addWidget(edDirProj, 1);
    pathRow->addWidget(btnSelDir);
    auto *form = new QFormLayout(paSettings);
    form->addRow(QStringLiteral("Сервер"), edHost);
    form->addRow(QStringLiteral("Порт"), edPort);
    form->addRow(QStringLiteral("Протокол"), cbProtocol);
    form->addRow(QStringLiteral("Путь"), pathRow);

    btnConnect = named(new QPushButton(QStringLiteral("Подключиться"), page), "btnConnect");
    btnSaveSetting = named(new QPushButton(QStringLiteral("Сохранить"), page), "btnSaveSetting");
    btnSelDesign = named(new QPushButton(QStringLiteral("Выбор дизайна"), page), "btnSelDesign");
    connect(btnConnect, &QPushButton::clicked, this, [this] { InitData(false, true); });
    connect(btnSaveSetting, &QPushButton::clicked, this, &TfmQiraClientMain::SaveSettings);
    connect(btnSelDesign, &QPushButton::clicked, this, &TfmQiraClientMain::selectDesign);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnConnect);
    buttons->addWidget(btnSaveSetting);
    buttons->addWidget(btnSelDesign);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(paSettings);
    layout->addLayout(buttons);
    layout->addStretch();
    return page;
}

QWidget *TfmQiraClientMain::buildDictionaryPage()
{
    auto *page = new QWidget;
    pcDictionary = named(new QTabWidget(page), "pcDictionary");
    auto *tsExcludeFiles = named(new QWidget, "tsExcludeFiles");
    gdeTabuFiles = named(new TZxDBGrid(tsExcludeFiles), "gdeTabuFiles");
    auto *excludeLayout = new QVBoxLayout(tsExcludeFiles);
    excludeLayout->setContentsMargins(0, 0, 0, 0);
    excludeLayout->addWidget(gdeTabuFiles);
    pcDictionary->addTab(tsExcludeFiles, QStringLiteral("Исключения"));
    for (const QString &caption : {QStringLiteral("Типы документов"), QStringLiteral("Категории типов файлов"),
                                   QStringLiteral("Тип файлов"), QStringLiteral("Расширения")})
        pcDictionary->addTab(new QWidget, caption);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pcDictionary);
    return page;
}

void TfmQiraClientMain::buildCommands()
{
    alCommands->action(QStringLiteral("alEditMode"))->setHandler([this] { zxdmApps->SetEditMode(); });
    alCommands->action(QStringLiteral("alViewSQLTable"))->setHandler([this] { dmQiraClientDatas->ViewSQL(); });
    alCommands->action(QStringLiteral("alCheckFile"))->setHandler([] { ShowMessage(QStringLiteral("Будет реализовано позже...")); });
    alCommands->action(QStringLiteral("alSaveGrid"))->setHandler([] { ShowMessage(QStringLiteral("Будет реализовано позже...")); });
    alCommands->action(QStringLiteral("alChangeUser"))->setHandler([this] {
        InitData(true, false);
        RefreshTree();
    });
    alCommands->action(QStringLiteral("alHideTree"))->setHandler([this] { HideTree(); });

    alCommands->action(QStringLiteral("alInsTree"))->setHandler([this] { frmZxTrees->NewTree(); });
    alCommands->action(QStringLiteral("alCreateChildTree"))->setHandler([this] { frmZxTrees->NewChild(); });
    alCommands->action(QStringLiteral("alCreateMaineNode"))->setHandler([this] { frmZxTrees->CreateRoot(); });
    alCommands->action(QStringLiteral("alTree_Edit"))->setHandler([this] { frmZxTrees->Edit(); });
    alCommands->action(QStringLiteral("alTreeDel"))->setHandler([this] { frmZxTrees->Delete(true); });
    alCommands->action(QStringLiteral("alTreeDelFull"))->setHandler([this] {
        if (Tzxroot::Instance()->IsAdmin())
            frmZxTrees->DeleteFull();
        else
            ErrorBox(QStringLiteral("Эта операция разрешена только администратору!"));
    });
    alCommands->action(QStringLiteral("alUndeleteTree"))->setHandler([this] {
        frmZxTrees->UndeleteNode();
        RefreshTree();
    });
    alCommands->action(QStringLiteral("alShowDelNodes"))->setHandler([this] {
        frmZxTrees->IsShowDel = !frmZxTrees->IsShowDel;
        RefreshTree();
    });
    alCommands->action(QStringLiteral("alRefresh"))->setHandler([this] { RefreshTree(); });
    alCommands->action(QStringLiteral("alEditTree"))->setHandler([this] { EditTree(); });
    alCommands->setUpdateHandler([this] { alCommandsUpdate(); });
}

void TfmQiraClientMain::alCommandsUpdate()
{
    // isHidden, not isVisible: the caption must follow the panel also while the window
    // itself is not shown.
    alCommands->action(QStringLiteral("alHideTree"))
        ->setText(!paTree->isHidden() ? QStringLiteral("Скрыть дерево") : QStringLiteral("Показать дерево"));
    alCommands->action(QStringLiteral("alEditMode"))
        ->setText(grFiles->readOnly() ? QStringLiteral("Режим редактирования") : QStringLiteral("Режим поиска"));
    if (dmQiraClientDatas)
        alCommands->action(QStringLiteral("alShowDelFiles"))
            ->setText(dmQiraClientDatas->FilterQira.IsShowDel ? QStringLiteral("Скрыть удаленные файлы")
                                                              : QStringLiteral("Показать удаленные файлы"));
    alCommands->action(QStringLiteral("alEditTree"))
        ->setText(frmZxTrees->TreeReadOnly() ? QStringLiteral("Режим редактирования")
                                             : QStringLiteral("Режим только для чтения"));
    alCommands->action(QStringLiteral("alShowDelNodes"))
        ->setText(frmZxTrees->IsShowDel ? QStringLiteral("Скрыть удаленные ветви")
                                        : QStringLiteral("Показать удаленные ветви"));
}

void TfmQiraClientMain::startUp()
{
    RunUpdateCheck();
    RestoreSettings();
    dmQiraClientDatas = new TdmQiraClientDatas(this, this);
    filesModel = new TZxDatasetModel(dmQiraClientDatas->iqFiles, this);
    grFiles->setModel(filesModel);
    connect(filesModel, &TZxDatasetModel::currentRowChanged, this, &TfmQiraClientMain::showCurrentPreview);
    connect(filesModel, &QAbstractItemModel::modelReset, this, &TfmQiraClientMain::showCurrentPreview);
    errorModel = new TZxDatasetModel(dmQiraClientDatas->mtErrors, this);
    errorModel->setFieldTitle(QStringLiteral("TimeErr"), QStringLiteral("Время"));
    errorModel->setFieldTitle(QStringLiteral("Title"), QStringLiteral("Заголовок"));
    errorModel->setFieldTitle(QStringLiteral("MessErr"), QStringLiteral("Сообщение"));
    grError->setModel(errorModel);
    grError->setFieldLayout({QStringLiteral("TimeErr"), QStringLiteral("Title"), QStringLiteral("MessErr")});
    auto *viewError = new TZxCellButtonDelegate(QStringLiteral("Просмотреть ошибку"), grError);
    grError->setItemDelegateForColumn(dmQiraClientDatas->mtErrors->FieldByName(QStringLiteral("TimeErr")).Index(),
                                      viewError);
    connect(viewError, &TZxCellButtonDelegate::buttonClicked, this, [this](const QModelIndex &index) {
        dmQiraClientDatas->mtErrors->MoveTo(index.row());
        dmQiraClientDatas->ShowError();
    });
    ShowClientVersion();
    InitData(true, true);
    TZxDatasetModel *tabuModel = dmQiraClientDatas->dmDCTabus->dsData;
    tabuModel->setFieldTitle(QStringLiteral("tabuid"), QStringLiteral("id"));
    tabuModel->setFieldTitle(QStringLiteral("tabuname"), QStringLiteral("Исключить файл"));
    tabuModel->setFieldTitle(QStringLiteral("del"), QStringLiteral("Удален"));
    gdeTabuFiles->setModel(tabuModel);
    gdeTabuFiles->setFieldLayout({QStringLiteral("tabuid"), QStringLiteral("tabuname"), QStringLiteral("del")});
    connect(tmRun, &QTimer::timeout, this, [this] {
        // After a failed sign-in the user has been told already; the tree stays empty
        // until "Обновить" instead of adding a box about the missing connection.
        if (dmQiraClientDatas->cnQiraCli.Connected())
            RefreshTree();
    });
    if (!m_ending)
        tmRun->start();
}

void TfmQiraClientMain::RunUpdateCheck() {}

void TfmQiraClientMain::keyPressEvent(QKeyEvent *event)
{
    // The main window is no dialog: Escape does not close it.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    Tzxforms::keyPressEvent(event);
}

void TfmQiraClientMain::ShowClientVersion()
{
    lbInfoClient->setText(QStringLiteral("Client Version: ") + Tzxroot::Instance()->Ver->Version);
}

void TfmQiraClientMain::UpdateCaption() { setWindowTitle(QStringLiteral("QiraClient Desktop - ")); }

void TfmQiraClientMain::InitData(bool IsAuth, bool AutoLogin)
{
    ShowClientVersion();
    if (!Connect(IsAuth, AutoLogin))
        return;
    const QString clientVersion = Tzxroot::Instance()->Ver->Version;
    const QString serverVersion = dmQiraClientDatas->GetServerVersion();
    lbInfoClient->setText(lbInfoClient->text() + QStringLiteral(" ; Server Version: ") + serverVersion);
    if (clientVersion != serverVersion) {
        m_ending = true;
        tmRun->stop();
        tmGetTable->stop();
        ErrorBox(QStringLiteral("Версии клиентской и серверной части отличаются!\rЗапрещается запуск приложений разных версий\r"
                                "Работа программы будет завершена...\rВерсия клиентской части: ")
                 + clientVersion + u'\r' + QStringLiteral("Версия серверной части: ") + serverVersion + u'\r');
        TerminateApplication();
        return;
    }
    UpdateCaption();
}

bool TfmQiraClientMain::Connect(bool IsAuth, bool AutoLogin)
{
    try {
        TConnectDs info = dmQiraClientDatas->ConnectInfo();
        info.Server = ZxTrim(edHost->text());
        const qint64 port = TextToInt64(ZxTrim(edPort->text()));
        if (port < std::numeric_limits<qint32>::min() || port > std::numeric_limits<qint32>::max())
            throw EConvertError(QStringLiteral("'%1' не является целым числом").arg(edPort->text()));
        info.Port = qint32(port);
        info.DirProj = ZxTrim(edDirProj->text());
        info.Protocol = cbProtocol->currentText();
        dmQiraClientDatas->SetConnectInfo(info);
        if (!IsAuth)
            return dmQiraClientDatas->Auth(dmQiraClientDatas->ConnectInfo());
        // Created only now: its automatic confirmation must not run for a window that
        // is never shown.
        auto *login = new TfmZxLogins(this);
        const bool signedIn = login->Auth(dmQiraClientDatas, AutoLogin);
        UpdateControlRight();
        return signedIn;
    } catch (const EZxError &error) {
        ShowErrorWin(error.className() + QStringLiteral(". Функция Connect.") + QStringLiteral(" Ошибка подключения."),
                     error.message());
        return false;
    }
}

void TfmQiraClientMain::Disconnect() { dmQiraClientDatas->cnQiraCli.Close(); }

void TfmQiraClientMain::UpdateControlRight()
{
    const bool admin = Tzxroot::Instance()->IsAdmin();
    alCommands->action(QStringLiteral("alRights"))->setVisible(admin);
    for (const char *name : {"alSetRights", "alRoles", "alUsers"})
        alCommands->action(QString::fromLatin1(name))->setAllowed(admin);
    const QList<QAction *> buttonItems = pmTreeButton->actions();
    const qsizetype users = buttonItems.indexOf(alCommands->action(QStringLiteral("alUsers")));
    if (users >= 0 && users + 1 < buttonItems.size() && buttonItems.at(users + 1)->isSeparator())
        buttonItems.at(users + 1)->setEnabled(admin);
}

void TfmQiraClientMain::SetupTree()
{
    frmZxTrees->TreeID = QStringLiteral("treeid");
    frmZxTrees->ParentID = QStringLiteral("parent_treeid");
    frmZxTrees->NameTree = QStringLiteral("treename");
    frmZxTrees->Count = QStringLiteral("ccount");
    frmZxTrees->AddInfoField = QStringLiteral("kolrights");
    frmZxTrees->IsShowAddInfo = true;
    frmZxTrees->Connection = &dmQiraClientDatas->cnQiraCli;
}

void TfmQiraClientMain::RefreshTree()
{
    const ItemRec *selected = frmZxTrees->SelectedRec();
    const QString selectedId = selected ? selected->Id : QString();
    SetupTree();
    frmZxTrees->InitTree();
    UpdateAdminItems();
    if (!ZxTrim(selectedId).isEmpty())
        frmZxTrees->FindTree(selectedId);
}

void TfmQiraClientMain::UpdateAdminItems()
{
    const bool admin = Tzxroot::Instance()->IsAdmin();
    alCommands->action(QStringLiteral("alTreeDelFull"))->setVisible(admin);
    QAction *fullDelFile = alCommands->action(QStringLiteral("alFullDelFile"));
    fullDelFile->setVisible(admin);
    alCommands->action(QStringLiteral("alFullDelFileAll"))->setVisible(admin);
    // The separator before the two purge items of the file menu goes with them.
    for (QMenu *menu : pmGrid->findChildren<QMenu *>()) {
        const QList<QAction *> items = menu->actions();
        const qsizetype at = items.indexOf(fullDelFile);
        if (at > 0 && items.at(at - 1)->isSeparator())
            items.at(at - 1)->setVisible(admin);
    }
}

void TfmQiraClientMain::TreeViewChange()
{
    // Nothing is selected for a moment while the tree is rebuilt.
    const ItemRec *selected = frmZxTrees->SelectedRec();
    if (!selected || !dmQiraClientDatas)
        return;
    KolPages = -1;
    dmQiraClientDatas->FilterQira.TreeID = selected->Id;
    dmQiraClientDatas->GetFiles(false);
}

void TfmQiraClientMain::HideTree()
{
    KolPages = -1;
    if (paTree->isHidden()) {
        paTree->show();
        // The splitter returns to the right edge of the panel.
        const QList<int> sizes = spClient->sizes();
        const int total = sizes.value(0) + sizes.value(1);
        const int width = std::max(paTree->width(), 232);
        spClient->setSizes({width, std::max(total - width, 0)});
    } else {
        paTree->hide();
    }
    // Hidden, the list shows the files of all branches.
    dmQiraClientDatas->RefreshFileTable();
}

void TfmQiraClientMain::EditTree()
{
    frmZxTrees->SetTreeReadOnly(!frmZxTrees->TreeReadOnly());
}

void TfmQiraClientMain::ShowMemo(bool IsVisible) { meInfo->setVisible(IsVisible); }

void TfmQiraClientMain::ShowMess(bool IsVisible) { paError->setVisible(IsVisible); }

void TfmQiraClientMain::RestoreSettings()
{
    try {
        const TSettingsKeeper keeper = TSettingsKeeper::fromJson(ReadSettingsEntry(SettingsSection, SettingsKey));
        const TSettingsKeeper *settings = keeper.TryGetSubsettingsValue(SettingsGroup);
        if (!settings)
            return;
        if (const auto server = settings->TryGetStringValue(QStringLiteral("Server")))
            edHost->setText(*server);
        if (const auto port = settings->TryGetStringValue(QStringLiteral("Port")))
            edPort->setText(*port);
        if (const auto protocol = settings->TryGetStringValue(QStringLiteral("Protocol")))
            cbProtocol->setCurrentIndex(cbProtocol->findText(*protocol, Qt::MatchExactly));
        if (const auto dir = settings->TryGetStringValue(QStringLiteral("DirProj")))
            edDirProj->setText(ZxTrim(*dir));
        if (const auto color = settings->TryGetIntegerValue(QStringLiteral("ColorDel")))
            sbDelFile->setColor(ColorFromStored(*color));
        if (const auto color = settings->TryGetIntegerValue(QStringLiteral("ColorWorkin")))
            shWorking->setColor(ColorFromStored(*color));
        if (const auto color = settings->TryGetIntegerValue(QStringLiteral("ColorCurrentPos")))
            shCurrentPos->setColor(ColorFromStored(*color));
    } catch (const EZxError &error) {
        ShowErrorWin(error.className() + QStringLiteral(". Функция RestoreSettings.") + ZxPhrase::SettingsRestore,
                     error.message());
    }
}

void TfmQiraClientMain::SaveSettings()
{
    try {
        if (cbProtocol->currentIndex() < 0)
            throw EZxError(QStringLiteral("EStringListError"), QStringLiteral("Индекс списка вне границ (-1)"));
        TSettingsKeeper settings;
        settings.addText(QStringLiteral("Server"), edHost->text());
        settings.addText(QStringLiteral("Port"), edPort->text());
        settings.addText(QStringLiteral("Protocol"), cbProtocol->currentText());
        settings.addText(QStringLiteral("DirProj"), ZxTrim(edDirProj->text()));
        settings.addInteger(QStringLiteral("ColorDel"), ColorToStored(sbDelFile->color()));
        settings.addInteger(QStringLiteral("ColorWorkin"), ColorToStored(shWorking->color()));
        settings.addInteger(QStringLiteral("ColorCurrentPos"), ColorToStored(shCurrentPos->color()));
        TSettingsKeeper keeper;
        keeper.addGroup(SettingsGroup, std::move(settings));
        WriteSettingsEntry(SettingsSection, SettingsKey, keeper.toJson());
    } catch (const EZxError &error) {
        ShowErrorWin(error.className() + QStringLiteral(". Функция SaveSettings.") + ZxPhrase::SettingsSave,
                     error.message());
    }
}

void TfmQiraClientMain::selectDirectory()
{
    TFolderDialog dialog(this);
    dialog.Directory = ZxTrim(edDirProj->text());
    if (dialog.Execute())
        edDirProj->setText(dialog.Directory);
}

void TfmQiraClientMain::selectDesign() { (new Tfmzxsel_designs(this))->exec(); }

// --- the file list ---------------------------------------------------------------------

namespace {

// "### ### ### ### ### ###.##": digits in threes, up to two decimals.
QString groupedNumber(double value)
{
    QString text = QString::number(value, 'f', 2);
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(u'.'))
        text.chop(1);
    const qsizetype point = text.indexOf(u'.');
    QString whole = point < 0 ? text : text.left(point);
    const QString fraction = point < 0 ? QString() : QLocale::system().decimalPoint() + text.mid(point + 1);
    const bool negative = whole.startsWith(u'-');
    if (negative)
        whole.remove(0, 1);
    for (qsizetype at = whole.size() - 3; at > 0; at -= 3)
        whole.insert(at, u' ');
    return (negative ? QStringLiteral("-") : QString()) + whole + fraction;
}

} // namespace

void TfmQiraClientMain::connectFileList()
{
    grFiles->SetDeletedColor(sbDelFile->color());
    grFiles->SetWorkingColor(shWorking->color());
    grFiles->SetCurrentColor(shCurrentPos->color());
    connect(sbDelFile, &TZxColorSwatch::colorChanged, grFiles, &TQiraFileGrid::SetDeletedColor);
    connect(shWorking, &TZxColorSwatch::colorChanged, grFiles, &TQiraFileGrid::SetWorkingColor);
    connect(shCurrentPos, &TZxColorSwatch::colorChanged, grFiles, &TQiraFileGrid::SetCurrentColor);
    connect(grFiles, &TQiraFileGrid::sortMarkersChanged, this, [this] { dmQiraClientDatas->GetFiles(false); });
    connect(grFiles, &QAbstractItemView::doubleClicked, this, [this] {
        if (grFiles->readOnly())
            alCommands->action(QStringLiteral("alGetWordk"))->trigger();
    });

    connect(btnRefresh, &QPushButton::clicked, this, [this] { dmQiraClientDatas->RefreshFileTable(); });
    connect(btnFirst, &QPushButton::clicked, this, &TfmQiraClientMain::btnFirstClick);
    connect(btnPrior, &QPushButton::clicked, this, &TfmQiraClientMain::btnPriorClick);
    connect(btnNext, &QPushButton::clicked, this, &TfmQiraClientMain::btnNextClick);
    connect(btnEnd, &QPushButton::clicked, this, &TfmQiraClientMain::btnEndClick);
    connect(btnStat, &QPushButton::clicked, this, &TfmQiraClientMain::btnStatClick);
    connect(cbShowPreview, &QCheckBox::toggled, this, [this] { dmQiraClientDatas->RefreshFileTable(); });
    connect(tmGetTable, &QTimer::timeout, this, [this] {
        tmGetTable->stop();
        dmQiraClientDatas->GetFiles(false);
        ShowPreview();
    });

    const auto handle = [this](const char *name, std::function<void()> handler) {
        alCommands->action(QString::fromLatin1(name))->setHandler(std::move(handler));
    };
    handle("alOpenFile", [this] { dmQiraClientDatas->OpenLocalFile(dmQiraClientDatas->CurrentFileID()); });
    handle("alDownloadFile",
           [this] { dmQiraClientDatas->OpenFileQira(dmQiraClientDatas->CurrentFileID(), false, true); });
    handle("acDownloadAndOpen",
           [this] { dmQiraClientDatas->OpenFileQira(dmQiraClientDatas->CurrentFileID(), true, true); });
    handle("alOpenDIr", [this] { OpenFileDir(); });
    handle("alShowDelFiles", [this] { dmQiraClientDatas->ShowDelFiles(); });
    handle("alShowFilesRecursive", [this] { dmQiraClientDatas->GetFiles(true); });
    handle("alRefreshTable", [this] {
        // No handling of its own: what fails is shown as any uncaught failure is.
        try {
            dmQiraClientDatas->RefreshFiles();
        } catch (const EZxError &error) {
            ShowUncaughtFailure(error.message());
        }
    });
}

QString TfmQiraClientMain::CurrentPageText() const { return edCurrentPage->text(); }

QString TfmQiraClientMain::KolRowsText() const { return edKolRows->text(); }

bool TfmQiraClientMain::IsPreview() const { return cbShowPreview->isChecked(); }

void TfmQiraClientMain::SetFilterOrders() { dmQiraClientDatas->FilterQira.order = grFiles->SortClause(); }

void TfmQiraClientMain::SetKolRowsResult(qint64 rows, double totalKb)
{
    m_kol = rows;
    edKol->setText(groupedNumber(double(rows)));
    edTotalSizeSum->setText(groupedNumber(totalKb));
}

void TfmQiraClientMain::StartGetTable()
{
    // Requests while the timer runs join the fetch it will make.
    if (!tmGetTable->isActive())
        tmGetTable->start();
}

bool TfmQiraClientMain::IsTreeVisible() const { return !paTree->isHidden(); }

QString TfmQiraClientMain::SelectedTreeID() const
{
    const ItemRec *selected = frmZxTrees->SelectedRec();
    return selected ? selected->Id : QString();
}

void TfmQiraClientMain::ShowRepositorySettings()
{
    pcMain->setCurrentWidget(tsSettings);
    edDirProj->setFocus();
}

void TfmQiraClientMain::ShowFileProgress(bool visible) { paProgress->setVisible(visible); }

void TfmQiraClientMain::SetProgressFileName(const QString &text) { lbFileName->setText(text); }

void TfmQiraClientMain::SetProgressTotalSize(const QString &text) { lbTotalSize->setText(text); }

void TfmQiraClientMain::SetProgressSended(const QString &text) { lbSended->setText(text); }

void TfmQiraClientMain::SetProgressMax(int max) { pbProgress->setRange(0, max); }

void TfmQiraClientMain::SetProgressPosition(int position) { pbProgress->setValue(position); }

void TfmQiraClientMain::ShowTotalProgress(bool visible) { paTotalProgress->setVisible(visible); }

void TfmQiraClientMain::SetTotalProgressText(const QString &text) { lbTotalKol->setText(text); }

void TfmQiraClientMain::SetTotalProgressMax(int max) { pbTotalProgress->setRange(0, max); }

void TfmQiraClientMain::SetTotalProgressPosition(int position) { pbTotalProgress->setValue(position); }

void TfmQiraClientMain::AddMemoLine(const QString &line) { meInfo->appendPlainText(line); }

qint64 TfmQiraClientMain::pageValue() const
{
    bool ok = false;
    const qint64 page = ZxTrim(edCurrentPage->text()).toLongLong(&ok);
    return ok && page > 0 ? page : 0;
}

qint64 TfmQiraClientMain::kolRowsValue() const
{
    bool ok = false;
    const qint64 rows = ZxTrim(edKolRows->text()).toLongLong(&ok);
    return ok ? rows : 0;
}

void TfmQiraClientMain::CalcKolPages()
{
    if (KolPages != -1)
        return;
    dmQiraClientDatas->GetKolRows();
    const qint64 rows = kolRowsValue();
    // With no valid rows per page the last page is not known; the first one is.
    if (rows < 1) {
        KolPages = 0;
        return;
    }
    // The smallest integer not less than count / rows - 1, and not below 0.
    KolPages = m_kol > 0 ? (m_kol - 1) / rows : 0;
}

void TfmQiraClientMain::btnFirstClick()
{
    edCurrentPage->setText(QStringLiteral("0"));
    dmQiraClientDatas->RefreshFileTable();
}

void TfmQiraClientMain::btnPriorClick()
{
    edCurrentPage->setText(QString::number(qMax<qint64>(pageValue() - 1, 0)));
    dmQiraClientDatas->RefreshFileTable();
}

void TfmQiraClientMain::btnNextClick()
{
    CalcKolPages();
    edCurrentPage->setText(QString::number(qMin<qint64>(pageValue() + 1, KolPages)));
    dmQiraClientDatas->RefreshFileTable();
}

void TfmQiraClientMain::btnEndClick()
{
    btnStatClick();
    CalcKolPages();
    edCurrentPage->setText(QString::number(KolPages));
    dmQiraClientDatas->RefreshFileTable();
}

void TfmQiraClientMain::btnStatClick() { dmQiraClientDatas->GetKolRows(); }

void TfmQiraClientMain::ShowPreview()
{
    const bool shown = cbShowPreview->isChecked();
    paPreview->setVisible(shown);
    if (shown) {
        // The panel keeps a usable width right of the grid.
        const QList<int> sizes = spPreview->sizes();
        const int total = sizes.value(0) + sizes.value(1);
        const int width = qMax(paPreview->width(), 185);
        if (total > width)
            spPreview->setSizes({total - width, width});
    }
    grFiles->SetPreview(shown);
    showCurrentPreview();
}

void TfmQiraClientMain::showCurrentPreview()
{
    if (paPreview->isHidden()) {
        dePreview->clear();
        return;
    }
    const int column = grFiles->ColumnOf(TQiraFileGrid::PreviewField);
    TZxDataset *files = dmQiraClientDatas->iqFiles;
    QPixmap picture;
    if (column >= 0 && !files->IsEmpty() && files->CurrentRow() >= 0)
        picture.loadFromData(files->RowValue(files->CurrentRow(), column).toByteArray());
    if (picture.isNull()) {
        dePreview->clear();
        return;
    }
    const QSize room = dePreview->size().boundedTo(QSize(dePreview->width(), 4 * dePreview->width()));
    dePreview->setPixmap(picture.width() > room.width() ? picture.scaledToWidth(room.width(), Qt::SmoothTransformation)
                                                        : picture);
}

void TfmQiraClientMain::OpenFileDir()
{
    if (ZxTrim(dmQiraClientDatas->ConnectInfo().DirProj).isEmpty()) {
        dmQiraClientDatas->RequestRootDir();
        return;
    }
    const QString local = dmQiraClientDatas->GetLocalFileName(dmQiraClientDatas->CurrentFileID());
    if (!local.isEmpty())
        ShellOpen(QFileInfo(local).absolutePath());
}
