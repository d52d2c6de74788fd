#include "tst_treefixture.h"

#include "fmqiraclientmains.h"
#include "fmzxlogin.h"
#include "recordingresponder.h"
#include "zxactions.h"
#include "zxapplication.h"
#include "zxinifile.h"
#include "zxroot.h"

#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

// What a menu shows: one line per item, "-" for a separator, "(hidden)" after an
// invisible item, submenus indented below their caption.
QStringList menuLines(const QMenu *menu, const QString &indent = {})
{
    QStringList lines;
    for (const QAction *item : menu->actions()) {
        QString line = indent + (item->isSeparator() ? QStringLiteral("-") : item->text());
        if (!item->isVisible())
            line += QStringLiteral(" (hidden)");
        lines.append(line);
        if (item->menu())
            lines += menuLines(item->menu(), indent + QStringLiteral("  "));
    }
    return lines;
}

void cancelLabel(const TfrmZxTrees &frame)
{
    for (QLineEdit *editor : frame.TreeView->viewport()->findChildren<QLineEdit *>())
        if (editor->isVisible())
            QTest::keyClick(editor, Qt::Key_Escape);
    QVERIFY(!frame.TreeView->IsEditing());
}

QMenu *submenu(const QMenu *menu, const QString &caption)
{
    for (const QAction *item : menu->actions())
        if (item->menu() && item->text() == caption)
            return item->menu();
    return nullptr;
}

} // namespace

class TestTreeMain : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startUpBuildsTreeAndFollowsSelection();
    void treeSideControls();
    void menus_data();
    void menus();
    void purgeIsForAdministrators_data();
    void purgeIsForAdministrators();
    void commandsReachTheFrame();
    void modesAndCaptions();
    void refreshReopensSelectedBranch();
    void changeUserSelectsBranchAgain();

private:
    void startAs(const QString &login);
    TZxAction *action(const char *name) const { return m_window->alCommands->action(QString::fromLatin1(name)); }
    TfrmZxTrees &frame() const { return *m_window->frmZxTrees; }
    QString id(const QString &name) const { return m_tree->ids.value(name); }

    std::unique_ptr<Tzxroot> m_root;
    QTemporaryDir m_settingsDir;
    std::unique_ptr<TreeFixture> m_tree;
    std::unique_ptr<RecordingResponder> m_boxes;
    QPointer<TfmQiraClientMain> m_window;
};

void TestTreeMain::initTestCase() { SetTerminateHandler([] {}); }

void TestTreeMain::init()
{
    m_root = std::make_unique<Tzxroot>();
    SetSettingsFilePath(m_settingsDir.filePath(QStringLiteral("client.ini")));
    QFile::remove(m_settingsDir.filePath(QStringLiteral("client.ini")));
    m_root->Init();
    m_tree = std::make_unique<TreeFixture>();
    m_boxes = std::make_unique<RecordingResponder>();
}

void TestTreeMain::cleanup()
{
    delete m_window;
    QCoreApplication::processEvents();
    m_boxes.reset();
    m_tree.reset();
    m_root.reset();
}

void TestTreeMain::startAs(const QString &login)
{
    WriteSettingsEntry(QStringLiteral("ConnectionSettings"), QStringLiteral("TfmQiraClientMain"),
                       QStringLiteral("{\"CliSettings\":{\"Server\":\"127.0.0.1\",\"Port\":\"%1\",\"Protocol\":\"TCP\"}}")
                           .arg(m_tree->server.host->TcpPort()));
    WriteSettingsEntry(QStringLiteral("ConnectionSettings"), QStringLiteral("TfmZxLogins"),
                       QStringLiteral("{\"Auth\":{\"SaveAuth\":\"1\",\"Login\":\"%1\",\"Password\":\"%1\"}}").arg(login));
    m_window = new TfmQiraClientMain; // signs in during its creation
    m_window->resize(1000, 700);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    // The tree is built once, 300 milliseconds after the start.
    QTRY_COMPARE(frame().Model->rowCount(), 2);
    QCOMPARE(m_boxes->boxes.size(), 0);
}

void TestTreeMain::startUpBuildsTreeAndFollowsSelection()
{
    startAs(QStringLiteral("admin"));
    QCOMPARE(childLabels(frame()), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta")}));
    QCOMPARE(selectedLabel(frame()), QStringLiteral("Alpha"));
    QCOMPARE(frame().Connection, &m_window->dmQiraClientDatas->cnQiraCli);
    QCOMPARE(frame().AddInfoField, QStringLiteral("kolrights"));
    QVERIFY(frame().IsShowAddInfo);
    QCOMPARE(m_window->dmQiraClientDatas->FilterQira.TreeID, id(QStringLiteral("Alpha")));

    // Selecting a branch sets the list's branch and asks for its page count anew.
    m_window->KolPages = 5;
    frame().SelectTree(id(QStringLiteral("Beta")));
    QCOMPARE(m_window->KolPages, qint64(-1));
    QCOMPARE(m_window->dmQiraClientDatas->FilterQira.TreeID, id(QStringLiteral("Beta")));
    // An empty selection (as while the tree is rebuilt) changes nothing.
    m_window->KolPages = 5;
    frame().TreeView->selectionModel()->clearCurrentIndex();
    QCOMPARE(m_window->KolPages, qint64(5));
    QCOMPARE(m_window->dmQiraClientDatas->FilterQira.TreeID, id(QStringLiteral("Beta")));
}

void TestTreeMain::treeSideControls()
{
    startAs(QStringLiteral("admin"));
    QCOMPARE(m_window->frmZxTrees->parentWidget(), m_window->paTree);
    QCOMPARE(m_window->findChild<TfrmZxTrees *>(QStringLiteral("frmZxTrees")), m_window->frmZxTrees);
    QCOMPARE(m_window->edSearchField->parentWidget()->parentWidget(), m_window->paTree);
    QCOMPARE(m_window->btnOpenTree->text(), QStringLiteral("Open"));
    QCOMPARE(m_window->btnOpenTree->menu(), m_window->pmTreeButton);
    QCOMPARE(m_window->btnOpenTree->popupMode(), QToolButton::MenuButtonPopup);
    QCOMPARE(m_window->spClient->widget(0), m_window->paTree);
    QCOMPARE(frame().TreeView->contextMenuPolicy(), Qt::CustomContextMenu);
    QCOMPARE(frame().TreeView->indentation(), 27);
    // The context menu opens on the tree view.
    QTimer::singleShot(0, [this] {
        QTRY_VERIFY(m_window->pmTree->isVisible());
        m_window->pmTree->close();
    });
    emit frame().TreeView->customContextMenuRequested(QPoint(5, 5));
    QTRY_VERIFY(!m_window->pmTree->isVisible());
}

void TestTreeMain::menus_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("treeButton");
    QTest::addColumn<QStringList>("gridFileItems");
    const QStringList treeStart{
        "Взять в работу всю ветвь файлов (рекурсивно)",
        "Сохранить на сервер и освободить всю ветвь (рекурсивно)",
        "Отменить изменения всех файлов ветви (рекурсивно)",
        "-",
        "Показать файлы ветви рекурсивно",
        "-",
        "Операции с деревом",
        "  Информация о ветви",
        "  -",
        "  Вставить ветвь",
        "  Создать подветвь",
        "  Создать корневую ветвь",
        "  -",
        "  Редактировать ветвь",
        "  -",
        "  Удалить ветвь",
    };
    const QStringList treeEnd{
        "  -",
        "  Показать удаленные ветви",
        "  Восстановить удаленную ветвь",
        "Групповые операции",
        "  Взять в работу все файлы ветви",
        "  Сохранить на сервер и освободить файлы ветви",
        "  Отменить изменения файлов ветви",
        "  -",
        "  Получить все файлы в том числе во вложенных ветввях",
        "  Проверить наличие файлов в ветви рекурсивно",
        "  -",
        "  Получить все из каталога",
        "  Проверить на присутствие всех файлов на ПК для данной ветви",
        "Сервисные",
        "  Создать превью для всех (рекурсивно)",
        "-",
        "Загрузить каталог на сервер",
        "-",
        "Найти каталог",
        "Найти файл в каталоге",
        "Переместить каталог",
        "-",
        "Сохранить каталог",
        "Синхронизировать каталог",
        "Сверить все данные",
        "-",
    };
    const QStringList treeTailAdmin{"Права", "Обновить", "Режим редактирования"};
    const QStringList treeTailUser{"Права (hidden)", "Обновить", "Режим редактирования"};
    const QString purge = QStringLiteral("  Удалить ветвь физически (только для админа)");
    const QStringList gridAdmin{"-", "Физическое удаление файла (только админ)",
                                "Физическое удаление всех файлов (только админ)"};
    const QStringList gridUser{"- (hidden)", "Физическое удаление файла (только админ) (hidden)",
                               "Физическое удаление всех файлов (только админ) (hidden)"};
    QTest::newRow("administrator") << "admin" << (treeStart + QStringList{purge} + treeEnd + treeTailAdmin)
                                   << QStringList{"Вставить ветвь", "Создать подветвь", "-", "Права",
                                                  "Виды прав", "Пользователи", "-", "Обновить"}
                                   << gridAdmin;
    QTest::newRow("ordinary user") << "user" << (treeStart + QStringList{purge + " (hidden)"} + treeEnd + treeTailUser)
                                   << QStringList{"Вставить ветвь", "Создать подветвь", "-", "Права (hidden)",
                                                  "Виды прав", "Пользователи", "-", "Обновить"}
                                   << gridUser;
}

void TestTreeMain::menus()
{
    QFETCH(QString, login);
    QFETCH(QStringList, tree);
    QFETCH(QStringList, treeButton);
    QFETCH(QStringList, gridFileItems);
    startAs(login);
    m_window->alCommands->UpdateActions();
    QCOMPARE(menuLines(m_window->pmTree), tree);
    // The tree's commands work; commands that never have a handler stay greyed out.
    for (const char *name : {"alInsTree", "alCreateChildTree", "alCreateMaineNode", "alTree_Edit", "alTreeDel",
                             "alUndeleteTree", "alShowDelNodes", "alRefresh", "alEditTree"})
        QVERIFY2(action(name)->isEnabled(), name);
    // A hidden command cannot run either.
    QCOMPARE(action("alTreeDelFull")->isEnabled(), login == QStringLiteral("admin"));
    for (const char *name : {"alSearch", "alSearchFile", "alMoveNode", "alSaveNode", "alSyncNode", "alCheckData"})
        QVERIFY2(!action(name)->isEnabled(), name);
    QCOMPARE(m_window->pmTree->defaultAction(), action("acWorkAll"));
    QCOMPARE(menuLines(m_window->pmTreeButton), treeButton);
    // The purge items of the file menu and the separator before them.
    const QStringList fileItems = menuLines(submenu(m_window->pmGrid, QStringLiteral("Операции с файлами")));
    const qsizetype at = fileItems.indexOf(QStringLiteral("Удалить файл"));
    QVERIFY(at > 0);
    QCOMPARE(fileItems.mid(at + 2, 3), gridFileItems);
}

void TestTreeMain::purgeIsForAdministrators_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<bool>("demoted"); // the session stops being an administrator's before the command
    QTest::addColumn<QString>("box");  // empty: none
    QTest::addColumn<bool>("purged");
    QTest::newRow("administrator") << "admin" << false
                                   << "Вы уверены, что хотите удалить ветвь ПОЛНОСТЬЮ с названием: Beta ?" << true;
    QTest::newRow("ordinary user") << "user" << false << "" << false;
    QTest::newRow("no longer an administrator") << "admin" << true << "Эта операция разрешена только администратору!"
                                                << false;
}

void TestTreeMain::purgeIsForAdministrators()
{
    QFETCH(QString, login);
    QFETCH(bool, demoted);
    QFETCH(QString, box);
    QFETCH(bool, purged);
    startAs(login);
    action("alEditTree")->trigger();
    frame().SelectTree(id(QStringLiteral("Beta")));
    if (demoted)
        m_root->Sess.RoleID = QStringLiteral("2");
    action("alTreeDelFull")->trigger();
    QCOMPARE(m_boxes->boxes.size(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty())
        QCOMPARE(m_boxes->boxes[0].text, box);
    QCOMPARE(m_tree->serverBranch(id(QStringLiteral("Beta"))).has_value(), !purged);
    QCOMPARE(nodeNamed(frame(), QStringLiteral("Beta")).isValid(), !purged);
}

void TestTreeMain::commandsReachTheFrame()
{
    startAs(QStringLiteral("admin"));
    // Read-only at first: every editing command says so.
    for (const char *name : {"alInsTree", "alCreateChildTree", "alCreateMaineNode", "alTree_Edit", "alTreeDel",
                             "alUndeleteTree", "alTreeDelFull"}) {
        m_boxes->boxes.clear();
        action(name)->trigger();
        QVERIFY2(!m_boxes->boxes.isEmpty(), name);
        QCOMPARE(m_boxes->boxes[0].text, TfrmZxTrees::ReadOnlyMessage);
    }
    m_boxes->boxes.clear();
    action("alEditTree")->trigger();
    QVERIFY(!frame().TreeReadOnly());

    action("alCreateMaineNode")->trigger();
    QCOMPARE(m_tree->serverChildren(QString()),
             (QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta"), TfrmZxTrees::NewNodeName}));
    QVERIFY(frame().TreeView->IsEditing());
    cancelLabel(frame());

    frame().SelectTree(id(QStringLiteral("Alpha")));
    action("alCreateChildTree")->trigger();
    QCOMPARE(m_tree->serverChildren(QStringLiteral("Alpha")),
             (QStringList{QStringLiteral("A1"), QStringLiteral("A2"), TfrmZxTrees::NewNodeName}));
    // The new branch is selected: so is the list's branch.
    QCOMPARE(m_window->dmQiraClientDatas->FilterQira.TreeID, frame().SelectedRec()->Id);

    frame().SelectTree(id(QStringLiteral("A2")));
    action("alInsTree")->trigger();
    QCOMPARE(m_tree->serverChildren(QStringLiteral("Alpha")).count(TfrmZxTrees::NewNodeName), 2);

    frame().SelectTree(id(QStringLiteral("A2")));
    action("alTree_Edit")->trigger();
    QVERIFY(frame().TreeView->IsEditing());

    m_boxes->answers = {IdOk};
    action("alTreeDel")->trigger();
    QCOMPARE(m_boxes->boxes.last().text, QStringLiteral("Вы уверены, что хотите УДАЛИТЬ ветвь с названием: A2 ?"));
    QCOMPARE(m_tree->serverBranch(id(QStringLiteral("A2")))->del, 1);
    QVERIFY(!nodeNamed(frame(), QStringLiteral("A2")).isValid());

    // Restoring shows the deleted branches, restores and rebuilds the tree.
    action("alShowDelNodes")->trigger();
    QVERIFY(frame().IsShowDel);
    QVERIFY(nodeNamed(frame(), QStringLiteral("Gamma")).isValid());
    frame().SelectTree(id(QStringLiteral("Gamma")));
    action("alUndeleteTree")->trigger();
    QCOMPARE(m_boxes->boxes.last().text, QStringLiteral("Вы уверены, что хотите ВОССТАНОВИТЬ ветвь с названием: Gamma ?"));
    QCOMPARE(m_tree->serverBranch(id(QStringLiteral("Gamma")))->del, 0);
    const QModelIndex gamma = nodeNamed(frame(), QStringLiteral("Gamma"));
    QVERIFY(gamma.isValid());
    QCOMPARE(gamma.data(TZxTreeModel::ImageIndexRole).toInt(), 7); // rights, no longer deleted
}

void TestTreeMain::modesAndCaptions()
{
    startAs(QStringLiteral("admin"));
    TZxActionList &actions = *m_window->alCommands;
    actions.UpdateActions();
    QCOMPARE(action("alEditTree")->text(), QStringLiteral("Режим редактирования"));
    QCOMPARE(action("alShowDelNodes")->text(), QStringLiteral("Показать удаленные ветви"));
    QCOMPARE(action("alHideTree")->text(), QStringLiteral("Скрыть дерево"));

    action("alEditTree")->trigger();
    QVERIFY(!frame().TreeReadOnly());
    QVERIFY(frame().TreeView->dragEnabled());
    actions.UpdateActions();
    QCOMPARE(action("alEditTree")->text(), QStringLiteral("Режим только для чтения"));
    action("alEditTree")->trigger();
    QVERIFY(frame().TreeReadOnly());
    QVERIFY(!frame().TreeView->dragEnabled());

    action("alShowDelNodes")->trigger();
    actions.UpdateActions();
    QCOMPARE(action("alShowDelNodes")->text(), QStringLiteral("Скрыть удаленные ветви"));
    QCOMPARE(childLabels(frame()), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Gamma")}));
    action("alShowDelNodes")->trigger();
    QCOMPARE(childLabels(frame()), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta")}));

    m_window->KolPages = 3;
    action("alHideTree")->trigger();
    QVERIFY(m_window->paTree->isHidden());
    QCOMPARE(m_window->KolPages, qint64(-1));
    actions.UpdateActions();
    QCOMPARE(action("alHideTree")->text(), QStringLiteral("Показать дерево"));
    action("alHideTree")->trigger();
    QVERIFY(!m_window->paTree->isHidden());
    QVERIFY(m_window->spClient->sizes().value(0) >= 232);
    actions.UpdateActions();
    QCOMPARE(action("alHideTree")->text(), QStringLiteral("Скрыть дерево"));
}

void TestTreeMain::refreshReopensSelectedBranch()
{
    startAs(QStringLiteral("admin"));
    frame().FindTree(id(QStringLiteral("A1a")));
    QCOMPARE(selectedLabel(frame()), QStringLiteral("A1a"));
    m_tree->add(QStringLiteral("A0"), QStringLiteral("Alpha")); // someone else adds a branch meanwhile
    action("alRefresh")->trigger();
    QCOMPARE(viewSnapshot(frame()),
             (QStringList{"Alpha+", "  A0", "  A1+", "    A1a+*", "      A1a-x", "  A2", "Beta"}));
    QCOMPARE(m_window->dmQiraClientDatas->FilterQira.TreeID, id(QStringLiteral("A1a")));

    // A branch gone meanwhile: the rebuilt tree stays at its top.
    m_tree->server.store->purgeBranch(m_tree->admin, id(QStringLiteral("A1a")));
    action("alRefresh")->trigger();
    QCOMPARE(viewSnapshot(frame()), (QStringList{"Alpha*", "Beta"}));
    QVERIFY(m_boxes->boxes.isEmpty());
}

void TestTreeMain::changeUserSelectsBranchAgain()
{
    startAs(QStringLiteral("admin"));
    frame().FindTree(id(QStringLiteral("A1")));
    QTimer::singleShot(0, [] {
        QTRY_VERIFY(qobject_cast<TfmZxLogins *>(QApplication::activeModalWidget()));
        qobject_cast<TfmZxLogins *>(QApplication::activeModalWidget())->btnOk->click();
    });
    action("alChangeUser")->trigger();
    QCOMPARE(selectedLabel(frame()), QStringLiteral("A1"));
    QCOMPARE(viewSnapshot(frame()), (QStringList{"Alpha+", "  A1+*", "    A1a", "  A2", "Beta"}));
}

int main(int argc, char **argv)
{
    TZxApplication app(argc, argv);
    TestTreeMain test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tree_main.moc"
