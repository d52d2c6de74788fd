#pragma once

#include "qirainfo.h"
#include "zxversion.h"

#include <QDateTime>
#include <functional>
#include <memory>

class TSettingsKeeper;

// The application root: one per process, created before any window and alive until the
// end of the process. Reachable through Tzxroot::Instance().
class Tzxroot
{
public:
    Tzxroot();
    virtual ~Tzxroot();
    Tzxroot(const Tzxroot &) = delete;
    Tzxroot &operator=(const Tzxroot &) = delete;

    static Tzxroot *Instance();

    QString CurrentLang;
    QString CurrentDesign;
    std::function<QDateTime()> GetNowFunc;
    TZxSessionInfo Sess;
    const std::unique_ptr<Tzxversion> Ver;

    void Init();
    void Destr();

    void LoadSettings();
    void SaveSettings();
    virtual void ReadSettings(const TSettingsKeeper &keeper);
    virtual void WriteSettings(TSettingsKeeper &keeper);
    void ReadBoundsSettings(const TSettingsKeeper &boundsSets);
    virtual QString GetSeettingID() const;

    QDateTime GetNow() const;
    bool IsAdmin() const;
    static QString GetOSApp();

private:
    static Tzxroot *s_instance;
};
