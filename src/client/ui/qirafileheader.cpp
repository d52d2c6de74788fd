#include "qirafileheader.h"

#include "qirafilegrid.h"

#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

TQiraFileHeader::TQiraFileHeader(TQiraFileGrid *grid) : QHeaderView(Qt::Horizontal, grid), m_grid(grid)
{
    setSectionsClickable(true);
    setSectionsMovable(true);
    setHighlightSections(false);
    setDefaultAlignment(Qt::AlignCenter);
}

QString TQiraFileHeader::GroupOf(const QString &title)
{
    const qsizetype bar = title.indexOf(u'|');
    return bar < 0 ? QString() : title.left(bar);
}

QString TQiraFileHeader::CaptionOf(const QString &title)
{
    const qsizetype bar = title.indexOf(u'|');
    return bar < 0 ? title : title.mid(bar + 1);
}

bool TQiraFileHeader::twoLevels() const
{
    for (int logical = 0; logical < count(); ++logical)
        if (!isSectionHidden(logical) && !GroupOf(m_grid->TitleOf(logical)).isEmpty())
            return true;
    return false;
}

QSize TQiraFileHeader::sectionSizeFromContents(int logicalIndex) const
{
    QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
    const int line = fontMetrics().height() + 8;
    size.setHeight(twoLevels() ? 2 * line : line);
    return size;
}

// The span of the neighbouring shown columns whose titles share the group.
QRect TQiraFileHeader::groupRect(int logical, const QString &group, const QRect &rect) const
{
    const auto sameGroup = [this, &group](int visual) {
        return GroupOf(m_grid->TitleOf(this->logicalIndex(visual))) == group;
    };
    int first = visualIndex(logical);
    int last = first;
    for (int visual = first - 1; visual >= 0; --visual) {
        if (isSectionHidden(logicalIndex(visual)))
            continue;
        if (!sameGroup(visual))
            break;
        first = visual;
    }
    for (int visual = last + 1; visual < count(); ++visual) {
        if (isSectionHidden(logicalIndex(visual)))
            continue;
        if (!sameGroup(visual))
            break;
        last = visual;
    }
    const int left = sectionViewportPosition(logicalIndex(first));
    const int lastLogical = logicalIndex(last);
    const int right = sectionViewportPosition(lastLogical) + sectionSize(lastLogical);
    return QRect(left, rect.top(), right - left, rect.height() / 2);
}

void TQiraFileHeader::drawCell(QPainter *painter, const QRect &rect, int logicalIndex, const QString &text) const
{
    QStyleOptionHeader option;
    initStyleOption(&option);
    option.rect = rect;
    option.section = logicalIndex;
    option.text = text;
    option.textAlignment = Qt::AlignCenter;
    option.position = QStyleOptionHeader::Middle;
    option.sortIndicator = QStyleOptionHeader::None;
    style()->drawControl(QStyle::CE_Header, &option, painter, this);
}

void TQiraFileHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    if (!rect.isValid())
        return;
    const QString title = m_grid->TitleOf(logicalIndex);
    const QString group = GroupOf(title);
    painter->save();
    painter->setClipRect(rect, Qt::IntersectClip);
    QRect lower = rect;
    if (twoLevels()) {
        const int half = rect.height() / 2;
        if (!group.isEmpty()) {
            drawCell(painter, groupRect(logicalIndex, group, rect), logicalIndex, group);
            lower.setTop(rect.top() + half);
        }
    }
    drawCell(painter, lower, logicalIndex, CaptionOf(title));

    const TQiraFileGrid::TSortMarker marker = m_grid->Marker(m_grid->FieldOf(logicalIndex));
    if (marker != TQiraFileGrid::TSortMarker::None) {
        const int size = qMax(6, fontMetrics().height() / 2);
        const QRect arrow(lower.right() - size - 4, lower.center().y() - size / 2, size, size);
        QPainterPath path;
        if (marker == TQiraFileGrid::TSortMarker::Ascending) {
            path.moveTo(arrow.left(), arrow.bottom());
            path.lineTo(arrow.right(), arrow.bottom());
            path.lineTo(arrow.center().x(), arrow.top());
        } else {
            path.moveTo(arrow.left(), arrow.top());
            path.lineTo(arrow.right(), arrow.top());
            path.lineTo(arrow.center().x(), arrow.bottom());
        }
        path.closeSubpath();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->fillPath(path, palette().color(QPalette::ButtonText));
        if (const int number = m_grid->MarkerNumber(logicalIndex)) {
            QFont small = font();
            small.setPointSizeF(small.pointSizeF() * 0.75);
            painter->setFont(small);
            painter->setPen(palette().color(QPalette::ButtonText));
            painter->drawText(QRect(arrow.left() - size - 2, lower.top(), size + 2, lower.height()),
                              Qt::AlignRight | Qt::AlignVCenter, QString::number(number));
        }
    }
    painter->restore();
}

bool TQiraFileHeader::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const int logical = logicalIndexAt(help->pos());
        if (logical < 0) {
            QToolTip::hideText();
            return true;
        }
        QToolTip::showText(help->globalPos(), m_grid->HintOf(logical), this);
        return true;
    }
    return QHeaderView::viewportEvent(event);
}
