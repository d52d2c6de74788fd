#include "zxform.h"

#include "settingskeeper.h"
#include "zxerror.h"
#include "zxinifile.h"
#include "zxapplication.h"
#include "zxstyles.h"

#include <QApplication>
#include <QDebug>
#include <QEvent>
#include <QScreen>
#include <QShowEvent>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {
const QString FormSection = QStringLiteral("FormSettings");
const QString BoundsGroup = QStringLiteral("Bounds");
const QString TrayBalloon = QStringLiteral(
    "Приложение сворачивается в трей. Двойной клик на иконке приложения возле часов развернет обратно окно.");
} // namespace

Tzxforms::Tzxforms(const QString &settingId, QWidget *parent)
    : QDialog(parent, Qt::Window), m_settingId(settingId)
{
    setObjectName(settingId);
    setAttribute(Qt::WA_DeleteOnClose);
    QFont designFont(QStringLiteral("Tahoma"));
    designFont.setPixelSize(11);
    designFont.setStyleHint(QFont::SansSerif);
    setFont(designFont);
    SetDesignedSize(920, 508);
}

Tzxforms::~Tzxforms()
{
    // A destructor must not throw: a settings file that cannot be written loses only
    // this window's bounds, so the failure is logged.
    try {
        SaveSettings();
    } catch (const EZxError &error) {
        qWarning().noquote() << "Window bounds not saved:" << error.message();
    }
}

void Tzxforms::SetDesignedSize(int width, int height)
{
    resize(width, height);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width / 2, height / 2));
    }
}

int Tzxforms::exec()
{
    const bool freeOnClose = testAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_DeleteOnClose, false);
    const int result = QDialog::exec();
    if (freeOnClose)
        deleteLater();
    return result;
}

void Tzxforms::FormCreate()
{
    TZxStyles::InitStyle();
    m_tiApp = new QSystemTrayIcon(ZxAppIcon(), this);
    m_tiApp->setToolTip(ZxApplicationTitle);
    connect(m_tiApp, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
            tiAppDblClick();
    });
}

void Tzxforms::FormShow() { LoadSettings(); }

void Tzxforms::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void Tzxforms::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && !m_hiddenInTray && m_tiApp
        && QSystemTrayIcon::isSystemTrayAvailable()) {
        // Leave the state change first; hiding inside it confuses some window managers.
        QTimer::singleShot(0, this, &Tzxforms::ApplicationEventsMinimize);
    }
}

void Tzxforms::ApplicationEventsMinimize()
{
    if (!m_tiApp || !QSystemTrayIcon::isSystemTrayAvailable())
        return; // without a tray the window stays on the task bar, never lost
    m_hiddenInTray = true;
    hide();
    setWindowState(windowState() | Qt::WindowMinimized);
    m_tiApp->show();
    m_tiApp->showMessage(ZxApplicationTitle, TrayBalloon,
                         QSystemTrayIcon::Information);
}

void Tzxforms::tiAppDblClick()
{
    if (m_tiApp)
        m_tiApp->hide();
    m_hiddenInTray = false;
    show();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}

void Tzxforms::LoadSettings()
{
    ReadSettings(TSettingsKeeper::fromJson(ReadSettingsEntry(FormSection, GetSeettingID())));
}

void Tzxforms::SaveSettings()
{
    TSettingsKeeper keeper;
    WriteSettings(keeper);
    WriteSettingsEntry(FormSection, GetSeettingID(), keeper.toJson());
}

void Tzxforms::ReadSettings(const TSettingsKeeper &keeper)
{
    const TSettingsKeeper *bounds = keeper.TryGetSubsettingsValue(BoundsGroup);
    // Moving a maximised window would take it out of that state.
    if (!bounds || (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    // Bounds are the outer frame; the frame's own margins are those of this window now.
    const QSize margins = frameGeometry().size() - size();
    QPoint position = pos();
    QSize outer = frameGeometry().size();
    if (const auto left = bounds->TryGetIntegerValue(QStringLiteral("Left")))
        position.setX(int(*left));
    if (const auto top = bounds->TryGetIntegerValue(QStringLiteral("Top")))
        position.setY(int(*top));
    if (const auto width = bounds->TryGetIntegerValue(QStringLiteral("Width")))
        outer.setWidth(int(*width));
    if (const auto height = bounds->TryGetIntegerValue(QStringLiteral("Height")))
        outer.setHeight(int(*height));
    move(position);
    resize(outer - margins);
}

void Tzxforms::WriteSettings(TSettingsKeeper &keeper) const
{
    if (isMaximized())
        return;
    const QRect outer = frameGeometry();
    TSettingsKeeper bounds;
    bounds.addInteger(QStringLiteral("Left"), outer.x());
    bounds.addInteger(QStringLiteral("Top"), outer.y());
    bounds.addInteger(QStringLiteral("Width"), outer.width());
    bounds.addInteger(QStringLiteral("Height"), outer.height());
    keeper.addGroup(BoundsGroup, std::move(bounds));
}
