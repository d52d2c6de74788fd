#include "frmzxtrees.h"

#include "dmzxtrees.h"
#include "zxbase.h"
#include "zxdataset.h"
#include "zxdatasetroutines.h"
#include "zxerror.h"
#include "zxmess.h"
#include "zxparamtype.h"
#include "zxtreedelegate.h"
#include "zxtreeimages.h"
#include "zxtreemodel.h"
#include "zxtreeview.h"

#include <QApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <exception>

const QString TfrmZxTrees::ReadOnlyMessage =
    QStringLiteral("Дерево в режиме только для чтения.\rНеобходимо перейти в режим редактирования.");
const QString TfrmZxTrees::NoSelectionMessage = QStringLiteral("Не выбрана ветвь!");
const QString TfrmZxTrees::NewNodeName = QStringLiteral("Новая строка");

namespace {

// The view's own code sits between a Qt callback and the event loop; a failure is
// passed on from the next turn of the loop, where the application's handler of
// uncaught failures reports it, instead of unwinding through the view.
void raiseLater(std::exception_ptr error)
{
    QTimer::singleShot(0, qApp, [error] { std::rethrow_exception(error); });
}

// Repainting of the tree's nodes is suspended for the scope's lifetime.
class TUpdatesSuspended
{
public:
    explicit TUpdatesSuspended(QWidget *widget) : m_widget(widget), m_was(widget->updatesEnabled())
    {
        m_widget->setUpdatesEnabled(false);
    }
    ~TUpdatesSuspended() { m_widget->setUpdatesEnabled(m_was); }
    TUpdatesSuspended(const TUpdatesSuspended &) = delete;
    TUpdatesSuspended &operator=(const TUpdatesSuspended &) = delete;

private:
    QWidget *m_widget;
    bool m_was;
};

} // namespace

TfrmZxTrees::TfrmZxTrees(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmZxTrees"));
    IsShowDel = false;
    dmZxTrees = new TdmZxTrees(this);
    ImageList = std::make_unique<TZxTreeImages>();

    TreeView = new TZxTreeView(this);
    TreeView->setObjectName(QStringLiteral("TreeView"));
    Model = new TZxTreeModel(TreeView);
    TreeView->setModel(Model);
    TreeView->setHeaderHidden(true);
    TreeView->setIndentation(27);
    TreeView->setIconSize(QSize(ImageList->Size(), ImageList->Size()));
    TreeView->setUniformRowHeights(true);
    TreeView->setSelectionMode(QAbstractItemView::SingleSelection);
    TreeView->setAnimated(false);
    TreeView->setDropIndicatorShown(false);
    auto *delegate = new TZxTreeDelegate(ImageList.get(), TreeView);
    TreeView->setItemDelegate(delegate);

    delegate->OnLabelEdited = [this](const QModelIndex &node, const QString &text) { treeViewLabelEdited(node, text); };
    TreeView->OnKeyDown = [this](QKeyEvent *event) { return treeViewKeyDown(event); };
    TreeView->OnMouseDown = [this](const QPoint &at) { treeViewMouseDown(at); };
    TreeView->OnDragOver = [this](const QDropEvent *event) { return treeViewDragOver(event); };
    TreeView->OnDragDrop = [this](const QDropEvent *event) { treeViewDragDrop(event); };
    connect(TreeView, &QTreeView::expanded, this, &TfrmZxTrees::treeViewExpanded);
    // Whatever becomes current is the selected branch, also when a removal moves it.
    connect(TreeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid() && !TreeView->selectionModel()->isSelected(current))
                    TreeView->selectionModel()->select(current, QItemSelectionModel::ClearAndSelect);
            });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(TreeView);
    SetTreeReadOnly(true);
}

TfrmZxTrees::~TfrmZxTrees() = default;

QString TfrmZxTrees::DelField()
{
    if (ZxTrim(m_delField).isEmpty())
        m_delField = QStringLiteral("Del");
    return m_delField;
}

void TfrmZxTrees::SetTreeReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    Model->SetEditable(!readOnly);
    TreeView->setEditTriggers(readOnly ? QAbstractItemView::NoEditTriggers : QAbstractItemView::SelectedClicked);
    TreeView->setDragDropMode(readOnly ? QAbstractItemView::NoDragDrop : QAbstractItemView::DragDrop);
    TreeView->setDragEnabled(!readOnly);
    TreeView->viewport()->setAcceptDrops(!readOnly);
}

QModelIndex TfrmZxTrees::SelectedNode() const { return TreeView->currentIndex(); }

const ItemRec *TfrmZxTrees::Rec(const QModelIndex &node) const
{
    const TZxTreeNode *item = Model->Node(node);
    return item && item->HasRec ? &item->Rec : nullptr;
}

const ItemRec *TfrmZxTrees::SelectedRec() const { return Rec(SelectedNode()); }

// --- loading ---------------------------------------------------------------------

void TfrmZxTrees::GetTree(const QString &parentId)
{
    TZxStoredProc &sp = dmZxTrees->spGetTree;
    sp.SetConnection(Connection);
    sp.Close();
    sp.ParamByName(QStringLiteral("ParentID")).SetString(parentId);
    sp.ParamByName(QStringLiteral("IsShowDel")).SetBoolean(IsShowDel);
    sp.ExecProc();
    const QByteArray image = sp.ParamByName(ZxReturnValueName).AsBytes();
    // An empty answer would leave the previous children in the table.
    if (image.isEmpty())
        throw EZxError(QStringLiteral("EZxTreeError"),
                       QStringLiteral("Сервер не вернул ветви дерева для \"%1\"").arg(parentId));
    LoadDatasetImage(image, *dmZxTrees->mtTree);
}

std::vector<std::unique_ptr<TZxTreeNode>> TfrmZxTrees::nodesFromTable()
{
    TZxDataset &table = *dmZxTrees->mtTree;
    std::vector<std::unique_ptr<TZxTreeNode>> nodes;
    if (table.IsEmpty())
        return nodes;
    TZxField &id = table.FieldByName(TreeID);
    TZxField &parent = table.FieldByName(ParentID);
    TZxField &name = table.FieldByName(NameTree);
    TZxField &count = table.FieldByName(Count);
    TZxField &info = table.FieldByName(AddInfoField);
    TZxField &del = table.FieldByName(DelField());
    nodes.reserve(std::size_t(table.RecordCount()));
    for (table.First(); !table.Eof(); table.Next()) {
        ItemRec rec;
        rec.Id = id.AsString();
        rec.Parent = parent.AsString();
        rec.CCount = count.AsInteger();
        rec.Del = !del.IsNull() && del.AsInteger() == 1;
        auto node = std::make_unique<TZxTreeNode>(name.AsString(), rec);
        const QString rights = ZxTrim(info.AsString());
        if (rec.Del) {
            node->ImageIndex = TZxTreeImages::DeletedNormal;
            node->SelectedIndex = TZxTreeImages::DeletedSelected;
            node->ExpandedIndex = TZxTreeImages::DeletedExpanded;
        } else if (!rights.isEmpty() && rights != QStringLiteral("0")) {
            node->ImageIndex = TZxTreeImages::RightsNormal;
            node->SelectedIndex = TZxTreeImages::RightsSelected;
            node->ExpandedIndex = TZxTreeImages::RightsExpanded;
        } else {
            node->ImageIndex = TZxTreeImages::Normal;
            node->SelectedIndex = TZxTreeImages::Selected;
            node->ExpandedIndex = TZxTreeImages::Expanded;
        }
        nodes.push_back(std::move(node));
    }
    return nodes;
}

void TfrmZxTrees::addChildren(const QModelIndex &node, std::vector<std::unique_ptr<TZxTreeNode>> nodes)
{
    TUpdatesSuspended suspended(TreeView);
    for (auto &child : nodes)
        Model->Append(node, std::move(child));
    if (TZxTreeNode *item = Model->Node(node))
        item->Fetched = true;
    if (!node.isValid() && !SelectedNode().isValid() && Model->rowCount() > 0)
        select(Model->index(0, 0));
}

void TfrmZxTrees::Expand(const QModelIndex &node)
{
    if (const ItemRec *rec = Rec(node))
        GetTree(rec->Id);
    // Read every row before the view changes: a bad row adds nothing.
    addChildren(node, nodesFromTable());
}

void TfrmZxTrees::reloadChildren(const QModelIndex &node)
{
    const ItemRec *rec = Rec(node);
    if (!rec)
        return;
    GetTree(rec->Id);
    auto nodes = nodesFromTable();
    // A selection inside the branch goes with its nodes; the branch itself takes it,
    // as an ordinary selection change.
    if (isInside(SelectedNode(), node))
        select(node);
    TUpdatesSuspended suspended(TreeView);
    Model->ReplaceChildren(node, std::move(nodes));
}

void TfrmZxTrees::showExpanded(const QModelIndex &node)
{
    if (!node.isValid() || TreeView->isExpanded(node))
        return;
    const bool was = m_opening;
    m_opening = true;
    TreeView->expand(node);
    m_opening = was;
}

void TfrmZxTrees::openNode(const QModelIndex &node)
{
    const QPersistentModelIndex kept(node);
    reloadChildren(kept);
    showExpanded(kept);
}

void TfrmZxTrees::treeViewExpanded(const QModelIndex &node)
{
    if (m_opening)
        return;
    // The view has already marked the node expanded; a failed read folds it again, so
    // that the view stays as it was.
    const QPersistentModelIndex kept(node);
    try {
        reloadChildren(kept);
    } catch (...) {
        TreeView->collapse(kept);
        raiseLater(std::current_exception());
    }
}

void TfrmZxTrees::InitTree()
{
    dmZxTrees->SetConnection(Connection);
    // The top level is read before the old nodes go: a failed call keeps the tree.
    GetTree(QString());
    auto nodes = nodesFromTable();
    m_dragSource = QPersistentModelIndex();
    m_dropTarget = QPersistentModelIndex();
    Model->Clear();
    addChildren(QModelIndex(), std::move(nodes));
}

// --- other data operations -------------------------------------------------------

void TfrmZxTrees::AddTreeNode(const QString &nodeName, const QString &parentId, const QString &id)
{
    TZxStoredProc &sp = dmZxTrees->spInsNode;
    sp.SetConnection(Connection);
    sp.Close();
    sp.ParamByName(QStringLiteral("NewTreeID")).SetString(id);
    sp.ParamByName(QStringLiteral("ParentTreeID")).SetString(parentId);
    sp.ParamByName(QStringLiteral("NodeText")).SetString(nodeName);
    sp.ExecProc();
}

void TfrmZxTrees::SetNodeText(const QModelIndex &node, const QString &newText)
{
    const ItemRec *rec = Rec(node);
    if (TreeReadOnly() || !rec)
        return;
    TZxStoredProc &sp = dmZxTrees->spSetNodeText;
    sp.SetConnection(Connection);
    sp.Close();
    sp.ParamByName(QStringLiteral("TreeID")).SetString(rec->Id);
    sp.ParamByName(QStringLiteral("NewText")).SetString(newText);
    sp.ExecProc();
}

QString TfrmZxTrees::SearchNode(const QString &parentId, const QString &nodeName)
{
    TZxStoredProc &sp = dmZxTrees->spSearchNode;
    sp.SetConnection(Connection);
    sp.Close();
    sp.ParamByName(QStringLiteral("ParentID")).SetString(ZxTrim(parentId));
    sp.ParamByName(QStringLiteral("NodeName")).SetString(ZxTrim(nodeName));
    sp.ExecProc();
    return ZxTrim(sp.ParamByName(ZxReturnValueName).AsString());
}

QModelIndex TfrmZxTrees::findInView(const QString &id) const
{
    const TZxTreeNode *found = nullptr;
    Model->ForEach([&](TZxTreeNode *node) {
        if (node->HasRec && node->Rec.Id == id) {
            found = node;
            return false;
        }
        return true;
    });
    return Model->IndexOf(found);
}

QModelIndex TfrmZxTrees::findChild(const QModelIndex &parent, const QString &id) const
{
    for (int row = 0; row < Model->rowCount(parent); ++row) {
        const QModelIndex child = Model->index(row, 0, parent);
        const ItemRec *rec = Rec(child);
        if (rec && rec->Id == id)
            return child;
    }
    return {};
}

bool TfrmZxTrees::isInside(const QModelIndex &node, const QModelIndex &ancestor) const
{
    if (!node.isValid() || !ancestor.isValid())
        return false;
    for (QModelIndex up = node.parent(); up.isValid(); up = up.parent()) {
        if (up == ancestor)
            return true;
    }
    return false;
}

void TfrmZxTrees::select(const QModelIndex &node)
{
    TreeView->selectionModel()->setCurrentIndex(node, QItemSelectionModel::ClearAndSelect);
    if (node.isValid())
        TreeView->scrollTo(node);
}

void TfrmZxTrees::FindTree(const QString &treeId)
{
    TUpdatesSuspended suspended(TreeView);
    TZxStoredProc &sp = dmZxTrees->spFindTree;
    sp.SetConnection(Connection);
    sp.Close();
    sp.ParamByName(QStringLiteral("TreeID")).SetString(treeId);
    sp.ExecProc();
    Arr = SplitText(sp.ParamByName(ZxReturnValueName).AsString(), QStringLiteral(","));
    if (Arr.isEmpty())
        return;
    QPersistentModelIndex node(findInView(Arr.last()));
    if (!node.isValid())
        return;
    select(node);
    openNode(node);
    for (qsizetype i = Arr.size() - 2; i >= 0; --i) {
        const QPersistentModelIndex child(findChild(node, Arr.at(i)));
        if (!child.isValid())
            return;
        node = child;
        select(node);
        openNode(node);
    }
}

void TfrmZxTrees::SelectTree(const QString &treeId)
{
    const QModelIndex node = findInView(ZxTrim(treeId));
    if (node.isValid())
        select(node);
}

// --- commands --------------------------------------------------------------------

bool TfrmZxTrees::guardReadOnly() const
{
    if (!TreeReadOnly())
        return true;
    ErrorBox(ReadOnlyMessage);
    return false;
}

bool TfrmZxTrees::guardSelection() const
{
    if (SelectedNode().isValid())
        return true;
    ErrorBox(NoSelectionMessage);
    return false;
}

void TfrmZxTrees::CreateRoot()
{
    if (!guardReadOnly())
        return;
    NewChildNode(QString(), false);
}

void TfrmZxTrees::NewTree()
{
    if (!guardReadOnly() || !guardSelection())
        return;
    NewChildNode(SelectedRec()->Parent, false);
}

void TfrmZxTrees::NewChild()
{
    if (!guardReadOnly() || !guardSelection())
        return;
    openNode(SelectedNode());
    if (const ItemRec *rec = SelectedRec())
        NewChildNode(rec->Id, true);
}

void TfrmZxTrees::Edit()
{
    if (!guardReadOnly())
        return;
    const QModelIndex node = SelectedNode();
    if (node.isValid())
        TreeView->edit(node);
}

void TfrmZxTrees::Delete(bool IsDel)
{
    if (!guardReadOnly() || !guardSelection())
        return;
    const QPersistentModelIndex node(SelectedNode());
    const QString question = QStringLiteral("Вы уверены, что хотите ")
                             + (IsDel ? QStringLiteral("УДАЛИТЬ") : QStringLiteral("ВОССТАНОВИТЬ"))
                             + QStringLiteral(" ветвь с названием: ") + ZxTrim(Model->Node(node)->Text)
                             + QStringLiteral(" ?");
    if (OkCancelBox(QStringLiteral("Удаление"), question) != IdOk)
        return;
    TZxStoredProc &sp = dmZxTrees->spDelNode;
    sp.SetConnection(Connection);
    sp.Close();
    sp.ParamByName(QStringLiteral("TreeID")).SetString(Rec(node)->Id);
    sp.ParamByName(QStringLiteral("Del")).SetInteger(IsDel ? 1 : 0);
    sp.ExecProc();
    Model->Remove(node);
}

void TfrmZxTrees::UndeleteNode() { Delete(false); }

void TfrmZxTrees::DeleteFull()
{
    if (!guardReadOnly() || !guardSelection())
        return;
    const QPersistentModelIndex node(SelectedNode());
    const QString question = QStringLiteral("Вы уверены, что хотите удалить ветвь ПОЛНОСТЬЮ с названием: ")
                             + ZxTrim(Model->Node(node)->Text) + QStringLiteral(" ?");
    if (OkCancelBox(QStringLiteral("Удаление"), question) != IdOk)
        return;
    TZxStoredProc &sp = dmZxTrees->spDelNodeFull;
    sp.SetConnection(Connection);
    sp.Close();
    sp.ParamByName(QStringLiteral("TreeID")).SetString(Rec(node)->Id);
    sp.ExecProc();
    Model->Remove(node);
}

void TfrmZxTrees::MoveNode()
{
    if (TreeReadOnly() || !m_dragSource.isValid() || !m_dropTarget.isValid())
        return;
    const QPersistentModelIndex source(m_dragSource);
    const QPersistentModelIndex target(m_dropTarget);
    TZxStoredProc &sp = dmZxTrees->spMoveNode;
    sp.SetConnection(Connection);
    sp.Close();
    sp.ParamByName(QStringLiteral("TreeID")).SetString(Rec(source)->Id);
    sp.ParamByName(QStringLiteral("NewParentID")).SetString(Rec(target)->Id);
    sp.ExecProc();
    Model->Node(source)->Rec.Parent = Rec(target)->Id;
    Model->Move(source, target);
    // The target's children come from the server again, so the moved branch shows
    // where the server put it.
    openNode(target);
}

void TfrmZxTrees::NewChildNode(const QString &parentId, bool IsChild)
{
    if (TreeReadOnly())
        return;
    ItemRec rec;
    rec.Id = NewID();
    rec.Parent = parentId;
    rec.CCount = 0;
    rec.Del = false;
    AddTreeNode(NewNodeName, parentId, rec.Id);

    auto node = std::make_unique<TZxTreeNode>(NewNodeName, rec);
    node->ImageIndex = TZxTreeImages::New;
    node->SelectedIndex = TZxTreeImages::Selected;
    node->ExpandedIndex = TZxTreeImages::Expanded;
    // Nothing to read for a branch that was just made.
    node->Fetched = true;
    const QPersistentModelIndex selected(SelectedNode());
    QModelIndex added;
    if (IsChild) {
        added = Model->Append(selected, std::move(node));
        showExpanded(selected);
    } else if (!parentId.isEmpty()) {
        added = Model->Append(selected.isValid() ? selected.parent() : QModelIndex(), std::move(node));
    } else {
        added = Model->Append(QModelIndex(), std::move(node));
    }
    // Editing a label selects its node, as any tree does.
    select(added);
    TreeView->edit(added);
}

// --- events of the tree view -----------------------------------------------------

void TfrmZxTrees::treeViewLabelEdited(const QModelIndex &node, const QString &text)
{
    if (TreeReadOnly())
        return;
    const QPersistentModelIndex kept(node);
    try {
        SetNodeText(kept, text);
    } catch (...) {
        // The editor's own code called us; the old label stays.
        raiseLater(std::current_exception());
        return;
    }
    Model->SetLabel(kept, text);
}

bool TfrmZxTrees::treeViewKeyDown(QKeyEvent *event)
{
    const int key = event->key();
    if (key != Qt::Key_Insert && key != Qt::Key_Delete && key != Qt::Key_F2)
        return false;
    // These keys do nothing at all in read-only mode.
    if (TreeReadOnly())
        return true;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    switch (key) {
    case Qt::Key_Insert:
        if (modifiers == Qt::NoModifier)
            NewTree();
        else if (modifiers == Qt::AltModifier)
            NewChild();
        break;
    case Qt::Key_Delete:
        if (!TreeView->IsEditing() && SelectedNode().isValid())
            Delete(true);
        break;
    case Qt::Key_F2:
        if (SelectedNode().isValid())
            TreeView->edit(SelectedNode());
        break;
    default:
        break;
    }
    return true;
}

void TfrmZxTrees::treeViewMouseDown(const QPoint &at) { m_dragSource = TreeView->indexAt(at); }

bool TfrmZxTrees::dropAllowed(const QDropEvent *event) const
{
    if (TreeReadOnly() || !TreeView->IsOwnDrag(event) || !m_dragSource.isValid() || !m_dropTarget.isValid())
        return false;
    // Onto itself, or into one of its own branches, the server would have to refuse.
    return m_dragSource != m_dropTarget && !isInside(m_dropTarget, m_dragSource);
}

bool TfrmZxTrees::treeViewDragOver(const QDropEvent *event)
{
    m_dropTarget = TreeView->indexAt(event->position().toPoint());
    return dropAllowed(event);
}

void TfrmZxTrees::treeViewDragDrop(const QDropEvent *event)
{
    m_dropTarget = TreeView->indexAt(event->position().toPoint());
    if (!dropAllowed(event))
        return;
    try {
        MoveNode();
    } catch (...) {
        // The drag's own bookkeeping must finish; the failure follows from the loop.
        raiseLater(std::current_exception());
    }
}
