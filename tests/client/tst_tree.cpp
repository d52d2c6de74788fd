#include "tst_treefixture.h"

#include "dmzxtrees.h"
#include "recordingresponder.h"
#include "zxapplication.h"
#include "zxdataset.h"
#include "zxerror.h"
#include "zxtreeimages.h"

#include <QLineEdit>
#include <QMimeData>
#include <QTest>

#include <functional>

namespace {

// Runs the step; true when it raised one of the system's errors.
bool raises(const std::function<void()> &step)
{
    try {
        step();
    } catch (const EZxError &) {
        return true;
    }
    return false;
}

QLineEdit *labelEditor(const TfrmZxTrees &frame)
{
    for (QLineEdit *editor : frame.TreeView->viewport()->findChildren<QLineEdit *>())
        if (editor->isVisible())
            return editor;
    return nullptr;
}

// Confirms or cancels the open label editor and lets the editor go.
void finishEditing(const TfrmZxTrees &frame, const QString *text)
{
    QLineEdit *editor = labelEditor(frame);
    QVERIFY(editor);
    if (text) {
        editor->setText(*text);
        QTest::keyClick(editor, Qt::Key_Return);
    } else {
        QTest::keyClick(editor, Qt::Key_Escape);
    }
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void confirmLabel(const TfrmZxTrees &frame, const QString &text) { finishEditing(frame, &text); }
void cancelLabel(const TfrmZxTrees &frame) { finishEditing(frame, nullptr); }

QPoint centreOf(const TfrmZxTrees &frame, const QModelIndex &node) { return frame.TreeView->visualRect(node).center(); }

// A press on the node, as the start of a drag, and its release; the node is not the
// selected one, so the release starts no label editing.
void pressOn(const TfrmZxTrees &frame, const QModelIndex &node)
{
    QTest::mousePress(frame.TreeView->viewport(), Qt::LeftButton, {}, centreOf(frame, node));
    QTest::mouseRelease(frame.TreeView->viewport(), Qt::LeftButton, {}, centreOf(frame, node));
}

// A drag entering the view and moving to the point, as the platform delivers it: the
// movement reaches only a widget that accepted the entry. True when the view would
// take the drop there. Every drag ends with dropAt or dragLeave.
bool dragOver(const TfrmZxTrees &frame, const QMimeData *data, const QPoint &at)
{
    QDragEnterEvent enter(at, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    enter.ignore();
    QApplication::sendEvent(frame.TreeView->viewport(), &enter);
    QDragMoveEvent move(at, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    move.ignore();
    QApplication::sendEvent(frame.TreeView->viewport(), &move);
    return move.isAccepted();
}

void dragLeave(const TfrmZxTrees &frame)
{
    QDragLeaveEvent leave;
    QApplication::sendEvent(frame.TreeView->viewport(), &leave);
}

void dropAt(const TfrmZxTrees &frame, const QMimeData *data, const QPoint &at)
{
    QDropEvent drop(QPointF(at), Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame.TreeView->viewport(), &drop);
    dragLeave(frame); // the drop ends the drag also where nobody took the entry
}

QPoint emptySpace(const TfrmZxTrees &frame)
{
    const QRect area = frame.TreeView->viewport()->rect();
    return {area.left() + 10, area.bottom() - 10};
}

} // namespace

class TestTree : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void topLevelAndLazyLoading();
    void imagesFromServer();
    void imagesOfRows_data();
    void imagesOfRows();
    void findTree_data();
    void findTree();
    void selectTreeOnlyFindsLoaded();
    void searchAndAddLeaveViewAlone();
    void createRootSiblingAndChild();
    void renameAndRefusedRename();
    void deleteAndRestore_data();
    void deleteAndRestore();
    void purge_data();
    void purge();
    void dragAndDrop_data();
    void dragAndDrop();
    void readOnlyMode_data();
    void readOnlyMode();
    void noSelection_data();
    void noSelection();
    void keysInEditMode_data();
    void keysInEditMode();
    void failedCallsLeaveViewUnchanged_data();
    void failedCallsLeaveViewUnchanged();

private:
    QString id(const QString &name) const { return m_tree->ids.value(name); }
    QModelIndex node(const QString &label) const { return nodeNamed(*m_frame, label); }
    void runCommand(const QString &command);

    std::unique_ptr<TreeFixture> m_tree;
    std::unique_ptr<TZxConnection> m_admin;
    std::unique_ptr<TfrmZxTrees> m_frame;
    std::unique_ptr<RecordingResponder> m_boxes;
};

void TestTree::init()
{
    m_tree = std::make_unique<TreeFixture>();
    m_admin = m_tree->connect(QStringLiteral("admin"));
    m_frame = makeTreeFrame(m_admin.get());
    QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
    m_boxes = std::make_unique<RecordingResponder>();
    m_frame->InitTree();
}

void TestTree::cleanup()
{
    QCoreApplication::processEvents();
    m_frame.reset();
    m_boxes.reset();
    m_admin.reset();
    m_tree.reset();
}

void TestTree::topLevelAndLazyLoading()
{
    QCOMPARE(childLabels(*m_frame), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta")}));
    QCOMPARE(selectedLabel(*m_frame), QStringLiteral("Alpha"));
    QCOMPARE(m_frame->SelectedRec()->Id, id(QStringLiteral("Alpha")));
    // Children are not read before the branch is opened; the count gives the button.
    const QModelIndex alpha = node(QStringLiteral("Alpha"));
    QCOMPARE(m_frame->Model->rowCount(alpha), 0);
    QVERIFY(m_frame->Model->hasChildren(alpha));
    QVERIFY(!m_frame->Model->hasChildren(node(QStringLiteral("Beta"))));

    m_frame->TreeView->expand(alpha);
    QCOMPARE(childLabels(*m_frame, alpha), (QStringList{QStringLiteral("A1"), QStringLiteral("A2")}));
    const ItemRec *a1 = m_frame->Rec(node(QStringLiteral("A1")));
    QCOMPARE(a1->Parent, id(QStringLiteral("Alpha")));
    QCOMPARE(a1->CCount, qint64(1));
    QVERIFY(!a1->Del);

    // The second opening asks again and shows only the second answer.
    m_tree->server.store->renameBranch(m_tree->admin, id(QStringLiteral("A1")), QStringLiteral("A1 renamed"));
    m_tree->add(QStringLiteral("A3"), QStringLiteral("Alpha"));
    m_frame->TreeView->collapse(alpha);
    m_frame->TreeView->expand(alpha);
    QCOMPARE(childLabels(*m_frame, alpha),
             (QStringList{QStringLiteral("A1 renamed"), QStringLiteral("A2"), QStringLiteral("A3")}));

    // A positive count whose children are gone meanwhile: the opening shows nothing
    // and the button goes.
    const QModelIndex a1Node = node(QStringLiteral("A1 renamed"));
    QVERIFY(m_frame->Model->hasChildren(a1Node));
    m_tree->server.store->markBranchDeleted(m_tree->admin, id(QStringLiteral("A1a")), 1);
    m_frame->TreeView->expand(a1Node);
    QCOMPARE(m_frame->Model->rowCount(a1Node), 0);
    QVERIFY(!m_frame->Model->hasChildren(a1Node));
    QVERIFY(m_boxes->boxes.isEmpty());
}

void TestTree::imagesFromServer()
{
    m_frame->IsShowDel = true;
    m_frame->InitTree();
    QCOMPARE(childLabels(*m_frame),
             (QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Gamma")}));
    const auto images = [this](const QString &label) {
        const QModelIndex index = node(label);
        return QList<int>{index.data(TZxTreeModel::ImageIndexRole).toInt(),
                          index.data(TZxTreeModel::SelectedIndexRole).toInt(),
                          index.data(TZxTreeModel::ExpandedIndexRole).toInt()};
    };
    QCOMPARE(images(QStringLiteral("Alpha")), (QList<int>{1, 2, 3}));
    QCOMPARE(images(QStringLiteral("Beta")), (QList<int>{7, 8, 9}));   // a rights entry
    QCOMPARE(images(QStringLiteral("Gamma")), (QList<int>{4, 5, 6})); // deleted wins over rights
    QVERIFY(m_frame->Rec(node(QStringLiteral("Gamma")))->Del);
    QVERIFY(!m_frame->Rec(node(QStringLiteral("Beta")))->Del);
}

void TestTree::imagesOfRows_data()
{
    QTest::addColumn<QString>("kolrights");
    QTest::addColumn<QVariant>("del");
    QTest::addColumn<int>("normal");
    QTest::addColumn<bool>("isDel");
    QTest::newRow("no rights") << "0" << QVariant(0) << 1 << false;
    QTest::newRow("zero with spaces") << " 0 " << QVariant(0) << 1 << false;
    QTest::newRow("empty rights") << "" << QVariant(0) << 1 << false;
    QTest::newRow("rights") << "3" << QVariant(0) << 7 << false;
    QTest::newRow("rights with spaces") << " 3 " << QVariant(0) << 7 << false;
    QTest::newRow("any other text") << "n/a" << QVariant(0) << 7 << false;
    QTest::newRow("deleted without rights") << "0" << QVariant(1) << 4 << true;
    QTest::newRow("deleted with rights") << "12" << QVariant(1) << 4 << true;
    QTest::newRow("delete mark 2") << "0" << QVariant(2) << 1 << false;
    QTest::newRow("delete mark null") << "0" << QVariant() << 1 << false;
}

void TestTree::imagesOfRows()
{
    QFETCH(QString, kolrights);
    QFETCH(QVariant, del);
    QFETCH(int, normal);
    QFETCH(bool, isDel);
    // A table as another server might send it: the rights count as text, the mark in a
    // column named differently.
    TZxTable table;
    table.Name = QStringLiteral("iqTree");
    table.Fields = {TZxFieldDef::Text(QStringLiteral("treeid"), 100),
                    TZxFieldDef::Text(QStringLiteral("parent_treeid"), 100),
                    TZxFieldDef::Text(QStringLiteral("treename"), 100), TZxFieldDef::Int32(QStringLiteral("ccount")),
                    TZxFieldDef::Text(QStringLiteral("kolrights"), 20), TZxFieldDef::Int32(QStringLiteral("mark"))};
    table.Rows = {{QStringLiteral("t1"), QStringLiteral("p1"), QStringLiteral("Один"), 0, kolrights, del},
                  {QStringLiteral("t2"), QVariant(), QStringLiteral("Два"), 5, QStringLiteral("0"), 0}};
    m_frame->dmZxTrees->mtTree->LoadFromTable(table);
    m_frame->SetDelField(QStringLiteral("mark"));
    m_frame->Model->Clear();
    m_frame->Expand(QModelIndex());

    const QModelIndex first = m_frame->Model->index(0, 0);
    QCOMPARE(first.data().toString(), QStringLiteral("Один"));
    QCOMPARE(first.data(TZxTreeModel::ImageIndexRole).toInt(), normal);
    QCOMPARE(first.data(TZxTreeModel::SelectedIndexRole).toInt(), normal + 1);
    QCOMPARE(first.data(TZxTreeModel::ExpandedIndexRole).toInt(), normal + 2);
    const ItemRec *rec = m_frame->Rec(first);
    QCOMPARE(rec->Id, QStringLiteral("t1"));
    QCOMPARE(rec->Parent, QStringLiteral("p1"));
    QCOMPARE(rec->Del, isDel);
    QVERIFY(!m_frame->Model->hasChildren(first));
    const QModelIndex second = m_frame->Model->index(1, 0);
    QCOMPARE(m_frame->Rec(second)->Parent, QString());
    QCOMPARE(m_frame->Rec(second)->CCount, qint64(5));
    QVERIFY(m_frame->Model->hasChildren(second));
    // The top level was built with nothing selected: its first node is selected.
    QCOMPARE(m_frame->SelectedNode(), first);

    // A blank delete-field name reads as "Del".
    m_frame->SetDelField(QStringLiteral("  "));
    QCOMPARE(m_frame->DelField(), QStringLiteral("Del"));
}

void TestTree::findTree_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("deletedFirst"); // marked deleted on the server before
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QStringList>("view");
    QTest::newRow("deep branch") << "A1a-x" << ""
                                 << "A1a-x"
                                 << QStringList{"Alpha+", "  A1+", "    A1a+", "      A1a-x+*", "        Leaf", "  A2",
                                                "Beta"};
    QTest::newRow("path breaks off") << "A1a" << "A1" << "Alpha"
                                     << QStringList{"Alpha+*", "  A2", "Beta"};
    QTest::newRow("unknown branch") << "" << "" << "Alpha" << QStringList{"Alpha*", "Beta"};
    QTest::newRow("top-level ancestor not in view") << "G1" << "" << "Alpha" << QStringList{"Alpha*", "Beta"};
}

void TestTree::findTree()
{
    QFETCH(QString, target);
    QFETCH(QString, deletedFirst);
    QFETCH(QString, selected);
    QFETCH(QStringList, view);
    if (!deletedFirst.isEmpty())
        m_tree->server.store->markBranchDeleted(m_tree->admin, id(deletedFirst), 1);
    int selections = 0;
    connect(m_frame->TreeView->selectionModel(), &QItemSelectionModel::currentChanged, this, [&selections] { ++selections; });

    m_frame->FindTree(target.isEmpty() ? NewID() : id(target));
    QCOMPARE(viewSnapshot(*m_frame), view);
    QCOMPARE(selectedLabel(*m_frame), selected);
    QVERIFY(m_frame->TreeView->updatesEnabled());
    if (target == QStringLiteral("A1a-x")) {
        QCOMPARE(m_frame->Arr, (QStringList{id(QStringLiteral("A1a-x")), id(QStringLiteral("A1a")), id(QStringLiteral("A1")),
                                            id(QStringLiteral("Alpha"))}));
        // Every step is an ordinary selection change (Alpha was selected already).
        QCOMPARE(selections, 3);
    }
    if (target.isEmpty())
        QVERIFY(m_frame->Arr.isEmpty());
}

void TestTree::selectTreeOnlyFindsLoaded()
{
    m_frame->SelectTree(id(QStringLiteral("A1")));
    QCOMPARE(selectedLabel(*m_frame), QStringLiteral("Alpha"));
    m_frame->TreeView->expand(node(QStringLiteral("Alpha")));
    m_frame->SelectTree(QStringLiteral("  ") + id(QStringLiteral("A1")) + QStringLiteral(" "));
    QCOMPARE(selectedLabel(*m_frame), QStringLiteral("A1"));
    QVERIFY(!m_frame->TreeView->isExpanded(node(QStringLiteral("A1"))));
    QCOMPARE(m_frame->Model->rowCount(node(QStringLiteral("A1"))), 0);
}

void TestTree::searchAndAddLeaveViewAlone()
{
    const QStringList before = viewSnapshot(*m_frame);
    const QString newId = NewID();
    m_frame->AddTreeNode(QStringLiteral("Extra"), id(QStringLiteral("Alpha")), newId);
    QCOMPARE(viewSnapshot(*m_frame), before);
    QCOMPARE(m_tree->serverBranch(newId)->parent, id(QStringLiteral("Alpha")));
    QCOMPARE(m_frame->SearchNode(QStringLiteral(" ") + id(QStringLiteral("Alpha")) + QStringLiteral("\t"),
                                 QStringLiteral("  Extra ")),
             newId);
    QCOMPARE(m_frame->SearchNode(QString(), QStringLiteral("Beta")), id(QStringLiteral("Beta")));
    QCOMPARE(m_frame->SearchNode(id(QStringLiteral("Alpha")), QStringLiteral("Nothing")), QString());
}

void TestTree::createRootSiblingAndChild()
{
    m_frame->SetTreeReadOnly(false);
    const QString newName = TfrmZxTrees::NewNodeName;

    // A root with a deep branch selected goes to the end of the top level.
    m_frame->FindTree(id(QStringLiteral("A1a")));
    m_frame->CreateRoot();
    QModelIndex created = m_frame->SelectedNode();
    QVERIFY(!created.parent().isValid());
    QCOMPARE(created.row(), m_frame->Model->rowCount() - 1);
    QCOMPARE(created.data().toString(), newName);
    QCOMPARE(created.data(TZxTreeModel::ImageIndexRole).toInt(), 0);
    QCOMPARE(created.data(TZxTreeModel::SelectedIndexRole).toInt(), 2);
    QCOMPARE(created.data(TZxTreeModel::ExpandedIndexRole).toInt(), 3);
    QVERIFY(m_frame->TreeView->IsEditing());
    QString rootId = m_frame->SelectedRec()->Id;
    QCOMPARE(rootId.size(), 32);
    QCOMPARE(m_tree->serverBranch(rootId)->parent, QString());
    cancelLabel(*m_frame);
    // A cancelled label leaves the default name, in the view and on the server.
    QCOMPARE(m_frame->SelectedNode().data().toString(), newName);
    QCOMPARE(m_tree->serverBranch(rootId)->name, newName);

    // A child of a collapsed branch comes after the children read first.
    m_frame->InitTree();
    QCOMPARE(selectedLabel(*m_frame), QStringLiteral("Alpha"));
    QVERIFY(!m_frame->TreeView->isExpanded(node(QStringLiteral("Alpha"))));
    m_frame->NewChild();
    const QModelIndex alpha = node(QStringLiteral("Alpha"));
    QVERIFY(m_frame->TreeView->isExpanded(alpha));
    QCOMPARE(childLabels(*m_frame, alpha), (QStringList{QStringLiteral("A1"), QStringLiteral("A2"), newName}));
    QCOMPARE(m_frame->SelectedNode().parent(), alpha);
    const QString childId = m_frame->SelectedRec()->Id;
    QCOMPARE(m_frame->SelectedRec()->Parent, id(QStringLiteral("Alpha")));
    QCOMPARE(m_tree->serverBranch(childId)->parent, id(QStringLiteral("Alpha")));
    confirmLabel(*m_frame, QStringLiteral("Child"));
    QCOMPARE(m_tree->serverBranch(childId)->name, QStringLiteral("Child"));

    // A sibling of a branch made in this run gets the parent it was made under.
    m_frame->NewTree();
    const QString siblingId = m_frame->SelectedRec()->Id;
    QCOMPARE(m_tree->serverBranch(siblingId)->parent, id(QStringLiteral("Alpha")));
    QCOMPARE(m_frame->SelectedRec()->Parent, id(QStringLiteral("Alpha")));
    QCOMPARE(childLabels(*m_frame, alpha),
             (QStringList{QStringLiteral("A1"), QStringLiteral("A2"), QStringLiteral("Child"), newName}));
    cancelLabel(*m_frame);

    // A sibling of a loaded branch gets the server's parent, and of a top-level one the
    // top level.
    m_frame->SelectTree(id(QStringLiteral("A1")));
    m_frame->NewTree();
    QCOMPARE(m_tree->serverBranch(m_frame->SelectedRec()->Id)->parent, id(QStringLiteral("Alpha")));
    cancelLabel(*m_frame);
    m_frame->SelectTree(id(QStringLiteral("Beta")));
    m_frame->NewTree();
    QVERIFY(!m_frame->SelectedNode().parent().isValid());
    QCOMPARE(m_tree->serverBranch(m_frame->SelectedRec()->Id)->parent, QString());
    cancelLabel(*m_frame);
    QVERIFY(m_boxes->boxes.isEmpty());
}

void TestTree::renameAndRefusedRename()
{
    m_frame->SetTreeReadOnly(false);
    m_frame->SelectTree(id(QStringLiteral("Beta")));
    m_frame->Edit();
    QVERIFY(m_frame->TreeView->IsEditing());
    confirmLabel(*m_frame, QStringLiteral("Beta renamed"));
    QCOMPARE(node(QStringLiteral("Beta renamed")), m_frame->SelectedNode());
    QCOMPARE(m_tree->serverBranch(id(QStringLiteral("Beta")))->name, QStringLiteral("Beta renamed"));

    // The server refuses a blank name: the label stays and the failure reaches the
    // handler of uncaught failures.
    m_frame->Edit();
    confirmLabel(*m_frame, QStringLiteral("   "));
    QCoreApplication::processEvents();
    QCOMPARE(m_frame->SelectedNode().data().toString(), QStringLiteral("Beta renamed"));
    QCOMPARE(m_tree->serverBranch(id(QStringLiteral("Beta")))->name, QStringLiteral("Beta renamed"));
    QCOMPARE(m_boxes->boxes.size(), 1);
    QCOMPARE(m_boxes->boxes[0].kind, QStringLiteral("uncaught"));
    QVERIFY2(m_boxes->boxes[0].text.contains(QStringLiteral("пустое название")), qPrintable(m_boxes->boxes[0].text));
}

void TestTree::deleteAndRestore_data()
{
    QTest::addColumn<bool>("isDel");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("question");
    QTest::addColumn<int>("delOnServer");
    QTest::addColumn<bool>("removed");
    const QString deleteQuestion = QStringLiteral("Вы уверены, что хотите УДАЛИТЬ ветвь с названием: Beta ?");
    const QString restoreQuestion = QStringLiteral("Вы уверены, что хотите ВОССТАНОВИТЬ ветвь с названием: Gamma ?");
    QTest::newRow("delete") << true << IdOk << deleteQuestion << 1 << true;
    QTest::newRow("delete refused") << true << IdCancel << deleteQuestion << 0 << false;
    QTest::newRow("restore") << false << IdOk << restoreQuestion << 0 << true;
    QTest::newRow("restore refused") << false << IdCancel << restoreQuestion << 1 << false;
}

void TestTree::deleteAndRestore()
{
    QFETCH(bool, isDel);
    QFETCH(int, answer);
    QFETCH(QString, question);
    QFETCH(int, delOnServer);
    QFETCH(bool, removed);
    m_frame->SetTreeReadOnly(false);
    const QString branch = isDel ? QStringLiteral("Beta") : QStringLiteral("Gamma");
    if (!isDel) {
        m_frame->IsShowDel = true;
        m_frame->InitTree();
    }
    m_frame->SelectTree(id(branch));
    m_boxes->answers = {answer};
    if (isDel)
        m_frame->Delete(true);
    else
        m_frame->UndeleteNode();
    QCOMPARE(m_boxes->boxes.size(), 1);
    QCOMPARE(m_boxes->boxes[0].kind, QStringLiteral("okcancel"));
    QCOMPARE(m_boxes->boxes[0].caption, QStringLiteral("Удаление"));
    QCOMPARE(m_boxes->boxes[0].text, question);
    QCOMPARE(m_tree->serverBranch(id(branch))->del, delOnServer);
    QCOMPARE(node(branch).isValid(), !removed);
}

void TestTree::purge_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<bool>("purged");
    QTest::newRow("administrator") << "admin" << true;
    QTest::newRow("ordinary user") << "user" << false;
}

void TestTree::purge()
{
    QFETCH(QString, login);
    QFETCH(bool, purged);
    std::unique_ptr<TZxConnection> connection = m_tree->connect(login);
    m_frame->Connection = connection.get();
    m_frame->InitTree();
    m_frame->SetTreeReadOnly(false);
    m_frame->FindTree(id(QStringLiteral("A1")));
    const QStringList before = viewSnapshot(*m_frame);
    const bool failed = raises([this] { m_frame->DeleteFull(); });
    QCOMPARE(m_boxes->boxes.size(), 1);
    QCOMPARE(m_boxes->boxes[0].caption, QStringLiteral("Удаление"));
    QCOMPARE(m_boxes->boxes[0].text, QStringLiteral("Вы уверены, что хотите удалить ветвь ПОЛНОСТЬЮ с названием: A1 ?"));
    QCOMPARE(failed, !purged);
    QCOMPARE(m_tree->serverBranch(id(QStringLiteral("A1"))).has_value(), !purged);
    QCOMPARE(m_tree->serverBranch(id(QStringLiteral("A1a-x"))).has_value(), !purged);
    if (purged) {
        QVERIFY(!node(QStringLiteral("A1")).isValid());
        QCOMPARE(childLabels(*m_frame, node(QStringLiteral("Alpha"))), QStringList{QStringLiteral("A2")});
    } else {
        QCOMPARE(viewSnapshot(*m_frame), before);
    }
    m_frame->Connection = m_admin.get();
}

void TestTree::dragAndDrop_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("target"); // empty: empty space
    QTest::addColumn<QString>("origin"); // "own", "other tree", "other control"
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("moved");
    QTest::newRow("onto another branch") << "A2" << "Beta" << "own" << false << true;
    QTest::newRow("onto a branch of another level") << "A1a" << "A2" << "own" << false << true;
    QTest::newRow("onto itself") << "A2" << "A2" << "own" << false << false;
    QTest::newRow("onto empty space") << "A2" << "" << "own" << false << false;
    QTest::newRow("onto its own sub-branch") << "A1" << "A1a" << "own" << false << false;
    QTest::newRow("from another tree") << "A2" << "Beta" << "other tree" << false << false;
    QTest::newRow("from another control") << "A2" << "Beta" << "other control" << false << false;
    QTest::newRow("in read-only mode") << "A2" << "Beta" << "own" << true << false;
}

void TestTree::dragAndDrop()
{
    QFETCH(QString, source);
    QFETCH(QString, target);
    QFETCH(QString, origin);
    QFETCH(bool, readOnly);
    QFETCH(bool, moved);
    m_frame->SetTreeReadOnly(readOnly);
    m_frame->TreeView->expand(node(QStringLiteral("Alpha")));
    m_frame->TreeView->expand(node(QStringLiteral("A1")));
    const QString oldParent = m_tree->serverBranch(id(source))->parent;

    TZxTreeView otherTree;
    std::unique_ptr<QMimeData> data;
    if (origin == QStringLiteral("own")) {
        data.reset(m_frame->TreeView->DragMimeData());
    } else if (origin == QStringLiteral("other tree")) {
        data.reset(otherTree.DragMimeData());
    } else {
        data = std::make_unique<QMimeData>();
        data->setText(source);
    }
    pressOn(*m_frame, node(source));
    QCOMPARE(m_frame->DragSource(), node(source));
    const QStringList before = viewSnapshot(*m_frame);
    const QPoint at = target.isEmpty() ? emptySpace(*m_frame) : centreOf(*m_frame, node(target));
    QCOMPARE(dragOver(*m_frame, data.get(), at), moved);
    dropAt(*m_frame, data.get(), at);
    QCOMPARE(m_boxes->boxes.size(), 0);

    const QString parentNow = m_tree->serverBranch(id(source))->parent;
    if (moved) {
        QCOMPARE(parentNow, id(target));
        const QModelIndex targetNode = node(target);
        QVERIFY(m_frame->TreeView->isExpanded(targetNode));
        QVERIFY(childLabels(*m_frame, targetNode).contains(source));
        QCOMPARE(node(source).parent(), targetNode);
        QCOMPARE(m_frame->Rec(node(source))->Parent, id(target));
        QCOMPARE(m_tree->serverChildren(target), childLabels(*m_frame, targetNode));
        QCOMPARE(nodeNamed(*m_frame, source), node(source)); // shown once, under the target
    } else {
        QCOMPARE(parentNow, oldParent);
        QCOMPARE(viewSnapshot(*m_frame), before);
    }
}

void TestTree::runCommand(const QString &command)
{
    const QHash<QString, std::function<void()>> commands{
        {QStringLiteral("CreateRoot"), [this] { m_frame->CreateRoot(); }},
        {QStringLiteral("NewTree"), [this] { m_frame->NewTree(); }},
        {QStringLiteral("NewChild"), [this] { m_frame->NewChild(); }},
        {QStringLiteral("Edit"), [this] { m_frame->Edit(); }},
        {QStringLiteral("Delete"), [this] { m_frame->Delete(true); }},
        {QStringLiteral("UndeleteNode"), [this] { m_frame->UndeleteNode(); }},
        {QStringLiteral("DeleteFull"), [this] { m_frame->DeleteFull(); }},
        {QStringLiteral("NewChildNode"), [this] { m_frame->NewChildNode(id(QStringLiteral("Alpha")), true); }},
        {QStringLiteral("MoveNode"), [this] { m_frame->MoveNode(); }},
        {QStringLiteral("SetNodeText"), [this] { m_frame->SetNodeText(node(QStringLiteral("A2")), QStringLiteral("X")); }},
        {QStringLiteral("Insert"), [this] { QTest::keyClick(m_frame->TreeView, Qt::Key_Insert); }},
        {QStringLiteral("Alt+Insert"), [this] { QTest::keyClick(m_frame->TreeView, Qt::Key_Insert, Qt::AltModifier); }},
        {QStringLiteral("Delete key"), [this] { QTest::keyClick(m_frame->TreeView, Qt::Key_Delete); }},
        {QStringLiteral("F2"), [this] { QTest::keyClick(m_frame->TreeView, Qt::Key_F2); }},
    };
    QVERIFY2(commands.contains(command), qPrintable(command));
    commands.value(command)();
}

void TestTree::readOnlyMode_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("message"); // empty: nothing at all
    const QString readOnly = TfrmZxTrees::ReadOnlyMessage;
    for (const char *command : {"CreateRoot", "NewTree", "NewChild", "Edit", "Delete", "UndeleteNode", "DeleteFull"})
        QTest::newRow(command) << command << readOnly;
    for (const char *command : {"NewChildNode", "MoveNode", "SetNodeText", "Insert", "Alt+Insert", "Delete key", "F2"})
        QTest::newRow(command) << command << QString();
}

void TestTree::readOnlyMode()
{
    QFETCH(QString, command);
    QFETCH(QString, message);
    QCOMPARE(TfrmZxTrees::ReadOnlyMessage,
             QStringLiteral("Дерево в режиме только для чтения.\rНеобходимо перейти в режим редактирования."));
    m_frame->TreeView->expand(node(QStringLiteral("Alpha")));
    // A drag source and a drop target, so that only the mode stops the move.
    m_frame->SetTreeReadOnly(false);
    std::unique_ptr<QMimeData> data(m_frame->TreeView->DragMimeData());
    pressOn(*m_frame, node(QStringLiteral("A2")));
    QVERIFY(dragOver(*m_frame, data.get(), centreOf(*m_frame, node(QStringLiteral("Beta")))));
    dragLeave(*m_frame);
    m_frame->SetTreeReadOnly(true);
    QVERIFY(m_frame->DropTarget().isValid());
    const QStringList view = viewSnapshot(*m_frame);
    const int branches = int(m_tree->serverTree().size());

    runCommand(command);
    QCoreApplication::processEvents();
    if (message.isEmpty()) {
        QCOMPARE(m_boxes->boxes.size(), 0);
    } else {
        QCOMPARE(m_boxes->boxes.size(), 1);
        QCOMPARE(m_boxes->boxes[0].kind, QStringLiteral("error"));
        QCOMPARE(m_boxes->boxes[0].text, message);
    }
    QVERIFY(!m_frame->TreeView->IsEditing());
    QCOMPARE(viewSnapshot(*m_frame), view);
    QCOMPARE(int(m_tree->serverTree().size()), branches);
    QCOMPARE(m_tree->serverBranch(id(QStringLiteral("A2")))->parent, id(QStringLiteral("Alpha")));
    QCOMPARE(m_tree->serverBranch(id(QStringLiteral("A2")))->name, QStringLiteral("A2"));
}

void TestTree::noSelection_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("message");
    for (const char *command : {"NewTree", "NewChild", "Delete", "UndeleteNode", "DeleteFull"})
        QTest::newRow(command) << command << QStringLiteral("Не выбрана ветвь!");
    for (const char *command : {"Edit", "Delete key", "F2"})
        QTest::newRow(command) << command << QString();
}

void TestTree::noSelection()
{
    QFETCH(QString, command);
    QFETCH(QString, message);
    m_frame->SetTreeReadOnly(false);
    m_frame->TreeView->selectionModel()->clearCurrentIndex();
    QVERIFY(!m_frame->SelectedNode().isValid());
    QVERIFY(!m_frame->SelectedRec());
    const QStringList view = viewSnapshot(*m_frame);
    runCommand(command);
    if (message.isEmpty()) {
        QCOMPARE(m_boxes->boxes.size(), 0);
    } else {
        QCOMPARE(m_boxes->boxes.size(), 1);
        QCOMPARE(m_boxes->boxes[0].kind, QStringLiteral("error"));
        QCOMPARE(m_boxes->boxes[0].text, message);
    }
    QVERIFY(!m_frame->TreeView->IsEditing());
    QCOMPARE(viewSnapshot(*m_frame), view);
}

void TestTree::keysInEditMode_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("whileEditing");
    QTest::addColumn<QString>("effect");
    QTest::newRow("Insert") << int(Qt::Key_Insert) << int(Qt::NoModifier) << false << "sibling";
    QTest::newRow("keypad Insert") << int(Qt::Key_Insert) << int(Qt::KeypadModifier) << false << "sibling";
    QTest::newRow("Alt+Insert") << int(Qt::Key_Insert) << int(Qt::AltModifier) << false << "child";
    QTest::newRow("Ctrl+Insert") << int(Qt::Key_Insert) << int(Qt::ControlModifier) << false << "nothing";
    QTest::newRow("Shift+Insert") << int(Qt::Key_Insert) << int(Qt::ShiftModifier) << false << "nothing";
    QTest::newRow("Alt+Shift+Insert") << int(Qt::Key_Insert) << int(Qt::AltModifier | Qt::ShiftModifier) << false
                                      << "nothing";
    QTest::newRow("Delete") << int(Qt::Key_Delete) << int(Qt::NoModifier) << false << "question";
    QTest::newRow("Shift+Delete") << int(Qt::Key_Delete) << int(Qt::ShiftModifier) << false << "question";
    QTest::newRow("Delete while editing") << int(Qt::Key_Delete) << int(Qt::NoModifier) << true << "nothing";
    QTest::newRow("F2") << int(Qt::Key_F2) << int(Qt::NoModifier) << false << "editor";
    QTest::newRow("Ctrl+F2") << int(Qt::Key_F2) << int(Qt::ControlModifier) << false << "editor";
}

void TestTree::keysInEditMode()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, whileEditing);
    QFETCH(QString, effect);
    m_frame->SetTreeReadOnly(false);
    m_frame->SelectTree(id(QStringLiteral("Beta")));
    if (whileEditing)
        m_frame->Edit();
    const int branches = int(m_tree->serverTree().size());
    m_boxes->answers = {IdCancel};

    QTest::keyClick(m_frame->TreeView, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCoreApplication::processEvents();

    const int added = int(m_tree->serverTree().size()) - branches;
    if (effect == QStringLiteral("sibling") || effect == QStringLiteral("child")) {
        QCOMPARE(added, 1);
        QCOMPARE(m_frame->SelectedNode().data().toString(), TfrmZxTrees::NewNodeName);
        const QString expectedParent = effect == QStringLiteral("child") ? id(QStringLiteral("Beta")) : QString();
        QCOMPARE(m_tree->serverBranch(m_frame->SelectedRec()->Id)->parent, expectedParent);
        QVERIFY(m_frame->TreeView->IsEditing());
        cancelLabel(*m_frame);
    } else {
        QCOMPARE(added, 0);
    }
    QCOMPARE(m_boxes->boxes.size(), effect == QStringLiteral("question") ? 1 : 0);
    QCOMPARE(m_frame->TreeView->IsEditing(), effect == QStringLiteral("editor") || whileEditing);
    QVERIFY(node(QStringLiteral("Beta")).isValid());
}

void TestTree::failedCallsLeaveViewUnchanged_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("raisesAtOnce"); // otherwise from the event loop
    for (const char *operation : {"InitTree", "FindTree", "CreateRoot", "NewTree", "NewChild", "Delete", "DeleteFull"})
        QTest::newRow(operation) << operation << true;
    // Inside the view's own handling the failure is passed on to the event loop.
    for (const char *operation : {"opening by the user", "rename", "drop"})
        QTest::newRow(operation) << operation << false;
}

void TestTree::failedCallsLeaveViewUnchanged()
{
    QFETCH(QString, operation);
    QFETCH(bool, raisesAtOnce);
    m_frame->SetTreeReadOnly(false);
    m_frame->TreeView->expand(node(QStringLiteral("Alpha")));
    std::unique_ptr<QMimeData> data(m_frame->TreeView->DragMimeData());
    if (operation == QStringLiteral("drop")) {
        pressOn(*m_frame, node(QStringLiteral("A2")));
        QVERIFY(dragOver(*m_frame, data.get(), centreOf(*m_frame, node(QStringLiteral("Beta")))));
    } else {
        m_frame->SelectTree(id(QStringLiteral("A2")));
    }
    const QStringList view = viewSnapshot(*m_frame);
    const int branches = int(m_tree->serverTree().size());
    m_admin->Close();

    const QHash<QString, std::function<void()>> steps{
        {QStringLiteral("InitTree"), [this] { m_frame->InitTree(); }},
        {QStringLiteral("FindTree"), [this] { m_frame->FindTree(id(QStringLiteral("A1a"))); }},
        {QStringLiteral("CreateRoot"), [this] { m_frame->CreateRoot(); }},
        {QStringLiteral("NewTree"), [this] { m_frame->NewTree(); }},
        {QStringLiteral("NewChild"), [this] { m_frame->NewChild(); }},
        {QStringLiteral("Delete"), [this] { m_frame->Delete(true); }},
        {QStringLiteral("DeleteFull"), [this] { m_frame->DeleteFull(); }},
        {QStringLiteral("opening by the user"), [this] { m_frame->TreeView->expand(node(QStringLiteral("A1"))); }},
        {QStringLiteral("rename"),
         [this] {
             m_frame->Edit();
             confirmLabel(*m_frame, QStringLiteral("Другое"));
         }},
        {QStringLiteral("drop"), [this, &data] { dropAt(*m_frame, data.get(), centreOf(*m_frame, node(QStringLiteral("Beta")))); }},
    };
    const bool raised = raises(steps.value(operation));
    QCoreApplication::processEvents();
    QCOMPARE(raised, raisesAtOnce);
    const QList<RecordingResponder::Box> uncaught = [this] {
        QList<RecordingResponder::Box> found;
        for (const RecordingResponder::Box &box : m_boxes->boxes)
            if (box.kind == QStringLiteral("uncaught"))
                found.append(box);
        return found;
    }();
    QCOMPARE(uncaught.size(), raisesAtOnce ? 0 : 1);
    if (!raisesAtOnce)
        QVERIFY2(uncaught[0].text.contains(QStringLiteral("Нет соединения")), qPrintable(uncaught[0].text));
    QVERIFY(!m_frame->TreeView->IsEditing());
    QCOMPARE(viewSnapshot(*m_frame), view);
    QCOMPARE(int(m_tree->serverTree().size()), branches);
}

// Failures that leave the event loop uncaught reach the application's handler, as in
// the program.
int main(int argc, char **argv)
{
    TZxApplication app(argc, argv);
    TestTree test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tree.moc"
