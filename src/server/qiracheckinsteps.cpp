#include "qiracheckinsteps.h"

#include "qiraerrors.h"

#include <atomic>

namespace {

std::atomic<bool> hooked{false};

QiraCheckInSteps::Hook &hook()
{
    static QiraCheckInSteps::Hook installed;
    return installed;
}

} // namespace

void QiraCheckInSteps::setHook(Hook newHook)
{
    hooked.store(false);
    hook() = std::move(newHook);
    hooked.store(bool(hook()));
}

bool QiraCheckInSteps::fails(TQiraCheckInStep step)
{
    return hooked.load(std::memory_order_relaxed) && hook()(step);
}

void QiraCheckInSteps::check(TQiraCheckInStep step)
{
    if (fails(step))
        throw EQiraStoreError(QStringLiteral("Ошибка базы данных на шаге %1").arg(name(step)));
}

void QiraCheckInSteps::reach(TQiraCheckInStep step) { fails(step); }

QString QiraCheckInSteps::name(TQiraCheckInStep step)
{
    switch (step) {
    case TQiraCheckInStep::ChangeOpen: return QStringLiteral("ChangeOpen");
    case TQiraCheckInStep::TempWrite: return QStringLiteral("TempWrite");
    case TQiraCheckInStep::UploadTake: return QStringLiteral("UploadTake");
    case TQiraCheckInStep::VersionBegin: return QStringLiteral("VersionBegin");
    case TQiraCheckInStep::ContentSync: return QStringLiteral("ContentSync");
    case TQiraCheckInStep::ContentRename: return QStringLiteral("ContentRename");
    case TQiraCheckInStep::ShardSync: return QStringLiteral("ShardSync");
    case TQiraCheckInStep::VersionInsert: return QStringLiteral("VersionInsert");
    case TQiraCheckInStep::FileUpdate: return QStringLiteral("FileUpdate");
    case TQiraCheckInStep::VersionCommit: return QStringLiteral("VersionCommit");
    case TQiraCheckInStep::Reply: return QStringLiteral("Reply");
    }
    return QString::number(int(step));
}
