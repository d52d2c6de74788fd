#include "tst_transferfixture.h"

#include "dmzxdataclient.h"
#include "fmqiraclientmains.h"
#include "frmzxtrees.h"
#include "qirafilegrid.h"
#include "recordingresponder.h"
#include "zxactions.h"
#include "zxapplication.h"
#include "zxcolorswatch.h"
#include "zxdatasetmodel.h"
#include "zxinifile.h"
#include "zxroot.h"
#include "zxtreemodel.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QString fileName(int i) { return QStringLiteral("Файл %1").arg(i, 3, 10, QChar(u'0')); }

} // namespace

// The main window's file list against the real server: what each fetch asks for, the
// paging arithmetic, the deferred fetch, the cursor, the scope of the list, the row
// colours, and edits sent back under the rights checks.
class TestFileListWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void firstRequestFilterJson();
    void orderFollowsMarkersInDisplayOrder();
    void paging_data();
    void paging();
    void refreshRequestsCoalesce();
    void cursorStaysOnTheFile();
    void hiddenTreeListsAllBranches();
    void deletedFilesShownAndPainted();
    void editWithoutWriteRightIsRefused();
    void editAndInsertAreSent();
    void previewSwitch();
    void badBoxesAreReported();
    void secondaryListOfOneFile();

private:
    TfmQiraClientMain *startWindow(const QString &login);
    void selectBranch(const QString &id);
    void waitForDeferredFetch();
    TQiraFilter lastFilter(const QString &method = QStringLiteral("GetFiles")) const;
    QString rowFileName(int row) const;

    std::unique_ptr<TransferServer> m_server;
    std::unique_ptr<Tzxroot> m_root;
    std::unique_ptr<TfmQiraClientMain> m_window;
    QTemporaryDir m_settings;
    QHash<int, QString> m_counted; // rows -> branch
    QString m_misc;
    QHash<QString, QString> m_miscFiles; // name -> id
};

void TestFileListWindow::initTestCase()
{
    SetTerminateHandler([] {});
    m_server = std::make_unique<TransferServer>();
    for (int count : {0, 50, 51, 100, 101}) {
        const QString branch = m_server->addBranch(QStringLiteral("Ветвь на %1").arg(count));
        m_counted.insert(count, branch);
        QList<TQiraRowChange> rows;
        for (int i = 1; i <= count; ++i)
            rows.append(TransferServer::fileRow(NewID(), branch, fileName(i), QStringLiteral("txt"),
                                                {{QStringLiteral("sumdoc"), double(i % 7)}}));
        if (!rows.isEmpty())
            m_server->server.store->applyFileChanges(m_server->admin, rows);
    }
    m_misc = m_server->addBranch(QStringLiteral("Разное"));
    const auto add = [this](const QString &name, int del) {
        const QString id = NewID();
        m_server->server.store->applyFileChanges(
            m_server->admin, {TransferServer::fileRow(id, m_misc, name, QStringLiteral("txt"), {{QStringLiteral("del"), del}})});
        m_miscFiles.insert(name, id);
    };
    add(QStringLiteral("а обычный"), 0);
    add(QStringLiteral("б в работе"), 0);
    add(QStringLiteral("в удален"), 1);
    add(QStringLiteral("г удален в работе"), 1);
    for (const QString &name : {QStringLiteral("б в работе"), QStringLiteral("г удален в работе")}) {
        TQiraRowChange take;
        take.state = TQiraRowChange::State::Modified;
        take.original = {{QStringLiteral("fileid"), m_miscFiles.value(name)}};
        take.values = {{QStringLiteral("working_user"), QStringLiteral("admin")}};
        m_server->server.store->applyFileChanges(m_server->admin, {take});
    }
}

void TestFileListWindow::init()
{
    m_root = std::make_unique<Tzxroot>();
    SetSettingsFilePath(m_settings.filePath(QStringLiteral("client.ini")));
    m_root->Init();
}

void TestFileListWindow::cleanup()
{
    m_window.reset();
    QTest::qWait(0);
    m_root.reset();
    m_server->proxy->clear();
}

TfmQiraClientMain *TestFileListWindow::startWindow(const QString &login)
{
    WriteSettingsEntry(QStringLiteral("ConnectionSettings"), QStringLiteral("TfmQiraClientMain"),
                       QStringLiteral("{\"CliSettings\":{\"Server\":\"127.0.0.1\",\"Port\":\"%1\",\"Protocol\":\"TCP\"}}")
                           .arg(m_server->proxy->port()));
    WriteSettingsEntry(QStringLiteral("ConnectionSettings"), QStringLiteral("TfmZxLogins"),
                       QStringLiteral("{\"Auth\":{\"SaveAuth\":\"1\",\"Login\":\"%1\",\"Password\":\"%1\"}}").arg(login));
    m_window.reset(new TfmQiraClientMain);
    // the tree is built 300 ms after the start
    [this] { QTRY_VERIFY(m_window->frmZxTrees->Model->rowCount() > 0); }();
    return m_window.get();
}

void TestFileListWindow::selectBranch(const QString &id)
{
    m_window->frmZxTrees->FindTree(id);
    QCOMPARE(m_window->SelectedTreeID(), id);
}

void TestFileListWindow::waitForDeferredFetch()
{
    QTRY_VERIFY(!m_window->tmGetTable->isActive());
}

TQiraFilter TestFileListWindow::lastFilter(const QString &method) const
{
    const QList<WireProxy::Call> calls = m_server->proxy->calls(method);
    return calls.isEmpty() ? TQiraFilter() : DecodeQiraFilter(calls.last().text(QStringLiteral("QiraFilter")));
}

QString TestFileListWindow::rowFileName(int row) const
{
    TZxDataset &files = *m_window->dmQiraClientDatas->iqFiles;
    return files.RowValue(row, files.FieldByName(QStringLiteral("filename")).Index()).toString();
}

void TestFileListWindow::firstRequestFilterJson()
{
    RecordingResponder responder;
    startWindow(QStringLiteral("admin"));
    if (m_server->proxy->calls(QStringLiteral("GetFiles")).isEmpty())
        selectBranch(m_counted.value(51));
    const QString treeId = m_window->dmQiraClientDatas->FilterQira.TreeID;
    QVERIFY(!treeId.isEmpty());
    QCOMPARE(m_server->proxy->calls(QStringLiteral("GetFiles")).first().text(QStringLiteral("QiraFilter")),
             QStringLiteral("{\n"
                            "    \"IsShowDel\": false,\n"
                            "    \"IsShowAll\": false,\n"
                            "    \"CurrentPage\": 0,\n"
                            "    \"KolRows\": 50,\n"
                            "    \"IsPreview\": false,\n"
                            "    \"TreeID\": \"%1\",\n"
                            "    \"FileID\": \"\",\n"
                            "    \"order\": \"f.filename\",\n"
                            "    \"filter\": \"\",\n"
                            "    \"IsRecursive\": false\n"
                            "}")
                 .arg(treeId));
    // the recursive listing asks for the sub-branches too, and the flag stays
    m_window->alCommands->action(QStringLiteral("alShowFilesRecursive"))->trigger();
    QVERIFY(lastFilter().IsRecursive);
    QVERIFY(m_window->dmQiraClientDatas->FilterQira.IsRecursive);
    QVERIFY(responder.boxes.isEmpty());
}

void TestFileListWindow::orderFollowsMarkersInDisplayOrder()
{
    RecordingResponder responder;
    startWindow(QStringLiteral("admin"));
    selectBranch(m_counted.value(51));
    TQiraFileGrid &grid = *m_window->grFiles;
    const int sumdoc = grid.ColumnOf(QStringLiteral("sumdoc"));
    const int filename = grid.ColumnOf(QStringLiteral("filename"));
    QVERIFY(sumdoc >= 0 && filename >= 0);

    // sumdoc marked first, descending; then filename added
    grid.ClickTitle(sumdoc, false);
    QCOMPARE(grid.SortClause(), QStringLiteral("f.sumdoc"));
    grid.ClickTitle(sumdoc, false);
    QCOMPARE(grid.SortClause(), QStringLiteral("f.sumdoc desc"));
    m_server->proxy->clear();
    grid.ClickTitle(filename, true);
    // every change of the markers fetches at once, without the timer
    QCOMPARE(m_server->proxy->calls(QStringLiteral("GetFiles")).size(), 1);
    QCOMPARE(lastFilter().order, QStringLiteral("f.filename, f.sumdoc desc"));
    QCOMPARE(grid.MarkerNumber(filename), 1);
    QCOMPARE(grid.MarkerNumber(sumdoc), 2);
    // the rows arrived in that order: names ascending
    QCOMPARE(rowFileName(0), fileName(1));

    // moved to the left, sumdoc leads, whatever the order of marking
    grid.horizontalHeader()->moveSection(grid.horizontalHeader()->visualIndex(sumdoc), 0);
    m_window->btnRefresh->click();
    waitForDeferredFetch();
    QCOMPARE(lastFilter().order, QStringLiteral("f.sumdoc desc, f.filename"));
    // the display order and the markers outlive the reload
    QCOMPARE(grid.horizontalHeader()->visualIndex(grid.ColumnOf(QStringLiteral("sumdoc"))), 0);
    QCOMPARE(grid.Marker(QStringLiteral("sumdoc")), TQiraFileGrid::TSortMarker::Descending);
    QCOMPARE(rowFileName(0), fileName(6)); // the first name with sumdoc 6

    // ctrl-click steps a marker off; a plain click leaves one column sorted
    grid.ClickTitle(grid.ColumnOf(QStringLiteral("filename")), true);
    grid.ClickTitle(grid.ColumnOf(QStringLiteral("filename")), true);
    QCOMPARE(grid.SortClause(), QStringLiteral("f.sumdoc desc"));
    grid.ClickTitle(grid.ColumnOf(QStringLiteral("fileext")), false);
    QCOMPARE(grid.SortClause(), QStringLiteral("f.fileext"));
    // pictures are not sorted
    grid.ClickTitle(grid.ColumnOf(TQiraFileGrid::PreviewField), false);
    QCOMPARE(grid.SortClause(), QStringLiteral("f.fileext"));
    QVERIFY(responder.boxes.isEmpty());
    QVERIFY(errorRows(*m_window->dmQiraClientDatas).isEmpty());
}

void TestFileListWindow::paging_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("lastPage");
    QTest::newRow("0 rows") << 0 << 0;
    QTest::newRow("50 rows") << 50 << 0;
    QTest::newRow("51 rows") << 51 << 1;
    QTest::newRow("100 rows") << 100 << 1;
    QTest::newRow("101 rows") << 101 << 2;
}

void TestFileListWindow::paging()
{
    QFETCH(int, count);
    QFETCH(int, lastPage);
    RecordingResponder responder;
    TfmQiraClientMain &window = *startWindow(QStringLiteral("admin"));
    selectBranch(m_counted.value(count));
    QCOMPARE(window.KolPages, qint64(-1));
    const auto page = [&window] { return window.edCurrentPage->text(); };

    window.btnEnd->click();
    QCOMPARE(page(), QString::number(lastPage));
    QCOMPARE(window.KolPages, qint64(lastPage));
    QCOMPARE(window.edKol->text(), QString::number(count));
    waitForDeferredFetch();
    QCOMPARE(lastFilter().CurrentPage, qint64(lastPage));
    QCOMPARE(window.dmQiraClientDatas->iqFiles->RecordCount(), count - lastPage * 50);

    window.btnNext->click(); // at the end it stays
    QCOMPARE(page(), QString::number(lastPage));
    window.btnFirst->click();
    QCOMPARE(page(), QStringLiteral("0"));
    window.btnPrior->click(); // at the start it stays
    QCOMPARE(page(), QStringLiteral("0"));
    window.btnNext->click();
    QCOMPARE(page(), QString::number(qMin(1, lastPage)));
    waitForDeferredFetch();
    QCOMPARE(window.dmQiraClientDatas->iqFiles->RecordCount(), qMin(50, count - qMin(1, lastPage) * 50));

    // "Статистика" alone counts and leaves the page
    window.edKol->clear();
    window.btnStat->click();
    QCOMPARE(window.edKol->text(), QString::number(count));
    QCOMPARE(page(), QString::number(qMin(1, lastPage)));
    QVERIFY(responder.boxes.isEmpty());
    QVERIFY(errorRows(*window.dmQiraClientDatas).isEmpty());
}

void TestFileListWindow::refreshRequestsCoalesce()
{
    RecordingResponder responder;
    TfmQiraClientMain &window = *startWindow(QStringLiteral("admin"));
    selectBranch(m_counted.value(101));
    m_server->proxy->clear();
    window.btnRefresh->click();
    window.btnRefresh->click();
    window.btnFirst->click();
    window.btnNext->click();
    QVERIFY(window.tmGetTable->isActive());
    QVERIFY(m_server->proxy->calls(QStringLiteral("GetFiles")).isEmpty());
    waitForDeferredFetch();
    QCOMPARE(m_server->proxy->calls(QStringLiteral("GetFiles")).size(), 1);
    // the one fetch shows the page the last request asked for
    QCOMPARE(lastFilter().CurrentPage, qint64(1));
    // a request after the fetch makes another
    window.btnRefresh->click();
    waitForDeferredFetch();
    QCOMPARE(m_server->proxy->calls(QStringLiteral("GetFiles")).size(), 2);
}

void TestFileListWindow::cursorStaysOnTheFile()
{
    RecordingResponder responder;
    TfmQiraClientMain &window = *startWindow(QStringLiteral("admin"));
    selectBranch(m_counted.value(51));
    TQiraFileGrid &grid = *window.grFiles;
    TdmQiraClientDatas &data = *window.dmQiraClientDatas;
    grid.setCurrentIndex(grid.model()->index(10, grid.ColumnOf(QStringLiteral("filename"))));
    QCOMPARE(data.iqFiles->CurrentRow(), 10);
    const QString chosen = data.CurrentFileID();
    QCOMPARE(rowFileName(10), fileName(11));

    // names descending: "Файл 011" moves down the page, the cursor with it
    grid.ClickTitle(grid.ColumnOf(QStringLiteral("filename")), false);
    QCOMPARE(data.CurrentFileID(), chosen);
    QCOMPARE(data.iqFiles->CurrentRow(), 40);
    QCOMPARE(grid.currentIndex().row(), 40);

    window.btnRefresh->click();
    waitForDeferredFetch();
    QCOMPARE(data.CurrentFileID(), chosen);
    QCOMPARE(grid.currentIndex().row(), 40);

    // a file no longer on the page leaves the cursor where the load put it
    window.edCurrentPage->setText(QStringLiteral("1"));
    window.btnRefresh->click();
    waitForDeferredFetch();
    QCOMPARE(data.iqFiles->RecordCount(), 1);
    QCOMPARE(data.iqFiles->CurrentRow(), 0);
}

void TestFileListWindow::hiddenTreeListsAllBranches()
{
    RecordingResponder responder;
    TfmQiraClientMain &window = *startWindow(QStringLiteral("admin"));
    selectBranch(m_counted.value(50));
    window.KolPages = 3;
    window.alCommands->action(QStringLiteral("alHideTree"))->trigger();
    QVERIFY(window.paTree->isHidden());
    QCOMPARE(window.KolPages, qint64(-1));
    waitForDeferredFetch();
    const TQiraFilter all = lastFilter();
    QVERIFY(all.IsShowAll);
    QCOMPARE(all.TreeID, QString());
    window.btnStat->click();
    // every live file of every branch
    QCOMPARE(window.edKol->text(), QString::number(50 + 51 + 100 + 101 + 2));
    window.alCommands->UpdateActions();
    QCOMPARE(window.alCommands->action(QStringLiteral("alHideTree"))->text(), QStringLiteral("Показать дерево"));

    window.alCommands->action(QStringLiteral("alHideTree"))->trigger();
    waitForDeferredFetch();
    QVERIFY(!lastFilter().IsShowAll);
    QCOMPARE(lastFilter().TreeID, m_counted.value(50));
    QCOMPARE(window.dmQiraClientDatas->iqFiles->RecordCount(), 50);
}

void TestFileListWindow::deletedFilesShownAndPainted()
{
    RecordingResponder responder;
    TfmQiraClientMain &window = *startWindow(QStringLiteral("admin"));
    selectBranch(m_misc);
    TdmQiraClientDatas &data = *window.dmQiraClientDatas;
    QCOMPARE(data.iqFiles->RecordCount(), 2);
    window.KolPages = 5;
    window.alCommands->action(QStringLiteral("alShowDelFiles"))->trigger();
    QVERIFY(lastFilter().IsShowDel);
    QCOMPARE(window.KolPages, qint64(-1));
    QCOMPARE(data.iqFiles->RecordCount(), 4);
    window.alCommands->UpdateActions();
    QCOMPARE(window.alCommands->action(QStringLiteral("alShowDelFiles"))->text(), QStringLiteral("Скрыть удаленные файлы"));

    TQiraFileGrid &grid = *window.grFiles;
    QCOMPARE(rowFileName(0), QStringLiteral("а обычный"));
    grid.setCurrentIndex(grid.model()->index(0, grid.ColumnOf(QStringLiteral("filename"))));
    const auto cell = [&grid](int row, const char *field) {
        return grid.CellBackground(grid.model()->index(row, grid.ColumnOf(QString::fromLatin1(field))));
    };
    const QColor deleted(0xFF, 0xB9, 0xB9);
    const QColor working(0xFF, 0xD5, 0xAA);
    const QColor current(0x00, 0x79, 0x79);
    QCOMPARE(cell(1, "filename"), working);
    QCOMPARE(cell(2, "filename"), deleted);
    QCOMPARE(cell(3, "comment_file"), deleted); // in work and deleted: deleted wins
    // the row under the cursor, every cell of it while the grid has no focus
    QCOMPARE(cell(0, "filename"), current);
    QCOMPARE(cell(0, "fileext"), current);
    // a new swatch colour is used at once
    window.sbDelFile->setColor(QColor(1, 2, 3));
    QCOMPARE(cell(2, "filename"), QColor(1, 2, 3));

    // with the focus, the focused cell keeps the normal highlight
    window.show();
    window.activateWindow();
    grid.setFocus();
    QTRY_VERIFY(grid.hasFocus());
    QVERIFY(!cell(0, "filename").isValid());
    QCOMPARE(cell(0, "fileext"), current);

    window.alCommands->action(QStringLiteral("alShowDelFiles"))->trigger();
    QCOMPARE(data.iqFiles->RecordCount(), 2);
}

void TestFileListWindow::editWithoutWriteRightIsRefused()
{
    RecordingResponder responder;
    TfmQiraClientMain &window = *startWindow(QStringLiteral("user"));
    selectBranch(m_counted.value(50));
    TQiraFileGrid &grid = *window.grFiles;
    grid.setReadOnly(false);
    const QString fileId = window.dmQiraClientDatas->CurrentFileID();
    m_server->proxy->clear();

    QVERIFY(!grid.model()->setData(grid.model()->index(0, grid.ColumnOf(QStringLiteral("comment_file"))),
                                   QStringLiteral("чужая правка")));
    QVERIFY(!grid.model()->insertRows(0, 1));

    QCOMPARE(responder.boxes.size(), 2);
    QCOMPARE(responder.boxes[0].kind, QStringLiteral("error"));
    QCOMPARE(responder.boxes[0].text, QStringLiteral("У Вас нет прав редактирования этого файла!"));
    QCOMPARE(responder.boxes[1].text, QStringLiteral("У Вас нет прав вставки в этот раздел!"));
    QCOMPARE(m_server->proxy->methods(), (QStringList{QStringLiteral("GetRights"), QStringLiteral("GetRights")}));
    QVERIFY(!window.dmQiraClientDatas->iqFiles->UpdatesPending());
    QCOMPARE(window.dmQiraClientDatas->iqFiles->RecordCount(), 50);
    TQiraFilter one;
    one.FileID = fileId;
    const TQiraRowSet row = m_server->server.store->files(m_server->admin, one, QStringLiteral("iqFiles"));
    QVERIFY(row.value(0, QStringLiteral("comment_file")).toString().isEmpty());
}

void TestFileListWindow::editAndInsertAreSent()
{
    RecordingResponder responder;
    TfmQiraClientMain &window = *startWindow(QStringLiteral("admin"));
    selectBranch(m_misc);
    TQiraFileGrid &grid = *window.grFiles;
    TdmQiraClientDatas &data = *window.dmQiraClientDatas;
    grid.setReadOnly(false);
    grid.setCurrentIndex(grid.model()->index(0, grid.ColumnOf(QStringLiteral("comment_file"))));
    const QString fileId = data.CurrentFileID();
    m_server->proxy->clear();

    QVERIFY(grid.model()->setData(grid.model()->index(0, grid.ColumnOf(QStringLiteral("comment_file"))),
                                  QStringLiteral("проверено")));
    QCOMPARE(m_server->proxy->methods(), (QStringList{QStringLiteral("GetRights"), QStringLiteral("GetNow"),
                                                      QStringLiteral("StreamPostFiles"), QStringLiteral("RefreshFiles")}));
    QCOMPARE(data.CurrentFileID(), fileId);
    QVERIFY(!data.iqFiles->UpdatesPending());
    TQiraFilter one;
    one.FileID = fileId;
    TQiraRowSet row = m_server->server.store->files(m_server->admin, one, QStringLiteral("iqFiles"));
    QCOMPARE(row.value(0, QStringLiteral("comment_file")).toString(), QStringLiteral("проверено"));
    QCOMPARE(row.value(0, QStringLiteral("userupdate")).toString(), QStringLiteral("admin"));

    // a new row gets its key, branch and stamps and goes to the server once posted
    QVERIFY(grid.model()->insertRows(0, 1));
    const QString newId = data.CurrentFileID();
    QCOMPARE(newId.size(), 32);
    QCOMPARE(data.iqFiles->FieldByName(QStringLiteral("treeid")).AsString(), m_misc);
    QCOMPARE(data.iqFiles->FieldByName(QStringLiteral("usercreate")).AsString(), QStringLiteral("admin"));
    QVERIFY(grid.model()->setData(grid.model()->index(0, grid.ColumnOf(QStringLiteral("filename"))), QStringLiteral("а новый")));
    one.FileID = newId;
    row = m_server->server.store->files(m_server->admin, one, QStringLiteral("iqFiles"));
    QCOMPARE(row.rows.size(), 1);
    QCOMPARE(row.value(0, QStringLiteral("filename")).toString(), QStringLiteral("а новый"));
    QCOMPARE(row.value(0, QStringLiteral("treeid")).toString(), m_misc);
    QCOMPARE(data.CurrentFileID(), newId);
    QVERIFY(responder.boxes.isEmpty());

    // the deleted mark is a check box: a click in edit mode flips it and saves
    const int del = grid.ColumnOf(QStringLiteral("del"));
    grid.ToggleCheck(grid.model()->index(data.iqFiles->CurrentRow(), del));
    one.IsShowDel = true;
    row = m_server->server.store->files(m_server->admin, one, QStringLiteral("iqFiles"));
    QCOMPARE(row.value(0, QStringLiteral("del")).toInt(), 1);
    grid.setReadOnly(true);
}

void TestFileListWindow::previewSwitch()
{
    RecordingResponder responder;
    TfmQiraClientMain &window = *startWindow(QStringLiteral("admin"));
    selectBranch(m_counted.value(50));
    TQiraFileGrid &grid = *window.grFiles;
    const int singleLine = grid.verticalHeader()->defaultSectionSize();
    QVERIFY(window.paPreview->isHidden());

    window.cbShowPreview->setChecked(true);
    waitForDeferredFetch();
    QVERIFY(lastFilter().IsPreview);
    QVERIFY(!window.paPreview->isHidden());
    QVERIFY(grid.IsPreviewShown());
    const int picture = grid.ColumnOf(TQiraFileGrid::PreviewField);
    QVERIFY(picture >= 0);
    QVERIFY(!grid.isColumnHidden(picture));
    QVERIFY(window.dmQiraClientDatas->iqFiles->FieldByName(TQiraFileGrid::PreviewField).IsPicture());
    QCOMPARE(grid.verticalHeader()->defaultSectionSize(), 4 * grid.fontMetrics().lineSpacing() + 6);

    window.cbShowPreview->setChecked(false);
    waitForDeferredFetch();
    QVERIFY(!lastFilter().IsPreview);
    QVERIFY(window.paPreview->isHidden());
    QCOMPARE(grid.verticalHeader()->defaultSectionSize(), singleLine);
    QVERIFY(grid.ColumnOf(TQiraFileGrid::PreviewField) < 0 || grid.isColumnHidden(grid.ColumnOf(TQiraFileGrid::PreviewField)));
    QVERIFY(responder.boxes.isEmpty());
}

void TestFileListWindow::badBoxesAreReported()
{
    RecordingResponder responder;
    TfmQiraClientMain &window = *startWindow(QStringLiteral("admin"));
    selectBranch(m_counted.value(50));
    TdmQiraClientDatas &data = *window.dmQiraClientDatas;
    m_server->proxy->clear();
    const auto fetchWith = [&](const QString &page, const QString &rows) {
        window.edCurrentPage->setText(page);
        window.edKolRows->setText(rows);
        data.GetFiles(false);
    };
    fetchWith(QString(), QStringLiteral("50"));
    fetchWith(QStringLiteral("0"), QStringLiteral("0"));
    fetchWith(QStringLiteral("0"), QString());
    const QStringList rows = errorRows(data);
    QCOMPARE(rows.size(), 3);
    for (const QString &row : rows)
        QVERIFY2(row.startsWith(QStringLiteral("Получение файлов\nEConvertError. Функция GetFiles. Ошибка вызова удаленной процедуры.\r")),
                 qPrintable(row));
    // nothing was asked and the grid keeps its rows
    QVERIFY(m_server->proxy->calls(QStringLiteral("GetFiles")).isEmpty());
    QCOMPARE(data.iqFiles->RecordCount(), 50);
    QVERIFY(!window.paError->isHidden());
}

void TestFileListWindow::secondaryListOfOneFile()
{
    RecordingResponder responder;
    TfmQiraClientMain &window = *startWindow(QStringLiteral("admin"));
    selectBranch(m_counted.value(101));
    window.edCurrentPage->setText(QStringLiteral("2"));
    window.btnRefresh->click();
    waitForDeferredFetch();
    TdmQiraClientDatas &data = *window.dmQiraClientDatas;
    const QString fileId = data.CurrentFileID();

    data.GetFileList(QStringLiteral(" ") + fileId + QStringLiteral(" "), QString(), -1, 5, false);
    TQiraFilter sent = lastFilter(QStringLiteral("GetFileList"));
    QCOMPARE(sent.FileID, fileId);
    QCOMPARE(sent.KolRows, qint64(1000));
    QCOMPARE(sent.CurrentPage, qint64(2)); // the main list's page
    QCOMPARE(data.dmDCFileLists->iqData->RecordCount(), 1);

    // one page of a branch
    data.GetFileList(QString(), m_counted.value(100), 1, 30, true);
    sent = lastFilter(QStringLiteral("GetFileList"));
    QCOMPARE(sent.TreeID, m_counted.value(100));
    QCOMPARE(sent.CurrentPage, qint64(1));
    QCOMPARE(sent.KolRows, qint64(30));
    QVERIFY(sent.IsRecursive);
    QCOMPARE(data.dmDCFileLists->iqData->RecordCount(), 30);
    // the main list's own state is left alone
    QCOMPARE(data.FilterQira.TreeID, m_counted.value(101));
    QVERIFY(errorRows(data).isEmpty());
}

QTEST_MAIN(TestFileListWindow)
#include "tst_filelist_window.moc"
