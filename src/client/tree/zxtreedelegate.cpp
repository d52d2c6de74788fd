#include "zxtreedelegate.h"

#include "zxtreeimages.h"
#include "zxtreemodel.h"

#include <QLineEdit>
#include <QTreeView>

TZxTreeDelegate::TZxTreeDelegate(const TZxTreeImages *images, QTreeView *view)
    : QStyledItemDelegate(view), m_images(images), m_view(view)
{
}

void TZxTreeDelegate::setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const
{
    const auto *line = qobject_cast<QLineEdit *>(editor);
    if (line && OnLabelEdited)
        OnLabelEdited(index, line->text());
}

void TZxTreeDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    int image = index.data(TZxTreeModel::ImageIndexRole).toInt();
    if (option->state & QStyle::State_Selected)
        image = index.data(TZxTreeModel::SelectedIndexRole).toInt();
    else if (m_view->isExpanded(index))
        image = index.data(TZxTreeModel::ExpandedIndexRole).toInt();
    const QIcon icon = m_images->Icon(image);
    if (icon.isNull())
        return;
    option->icon = icon;
    option->features |= QStyleOptionViewItem::HasDecoration;
    option->decorationSize = QSize(m_images->Size(), m_images->Size());
}
