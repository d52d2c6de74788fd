#pragma once

#include "itemrec.h"

#include <QString>

#include <memory>
#include <vector>

// One node of the branch tree: its label, its images and the record it owns. The
// model's invisible root is a node without a record.
class TZxTreeNode
{
public:
    TZxTreeNode() = default;
    TZxTreeNode(const QString &text, const ItemRec &rec) : Text(text), Rec(rec), HasRec(true) {}
    TZxTreeNode(const TZxTreeNode &) = delete;
    TZxTreeNode &operator=(const TZxTreeNode &) = delete;

    QString Text;
    ItemRec Rec;
    bool HasRec = false;
    // Indexes into the frame's image list.
    int ImageIndex = -1;
    int SelectedIndex = -1;
    int ExpandedIndex = -1;
    // The children have been read from the server at least once. Until then the
    // record's child count decides whether the node shows an expand button.
    bool Fetched = false;

    TZxTreeNode *Parent = nullptr;
    // The position among the parent's children; the model keeps it current, so that
    // finding a parent's index costs nothing in wide branches.
    int Row = 0;
    std::vector<std::unique_ptr<TZxTreeNode>> Children;
};
