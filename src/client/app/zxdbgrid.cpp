#include "zxdbgrid.h"

#include "zxdataset.h"
#include "zxdatasetmodel.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

TZxDBGrid::TZxDBGrid(QWidget *parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAlternatingRowColors(false);
    horizontalHeader()->setSectionsMovable(true);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    setReadOnly(true);
}

void TZxDBGrid::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    setEditTriggers(readOnly ? QAbstractItemView::NoEditTriggers
                             : QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                                   | QAbstractItemView::AnyKeyPressed);
}

void TZxDBGrid::keyboardSearch(const QString &search)
{
    if (!m_incrementalSearch)
        return;
    // Search the current column, not the first one as the base view does.
    const QModelIndex current = currentIndex();
    if (!model() || !current.isValid()) {
        QTableView::keyboardSearch(search);
        return;
    }
    const QModelIndexList found = model()->match(model()->index(current.row(), current.column()),
                                                 Qt::DisplayRole, search, 1,
                                                 Qt::MatchStartsWith | Qt::MatchWrap);
    if (!found.isEmpty())
        setCurrentIndex(found.first());
}

void TZxDBGrid::setModel(QAbstractItemModel *model)
{
    if (QAbstractItemModel *old = this->model())
        disconnect(old, &QAbstractItemModel::modelReset, this, &TZxDBGrid::applyFieldLayout);
    QTableView::setModel(model);
    if (model)
        connect(model, &QAbstractItemModel::modelReset, this, &TZxDBGrid::applyFieldLayout);
    applyFieldLayout();
}

void TZxDBGrid::setFieldLayout(const QStringList &fieldNames)
{
    m_fieldLayout = fieldNames;
    applyFieldLayout();
}

void TZxDBGrid::applyFieldLayout()
{
    const auto *datasetModel = qobject_cast<const TZxDatasetModel *>(model());
    if (m_fieldLayout.isEmpty() || !datasetModel || !datasetModel->dataset())
        return;
    TZxDataset &dataset = *datasetModel->dataset();
    QHeaderView *header = horizontalHeader();
    for (int column = 0; column < dataset.FieldCount(); ++column)
        setColumnHidden(column, true);
    int place = 0;
    for (const QString &name : m_fieldLayout) {
        const TZxField *field = dataset.FindField(name);
        if (!field)
            continue;
        setColumnHidden(field->Index(), false);
        header->moveSection(header->visualIndex(field->Index()), place++);
    }
}

TZxCellButtonDelegate::TZxCellButtonDelegate(const QString &hint, QObject *parent)
    : QStyledItemDelegate(parent), m_hint(hint)
{
}

QRect TZxCellButtonDelegate::buttonRect(const QRect &cell)
{
    const int side = qMax(12, cell.height() - 4);
    return {cell.right() - side - 1, cell.top() + (cell.height() - side) / 2, side, side};
}

void TZxCellButtonDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                  const QModelIndex &index) const
{
    QStyleOptionViewItem textOption = option;
    textOption.rect.setRight(buttonRect(option.rect).left() - 2);
    QStyledItemDelegate::paint(painter, textOption, index);
    QStyleOptionButton button;
    button.rect = buttonRect(option.rect);
    button.text = QStringLiteral("…");
    button.state = QStyle::State_Enabled | QStyle::State_Raised;
    const QWidget *widget = option.widget;
    (widget ? widget->style() : QApplication::style())->drawControl(QStyle::CE_PushButton, &button, painter, widget);
}

bool TZxCellButtonDelegate::editorEvent(QEvent *event, QAbstractItemModel *model,
                                        const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && buttonRect(option.rect).contains(mouse->position().toPoint())) {
            emit buttonClicked(index);
            return true;
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

bool TZxCellButtonDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view,
                                      const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (event->type() == QEvent::ToolTip && buttonRect(option.rect).contains(event->pos())) {
        QToolTip::showText(event->globalPos(), m_hint, view);
        return true;
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}
