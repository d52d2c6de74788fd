#pragma once

#include "qiraclientview.h"
#include "zxform.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTabWidget;
class QTimer;
class QToolButton;
class TZxActionList;
class TZxColorSwatch;
class TZxDBGrid;
class TZxDatasetModel;
class TQiraFileGrid;
class TfrmZxTrees;
class TdmQiraClientDatas;
class TzxdmApps;

// The main window: the branch tree beside the file grid, paging and statistics, the
// error panel, the progress panels, the settings and dictionaries pages. It runs the
// start-up sequence; the operations it starts live in the main data module.
class TfmQiraClientMain : public Tzxforms, public TQiraClientView
{
    Q_OBJECT

public:
    explicit TfmQiraClientMain(QWidget *parent = nullptr);
    ~TfmQiraClientMain() override;

    void InitData(bool IsAuth, bool AutoLogin);
    bool Connect(bool IsAuth, bool AutoLogin);
    void Disconnect();
    void UpdateControlRight();
    void ShowMemo(bool IsVisible) override;
    void ShowMess(bool IsVisible) override;
    void RestoreSettings();
    void SaveSettings();
    // Rebuilds the tree from the server and re-opens the branch selected before.
    void RefreshTree();
    // Shows or hides the tree side.
    void HideTree();
    // Switches the tree between read-only and edit mode.
    void EditTree();

    // The file list's controls, as the main data module sees them.
    QString CurrentPageText() const override;
    QString KolRowsText() const override;
    bool IsPreview() const override;
    // The sort clause of the grid's markers into FilterQira.order.
    void SetFilterOrders() override;
    void SetKolRowsResult(qint64 rows, double totalKb) override;
    void ResetKolPages() override { KolPages = -1; }
    void StartGetTable() override;
    bool IsTreeVisible() const override;
    QString SelectedTreeID() const override;
    void ShowRepositorySettings() override;
    void ShowFileProgress(bool visible) override;
    void SetProgressFileName(const QString &text) override;
    void SetProgressTotalSize(const QString &text) override;
    void SetProgressSended(const QString &text) override;
    void SetProgressMax(int max) override;
    void SetProgressPosition(int position) override;
    void ShowTotalProgress(bool visible) override;
    void SetTotalProgressText(const QString &text) override;
    void SetTotalProgressMax(int max) override;
    void SetTotalProgressPosition(int position) override;
    void AddMemoLine(const QString &line) override;

    TdmQiraClientDatas *dmQiraClientDatas = nullptr;
    TzxdmApps *zxdmApps = nullptr;
    TZxActionList *alCommands = nullptr;
    qint64 KolPages = -1;

    // Window-level controls.
    QLabel *lbInfoQira = nullptr;
    QTabWidget *pcMain = nullptr;
    QWidget *tsData = nullptr;
    QWidget *tsSettings = nullptr;
    QWidget *tsDictionary = nullptr;
    QWidget *tsTest = nullptr;
    QWidget *paTotalProgress = nullptr;
    QLabel *lbTotalKol = nullptr;
    QProgressBar *pbTotalProgress = nullptr;
    QWidget *paProgress = nullptr;
    QLabel *lbFileName = nullptr;
    QLabel *lbTotalSize = nullptr;
    QLabel *lbSended = nullptr;
    QProgressBar *pbProgress = nullptr;
    QLabel *lbInfoClient = nullptr;

    // Page "Данные".
    QWidget *paTree = nullptr;
    QLineEdit *edSearchField = nullptr;
    QToolButton *btnOpenTree = nullptr;
    TfrmZxTrees *frmZxTrees = nullptr;
    QSplitter *spClient = nullptr;
    QWidget *paGrid = nullptr;
    TZxColorSwatch *sbDelFile = nullptr;
    TZxColorSwatch *shWorking = nullptr;
    TZxColorSwatch *shCurrentPos = nullptr;
    QToolButton *btnSave = nullptr;
    QPushButton *btnSaveSettingColor = nullptr;
    QToolButton *btnFilter = nullptr;
    QToolButton *btnAboutUser = nullptr;
    QCheckBox *cbShowPreview = nullptr;
    QLineEdit *edKolRows = nullptr;
    QPushButton *btnRefresh = nullptr;
    QPushButton *btnFirst = nullptr;
    QPushButton *btnPrior = nullptr;
    QLineEdit *edCurrentPage = nullptr;
    QPushButton *btnNext = nullptr;
    QPushButton *btnEnd = nullptr;
    QPushButton *btnStat = nullptr;
    QLineEdit *edKol = nullptr;
    QLineEdit *edTotalSizeSum = nullptr;
    TQiraFileGrid *grFiles = nullptr;
    TZxDatasetModel *filesModel = nullptr;
    QWidget *paPreview = nullptr;
    QLabel *dePreview = nullptr;
    QSplitter *spPreview = nullptr;
    QSplitter *spBottom = nullptr;
    QPlainTextEdit *meInfo = nullptr;
    QWidget *paError = nullptr;
    TZxDBGrid *grError = nullptr;
    TZxDatasetModel *errorModel = nullptr;

    // Page "Настройки".
    QLineEdit *edHost = nullptr;
    QLineEdit *edPort = nullptr;
    QComboBox *cbProtocol = nullptr;
    QLineEdit *edDirProj = nullptr;
    QPushButton *btnSelDir = nullptr;
    QPushButton *btnConnect = nullptr;
    QPushButton *btnSaveSetting = nullptr;
    QPushButton *btnSelDesign = nullptr;

    // Page "Справочники".
    QTabWidget *pcDictionary = nullptr;
    TZxDBGrid *gdeTabuFiles = nullptr;

    QMenu *pmTree = nullptr;
    QMenu *pmGrid = nullptr;
    QMenu *pmOpen = nullptr;
    QMenu *pmTreeButton = nullptr;
    QMenu *pmUser = nullptr;
    QMenu *pmMess = nullptr;
    QMenu *pmMemoProcess = nullptr;

    QTimer *tmRun = nullptr;
    QTimer *tmGetTable = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Set when the program is to end (versions differ): start-up schedules nothing more.
    bool m_ending = false;
    void buildWindow();
    QWidget *buildDataPage();
    QWidget *buildGridButtons();
    QWidget *buildSettingsPage();
    QWidget *buildDictionaryPage();
    void buildCommands();
    void alCommandsUpdate();
    void startUp();
    // The update centre's check runs here once the self-update arrives.
    void RunUpdateCheck();
    void ShowClientVersion();
    void UpdateCaption();
    void SetupTree();
    void UpdateAdminItems();
    void TreeViewChange();
    void selectDirectory();
    void selectDesign();

    // The file list (ui/fmqiraclientmains.cpp, its own section).
    void connectFileList();
    void CalcKolPages();
    void ShowPreview();
    void showCurrentPreview();
    void btnFirstClick();
    void btnPriorClick();
    void btnNextClick();
    void btnEndClick();
    void btnStatClick();
    void OpenFileDir();
    qint64 pageValue() const;
    qint64 kolRowsValue() const;
    // The last result of GetKolRows, as the row-count box shows it.
    qint64 m_kol = 0;
};
