#include "zxtreemodel.h"

TZxTreeModel::TZxTreeModel(QObject *parent) : QAbstractItemModel(parent), m_root(std::make_unique<TZxTreeNode>())
{
    m_root->Fetched = true;
}

TZxTreeModel::~TZxTreeModel() = default;

TZxTreeNode *TZxTreeModel::nodeOrRoot(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<TZxTreeNode *>(index.internalPointer()) : m_root.get();
}

TZxTreeNode *TZxTreeModel::Node(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<TZxTreeNode *>(index.internalPointer()) : nullptr;
}

QModelIndex TZxTreeModel::IndexOf(const TZxTreeNode *node) const
{
    if (!node || node == m_root.get())
        return {};
    return createIndex(node->Row, 0, const_cast<TZxTreeNode *>(node));
}

QModelIndex TZxTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0 || parent.column() > 0)
        return {};
    const TZxTreeNode *owner = nodeOrRoot(parent);
    if (row >= int(owner->Children.size()))
        return {};
    return createIndex(row, 0, owner->Children[std::size_t(row)].get());
}

QModelIndex TZxTreeModel::parent(const QModelIndex &child) const
{
    const TZxTreeNode *node = Node(child);
    if (!node)
        return {};
    return IndexOf(node->Parent);
}

int TZxTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    return int(nodeOrRoot(parent)->Children.size());
}

int TZxTreeModel::columnCount(const QModelIndex &) const { return 1; }

bool TZxTreeModel::hasChildren(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return false;
    const TZxTreeNode *node = nodeOrRoot(parent);
    if (!node->Children.empty())
        return true;
    // A branch the server says has children shows its expand button before they are read.
    return !node->Fetched && node->Rec.CCount > 0;
}

QVariant TZxTreeModel::data(const QModelIndex &index, int role) const
{
    const TZxTreeNode *node = Node(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return node->Text;
    case IdRole:
        return node->Rec.Id;
    case ImageIndexRole:
        return node->ImageIndex;
    case SelectedIndexRole:
        return node->SelectedIndex;
    case ExpandedIndexRole:
        return node->ExpandedIndex;
    default:
        return {};
    }
}

Qt::ItemFlags TZxTreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    if (m_editable)
        result |= Qt::ItemIsEditable;
    return result;
}

Qt::DropActions TZxTreeModel::supportedDropActions() const { return Qt::MoveAction; }

Qt::DropActions TZxTreeModel::supportedDragActions() const { return Qt::MoveAction; }

void TZxTreeModel::SetEditable(bool editable) { m_editable = editable; }

void TZxTreeModel::renumber(TZxTreeNode *parent, int from)
{
    for (std::size_t i = std::size_t(std::max(from, 0)); i < parent->Children.size(); ++i)
        parent->Children[i]->Row = int(i);
}

void TZxTreeModel::Clear()
{
    beginResetModel();
    m_root->Children.clear();
    endResetModel();
}

QModelIndex TZxTreeModel::Append(const QModelIndex &parent, std::unique_ptr<TZxTreeNode> node)
{
    TZxTreeNode *owner = nodeOrRoot(parent);
    const int row = int(owner->Children.size());
    beginInsertRows(parent, row, row);
    node->Parent = owner;
    node->Row = row;
    TZxTreeNode *added = node.get();
    owner->Children.push_back(std::move(node));
    endInsertRows();
    return IndexOf(added);
}

void TZxTreeModel::ReplaceChildren(const QModelIndex &parent, std::vector<std::unique_ptr<TZxTreeNode>> children)
{
    TZxTreeNode *owner = nodeOrRoot(parent);
    if (!owner->Children.empty()) {
        beginRemoveRows(parent, 0, int(owner->Children.size()) - 1);
        owner->Children.clear();
        endRemoveRows();
    }
    owner->Fetched = true;
    if (!children.empty()) {
        beginInsertRows(parent, 0, int(children.size()) - 1);
        for (auto &child : children)
            child->Parent = owner;
        owner->Children = std::move(children);
        renumber(owner, 0);
        endInsertRows();
    } else if (parent.isValid()) {
        // The expand button goes now that the branch is known to be empty; views only
        // ask again on a new layout.
        emit layoutAboutToBeChanged({QPersistentModelIndex(parent)});
        emit layoutChanged({QPersistentModelIndex(parent)});
    }
}

void TZxTreeModel::Remove(const QModelIndex &index)
{
    TZxTreeNode *node = Node(index);
    if (!node)
        return;
    TZxTreeNode *owner = node->Parent;
    const int row = node->Row;
    beginRemoveRows(index.parent(), row, row);
    owner->Children.erase(owner->Children.begin() + row);
    renumber(owner, row);
    endRemoveRows();
}

void TZxTreeModel::Move(const QModelIndex &index, const QModelIndex &newParent)
{
    TZxTreeNode *node = Node(index);
    TZxTreeNode *target = nodeOrRoot(newParent);
    if (!node)
        return;
    TZxTreeNode *owner = node->Parent;
    const int row = node->Row;
    const int destination = int(target->Children.size());
    if (owner == target && row == destination - 1)
        return; // already the last child there
    // Refuses a move into the node itself or below it.
    if (!beginMoveRows(index.parent(), row, row, newParent, destination))
        return;
    std::unique_ptr<TZxTreeNode> taken = std::move(owner->Children[std::size_t(row)]);
    owner->Children.erase(owner->Children.begin() + row);
    renumber(owner, row);
    taken->Parent = target;
    target->Children.push_back(std::move(taken));
    renumber(target, int(target->Children.size()) - 1);
    endMoveRows();
}

void TZxTreeModel::SetLabel(const QModelIndex &index, const QString &text)
{
    TZxTreeNode *node = Node(index);
    if (!node)
        return;
    node->Text = text;
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
}

void TZxTreeModel::ForEach(const std::function<bool(TZxTreeNode *)> &visit) const
{
    // Iterative, so that a deep tree cannot exhaust the stack.
    std::vector<std::pair<TZxTreeNode *, std::size_t>> stack{{m_root.get(), 0}};
    while (!stack.empty()) {
        auto &[node, next] = stack.back();
        if (next >= node->Children.size()) {
            stack.pop_back();
            continue;
        }
        TZxTreeNode *child = node->Children[next++].get();
        if (!visit(child))
            return;
        stack.emplace_back(child, 0);
    }
}
