#pragma once

#include "zxtreenode.h"

#include <QAbstractItemModel>

#include <functional>
#include <memory>
#include <vector>

// The branch tree as an item model of one column. The model only holds what the frame
// puts in it: nodes are added, replaced, moved and removed by the frame once the
// server has accepted the change. Labels are not edited through setData; the frame
// renames on the server first and then calls SetLabel.
class TZxTreeModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Roles {
        IdRole = Qt::UserRole + 1,
        ImageIndexRole,
        SelectedIndexRole,
        ExpandedIndexRole,
    };

    explicit TZxTreeModel(QObject *parent = nullptr);
    ~TZxTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;

    // Labels can be edited in place only while this is set (the tree's edit mode).
    void SetEditable(bool editable);
    bool Editable() const { return m_editable; }

    // nullptr for the invisible root (an invalid index).
    TZxTreeNode *Node(const QModelIndex &index) const;
    QModelIndex IndexOf(const TZxTreeNode *node) const;

    void Clear();
    // Adds the node as the last child of parent and returns its index.
    QModelIndex Append(const QModelIndex &parent, std::unique_ptr<TZxTreeNode> node);
    // Replaces every child of parent with these and marks the parent as read.
    void ReplaceChildren(const QModelIndex &parent, std::vector<std::unique_ptr<TZxTreeNode>> children);
    void Remove(const QModelIndex &index);
    // Makes the node the last child of newParent.
    void Move(const QModelIndex &index, const QModelIndex &newParent);
    void SetLabel(const QModelIndex &index, const QString &text);

    // Every node in display order (depth first, parents before children), including
    // the children of collapsed nodes that were read before.
    void ForEach(const std::function<bool(TZxTreeNode *)> &visit) const;

private:
    TZxTreeNode *nodeOrRoot(const QModelIndex &index) const;
    static void renumber(TZxTreeNode *parent, int from);

    std::unique_ptr<TZxTreeNode> m_root;
    bool m_editable = false;
};
