#include "zxroot.h"

#include "settingskeeper.h"
#include "zxinifile.h"

#include <QSysInfo>

Tzxroot *Tzxroot::s_instance = nullptr;

namespace {
const QString RootSection = QStringLiteral("App");
const QString RootGroup = QStringLiteral("App");
} // namespace

Tzxroot::Tzxroot() : Ver(std::make_unique<Tzxversion>())
{
    Q_ASSERT(!s_instance);
    s_instance = this;
}

Tzxroot::~Tzxroot()
{
    if (s_instance == this)
        s_instance = nullptr;
}

Tzxroot *Tzxroot::Instance() { return s_instance; }

void Tzxroot::Init()
{
    CurrentLang = QStringLiteral("Ru");
    CurrentDesign = QStringLiteral("Amakrits");
    LoadSettings();
}

void Tzxroot::Destr() { SaveSettings(); }

void Tzxroot::LoadSettings()
{
    ReadSettings(TSettingsKeeper::fromJson(ReadSettingsEntry(RootSection, GetSeettingID())));
}

void Tzxroot::SaveSettings()
{
    TSettingsKeeper keeper;
    WriteSettings(keeper);
    WriteSettingsEntry(RootSection, GetSeettingID(), keeper.toJson());
}

void Tzxroot::ReadSettings(const TSettingsKeeper &keeper)
{
    if (const TSettingsKeeper *group = keeper.TryGetSubsettingsValue(RootGroup))
        ReadBoundsSettings(*group);
}

void Tzxroot::WriteSettings(TSettingsKeeper &keeper)
{
    TSettingsKeeper group;
    group.addText(QStringLiteral("CurrentLang"), CurrentLang);
    group.addText(QStringLiteral("CurrentDesign"), CurrentDesign);
    keeper.addGroup(RootGroup, std::move(group));
}

void Tzxroot::ReadBoundsSettings(const TSettingsKeeper &boundsSets)
{
    if (const auto lang = boundsSets.TryGetStringValue(QStringLiteral("CurrentLang")))
        CurrentLang = *lang;
    if (const auto design = boundsSets.TryGetStringValue(QStringLiteral("CurrentDesign")))
        CurrentDesign = *design;
}

QString Tzxroot::GetSeettingID() const { return QStringLiteral("Tzxroot"); }

QDateTime Tzxroot::GetNow() const
{
    return GetNowFunc ? GetNowFunc() : QDateTime::currentDateTime();
}

bool Tzxroot::IsAdmin() const
{
    return Sess.RoleID == QStringLiteral("-1") || Sess.RoleID == QStringLiteral("1");
}

QString Tzxroot::GetOSApp()
{
    const QString bits = QSysInfo::WordSize == 64 ? QStringLiteral("64") : QStringLiteral("32");
#if defined(Q_OS_WIN)
    return QStringLiteral("win") + bits;
#elif defined(Q_OS_LINUX)
    return QStringLiteral("linux") + bits;
#else
    return QSysInfo::kernelType() + bits;
#endif
}
