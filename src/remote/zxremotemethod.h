#pragma once

#include "zxparamdef.h"

#include <QList>
#include <QString>

#include <functional>

class TZxCallContext;

// A registered server method: "ClassName.Name", its parameters and its handler. The
// handler may run on any worker thread, for different clients at the same time; calls
// of one client never overlap.
struct TZxRemoteMethod
{
    using THandler = std::function<void(TZxCallContext &)>;

    QString ClassName;
    QString Name;
    QList<TZxParamDef> Params;
    THandler Handler;

    QString FullName() const { return ClassName + u'.' + Name; }
};
