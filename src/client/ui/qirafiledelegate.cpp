#include "qirafiledelegate.h"

#include "qirafilegrid.h"
#include "zxdataset.h"
#include "zxdatasetmodel.h"

#include <QApplication>
#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>

namespace {

bool isCheckColumn(const TQiraFileGrid *grid, const QModelIndex &index)
{
    return grid->FieldOf(index.column()) == QStringLiteral("del");
}

bool isPictureColumn(const TQiraFileGrid *grid, const QModelIndex &index)
{
    return grid->FieldOf(index.column()) == TQiraFileGrid::PreviewField;
}

// Black or white, whichever reads better on the background.
QColor textOn(const QColor &background)
{
    return qGray(background.rgb()) < 128 ? QColor(Qt::white) : QColor(Qt::black);
}

} // namespace

TQiraFileDelegate::TQiraFileDelegate(TQiraFileGrid *grid) : QStyledItemDelegate(grid), m_grid(grid) {}

void TQiraFileDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const QColor background = m_grid->CellBackground(index);
    if (background.isValid()) {
        option->backgroundBrush = background;
        option->state &= ~QStyle::State_Selected;
        option->palette.setColor(QPalette::Text, textOn(background));
    }
    if (isCheckColumn(m_grid, index) || isPictureColumn(m_grid, index))
        option->text.clear();
}

QPixmap TQiraFileDelegate::picture(const QModelIndex &index) const
{
    const auto found = m_pictures.constFind(index.row());
    if (found != m_pictures.constEnd())
        return found.value();
    QPixmap pixmap;
    QByteArray bytes = index.data(TZxDatasetModel::PictureRole).toByteArray();
    if (bytes.isEmpty())
        bytes = index.data(Qt::EditRole).toByteArray();
    if (!bytes.isEmpty())
        pixmap.loadFromData(bytes);
    m_pictures.insert(index.row(), pixmap);
    return pixmap;
}

QRect TQiraFileDelegate::checkRect(const QStyleOptionViewItem &option) const
{
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    QStyleOptionButton box;
    const QSize size(style->pixelMetric(QStyle::PM_IndicatorWidth, &box, widget),
                     style->pixelMetric(QStyle::PM_IndicatorHeight, &box, widget));
    return QStyle::alignedRect(option.direction, Qt::AlignCenter, size, option.rect);
}

void TQiraFileDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    if (isCheckColumn(m_grid, index)) {
        const QWidget *widget = option.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        QStyleOptionButton box;
        box.rect = checkRect(option);
        box.state = QStyle::State_Enabled
                    | (index.data(Qt::EditRole).toString() == QStringLiteral("1") ? QStyle::State_On : QStyle::State_Off);
        style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, widget);
        return;
    }
    if (isPictureColumn(m_grid, index)) {
        const QPixmap pixmap = picture(index);
        if (pixmap.isNull())
            return;
        const QRect area = option.rect.adjusted(2, 2, -2, -2);
        const QPixmap scaled = pixmap.scaled(area.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
        painter->drawPixmap(QStyle::alignedRect(option.direction, Qt::AlignCenter, scaled.size(), area), scaled);
    }
}

QWidget *TQiraFileDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                         const QModelIndex &index) const
{
    if (!m_grid->IsColumnEditable(index.column()) || isCheckColumn(m_grid, index))
        return nullptr;
    return QStyledItemDelegate::createEditor(parent, option, index);
}

bool TQiraFileDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                                    const QModelIndex &index)
{
    if (isCheckColumn(m_grid, index) && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && checkRect(option).contains(mouse->position().toPoint())) {
            m_grid->ToggleCheck(index);
            return true;
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

QString TQiraFileDelegate::displayText(const QVariant &value, const QLocale &locale) const
{
    if (value.metaType().id() == QMetaType::QDateTime) {
        const QDateTime moment = value.toDateTime();
        return moment.isValid() ? locale.toString(moment, QStringLiteral("dd.MM.yyyy HH:mm:ss")) : QString();
    }
    return QStyledItemDelegate::displayText(value, locale);
}
