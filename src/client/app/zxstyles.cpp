#include "zxstyles.h"

#include "zxbase.h"
#include "zxmess.h"
#include "zxroot.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace {

struct PaletteStyle
{
    const char *name;
    QRgb window, base, alternate, text, button, highlight, highlightedText;
};

// The project's own looks, on top of the Fusion style.
constexpr PaletteStyle OwnStyles[] = {
    {"Amakrits", 0xeef2ee, 0xffffff, 0xe4ece4, 0x1d2b1d, 0xdbe6da, 0x2f7d4f, 0xffffff},
    {"Carbon", 0x2b2d30, 0x1e1f22, 0x26282b, 0xdfe1e5, 0x3c3f41, 0x2675bf, 0xffffff},
    {"Iceberg Classico", 0xe9f1f7, 0xffffff, 0xdde8f1, 0x18324a, 0xd3e2ee, 0x3a7bbf, 0xffffff},
    {"Ruby Graphite", 0x3a3536, 0x2c2829, 0x343031, 0xf0e6e7, 0x4a4344, 0xa8323e, 0xffffff},
    {"Light", 0xf5f5f5, 0xffffff, 0xeeeeee, 0x202020, 0xe8e8e8, 0x3d7edb, 0xffffff},
};

QString g_activeName;

QPalette paletteOf(const PaletteStyle &style)
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(style.window));
    palette.setColor(QPalette::WindowText, QColor(style.text));
    palette.setColor(QPalette::Base, QColor(style.base));
    palette.setColor(QPalette::AlternateBase, QColor(style.alternate));
    palette.setColor(QPalette::Text, QColor(style.text));
    palette.setColor(QPalette::Button, QColor(style.button));
    palette.setColor(QPalette::ButtonText, QColor(style.text));
    palette.setColor(QPalette::ToolTipBase, QColor(style.base));
    palette.setColor(QPalette::ToolTipText, QColor(style.text));
    palette.setColor(QPalette::Highlight, QColor(style.highlight));
    palette.setColor(QPalette::HighlightedText, QColor(style.highlightedText));
    palette.setColor(QPalette::PlaceholderText, QColor(style.text).lighter(160));
    return palette;
}

} // namespace

QStringList TZxStyles::StyleNames()
{
    QStringList names;
    for (const PaletteStyle &style : OwnStyles)
        names.append(QString::fromLatin1(style.name));
    for (const QString &key : QStyleFactory::keys()) {
        if (!names.contains(key, Qt::CaseInsensitive))
            names.append(key);
    }
    return names;
}

QString TZxStyles::ActiveStyleName()
{
    if (g_activeName.isEmpty() && qApp)
        return qApp->style()->name();
    return g_activeName;
}

bool TZxStyles::SetActiveStyle(const QString &name)
{
    const QString wanted = ZxTrim(name);
    for (const PaletteStyle &style : OwnStyles) {
        if (wanted.compare(QString::fromLatin1(style.name), Qt::CaseInsensitive) == 0) {
            QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
            QApplication::setPalette(paletteOf(style));
            g_activeName = QString::fromLatin1(style.name);
            return true;
        }
    }
    for (const QString &key : QStyleFactory::keys()) {
        if (wanted.compare(key, Qt::CaseInsensitive) == 0) {
            QStyle *qtStyle = QStyleFactory::create(key);
            QApplication::setStyle(qtStyle);
            QApplication::setPalette(qtStyle->standardPalette());
            g_activeName = key;
            return true;
        }
    }
    return false;
}

void TZxStyles::ActivateOrReport(const QString &name)
{
    const QString wanted = ZxTrim(name);
    if (ZxTrim(ActiveStyleName()) == wanted)
        return;
    if (!SetActiveStyle(wanted))
        ErrorBox(QStringLiteral("Стиль \"%1\" не найден.").arg(wanted));
}

void TZxStyles::InitStyle() { ActivateOrReport(Tzxroot::Instance()->CurrentDesign); }

QIcon ZxAppIcon()
{
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x2f7d4f));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    painter.setPen(Qt::white);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(40);
    painter.setFont(font);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("Q"));
    painter.end();
    return QIcon(pixmap);
}
