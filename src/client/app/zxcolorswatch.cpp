#include "zxcolorswatch.h"

#include <QColorDialog>
#include <QPainter>

TZxColorSwatch::Chooser TZxColorSwatch::s_chooser;

TZxColorSwatch::TZxColorSwatch(const QColor &color, QWidget *parent) : QWidget(parent), m_color(color)
{
    setCursor(Qt::PointingHandCursor);
    setFixedSize(sizeHint());
}

void TZxColorSwatch::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
    emit colorChanged(color);
}

void TZxColorSwatch::SetColorChooser(Chooser chooser) { s_chooser = std::move(chooser); }

void TZxColorSwatch::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setBrush(m_color);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
}

void TZxColorSwatch::mousePressEvent(QMouseEvent *)
{
    std::optional<QColor> chosen;
    if (s_chooser) {
        chosen = s_chooser(m_color);
    } else {
        const QColor picked = QColorDialog::getColor(m_color, this);
        if (picked.isValid())
            chosen = picked;
    }
    if (chosen)
        setColor(*chosen);
}

QColor ColorFromStored(qint64 value)
{
    return QColor(int(value & 0xff), int((value >> 8) & 0xff), int((value >> 16) & 0xff));
}

qint64 ColorToStored(const QColor &color)
{
    return qint64(color.blue()) * 65536 + color.green() * 256 + color.red();
}
