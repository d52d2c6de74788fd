#include "zxtreeimages.h"

#include <QPainter>
#include <QPainterPath>

namespace {

enum class Look { Closed, Selected, Open };
enum class Badge { None, New, Deleted, Rights };

struct Palette
{
    QColor body;
    QColor front;
    QColor edge;
};

Palette paletteFor(Badge badge, Look look)
{
    if (badge == Badge::Deleted)
        return {QColor(0xb4, 0xb4, 0xb4), QColor(0xd2, 0xd2, 0xd2), QColor(0x78, 0x78, 0x78)};
    if (look == Look::Selected)
        return {QColor(0xf0, 0xa8, 0x20), QColor(0xff, 0xcc, 0x4d), QColor(0x9a, 0x5c, 0x00)};
    return {QColor(0xe8, 0xb8, 0x3a), QColor(0xfb, 0xd8, 0x6a), QColor(0x9a, 0x6c, 0x10)};
}

// A folder on a 16 x 16 grid, scaled to the image size.
void drawFolder(QPainter &p, Look look, const Palette &colors)
{
    p.setPen(QPen(colors.edge, 0.8));
    QPainterPath back;
    back.moveTo(1.5, 3.5);
    back.lineTo(6, 3.5);
    back.lineTo(7.5, 5);
    back.lineTo(14.5, 5);
    back.lineTo(14.5, 13.5);
    back.lineTo(1.5, 13.5);
    back.closeSubpath();
    p.setBrush(colors.body);
    p.drawPath(back);
    p.setBrush(colors.front);
    if (look == Look::Open) {
        // The front leaf tilts open.
        QPainterPath leaf;
        leaf.moveTo(1.5, 13.5);
        leaf.lineTo(4, 7.5);
        leaf.lineTo(15.5, 7.5);
        leaf.lineTo(13.5, 13.5);
        leaf.closeSubpath();
        p.drawPath(leaf);
    } else {
        p.drawRect(QRectF(1.5, 6.5, 13, 7));
    }
    if (look == Look::Selected) {
        // A blue mark on the leaf tells the current branch apart also without colour.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x1f, 0x5f, 0xc8));
        p.drawEllipse(QRectF(6, 8, 4, 4));
    }
}

void drawBadge(QPainter &p, Badge badge)
{
    switch (badge) {
    case Badge::None:
        return;
    case Badge::New: {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x2e, 0x9e, 0x3a));
        p.drawEllipse(QRectF(9, 0, 7, 7));
        p.setPen(QPen(Qt::white, 1.4));
        p.drawLine(QPointF(12.5, 1.5), QPointF(12.5, 5.5));
        p.drawLine(QPointF(10.5, 3.5), QPointF(14.5, 3.5));
        return;
    }
    case Badge::Deleted: {
        p.setPen(QPen(QColor(0xd0, 0x20, 0x20), 2.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(9.5, 8.5), QPointF(14.5, 13.5));
        p.drawLine(QPointF(14.5, 8.5), QPointF(9.5, 13.5));
        return;
    }
    case Badge::Rights: {
        // A small padlock.
        p.setPen(QPen(QColor(0x1c, 0x3f, 0x7a), 1.1));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(10.5, 6.5, 4, 5), 0, 180 * 16);
        p.setBrush(QColor(0x2f, 0x6b, 0xc4));
        p.drawRect(QRectF(9.5, 9.5, 6, 5));
        return;
    }
    }
}

QPixmap drawImage(int size, Look look, Badge badge)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    drawFolder(p, look, paletteFor(badge, look));
    drawBadge(p, badge);
    return pixmap;
}

} // namespace

TZxTreeImages::TZxTreeImages(int size) : m_size(size)
{
    m_pixmaps.append(drawImage(size, Look::Closed, Badge::New));
    for (const Badge badge : {Badge::None, Badge::Deleted, Badge::Rights}) {
        for (const Look look : {Look::Closed, Look::Selected, Look::Open})
            m_pixmaps.append(drawImage(size, look, badge));
    }
    for (const QPixmap &pixmap : m_pixmaps) {
        QIcon icon;
        // The same picture in every mode: the view must not tint the selected image.
        for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Selected, QIcon::Active})
            icon.addPixmap(pixmap, mode);
        m_icons.append(icon);
    }
}

QPixmap TZxTreeImages::Pixmap(int index) const
{
    return index >= 0 && index < m_pixmaps.size() ? m_pixmaps.at(index) : QPixmap();
}

QIcon TZxTreeImages::Icon(int index) const
{
    return index >= 0 && index < m_icons.size() ? m_icons.at(index) : QIcon();
}
