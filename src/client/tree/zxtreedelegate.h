#pragma once

#include <QStyledItemDelegate>

#include <functional>

class QTreeView;
class TZxTreeImages;

// Paints each node with its normal, selected or expanded image and hands a confirmed
// label to the frame instead of writing it into the model: the label changes only
// once the server has accepted the new name.
class TZxTreeDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    TZxTreeDelegate(const TZxTreeImages *images, QTreeView *view);

    std::function<void(const QModelIndex &, const QString &)> OnLabelEdited;

    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    const TZxTreeImages *m_images;
    QTreeView *m_view;
};
