#pragma once

#include "itemrec.h"

#include <QPersistentModelIndex>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <vector>

class QDropEvent;
class QKeyEvent;
class TZxConnection;
class TZxTreeImages;
class TZxTreeModel;
class TZxTreeNode;
class TZxTreeView;
class TdmZxTrees;

// The branch tree frame: shows the server's tree one level at a time and carries out
// the user's edits of it. Every edit goes to the server first and changes the view
// only once the call has returned, so the view never holds a change the server has
// not accepted. Failed remote calls are not caught here: they reach the caller and,
// for a user's command, the application's handler of uncaught failures.
class TfrmZxTrees : public QWidget
{
    Q_OBJECT

public:
    explicit TfrmZxTrees(QWidget *parent = nullptr);
    ~TfrmZxTrees() override;

    // Column names of the tree dataset, set by the host before the first InitTree.
    QString TreeID;
    QString ParentID;
    QString NameTree;
    QString Count;
    QString AddInfoField;
    // The deleted mark's column; reads "Del" while it is empty or blank.
    QString DelField();
    void SetDelField(const QString &name) { m_delField = name; }
    // Kept for the host; the image rules apply whatever its value.
    bool IsShowAddInfo = false;
    // Ask the server for branches marked deleted too.
    bool IsShowDel = false;
    // The connection every remote tree call uses (not owned).
    TZxConnection *Connection = nullptr;

    TZxTreeView *TreeView = nullptr;
    TZxTreeModel *Model = nullptr;
    std::unique_ptr<TZxTreeImages> ImageList;
    TdmZxTrees *dmZxTrees = nullptr;
    // The path of the last FindTree, the branch first.
    QStringList Arr;

    // The edit mode belongs to the host: the frame never switches it itself.
    bool TreeReadOnly() const { return m_readOnly; }
    void SetTreeReadOnly(bool readOnly);

    // The selected node (the view's current one), invalid when there is none, and its
    // record (nullptr when none).
    QModelIndex SelectedNode() const;
    const ItemRec *SelectedRec() const;
    const ItemRec *Rec(const QModelIndex &node) const;

    // Data operations.
    void InitTree();
    void GetTree(const QString &parentId);
    void Expand(const QModelIndex &node);
    void AddTreeNode(const QString &nodeName, const QString &parentId, const QString &id);
    void SetNodeText(const QModelIndex &node, const QString &newText);
    QString SearchNode(const QString &parentId, const QString &nodeName);
    void FindTree(const QString &treeId);
    void SelectTree(const QString &treeId);

    // Commands.
    void CreateRoot();
    void NewTree();
    void NewChild();
    void Edit();
    void Delete(bool IsDel);
    void UndeleteNode();
    void DeleteFull();
    void MoveNode();
    void NewChildNode(const QString &parentId, bool IsChild);

    // The drag and drop state, replaced at every mouse press and drag movement.
    QModelIndex DragSource() const { return m_dragSource; }
    QModelIndex DropTarget() const { return m_dropTarget; }

    static const QString ReadOnlyMessage;
    static const QString NoSelectionMessage;
    static const QString NewNodeName;

private:
    std::vector<std::unique_ptr<TZxTreeNode>> nodesFromTable();
    void addChildren(const QModelIndex &node, std::vector<std::unique_ptr<TZxTreeNode>> nodes);
    // Reads the node's children from the server again and shows it expanded.
    void openNode(const QModelIndex &node);
    void reloadChildren(const QModelIndex &node);
    void showExpanded(const QModelIndex &node);
    void select(const QModelIndex &node);
    QModelIndex findInView(const QString &id) const;
    QModelIndex findChild(const QModelIndex &parent, const QString &id) const;
    bool isInside(const QModelIndex &node, const QModelIndex &ancestor) const;
    bool guardReadOnly() const;
    bool guardSelection() const;
    bool dropAllowed(const QDropEvent *event) const;

    void treeViewExpanded(const QModelIndex &node);
    void treeViewLabelEdited(const QModelIndex &node, const QString &text);
    bool treeViewKeyDown(QKeyEvent *event);
    void treeViewMouseDown(const QPoint &at);
    bool treeViewDragOver(const QDropEvent *event);
    void treeViewDragDrop(const QDropEvent *event);

    QString m_delField;
    bool m_readOnly = true;
    // Set while the frame itself expands a node whose children it has just read.
    bool m_opening = false;
    QPersistentModelIndex m_dragSource;
    QPersistentModelIndex m_dropTarget;
};
