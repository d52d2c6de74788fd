#pragma once

#include "qirainfo.h"

#include <QString>

// Decides who may connect; the server's sign-in check implements it. Authenticate runs
// on a worker thread, possibly for several clients at once, so it must be thread-safe.
class TZxAuthenticator
{
public:
    virtual ~TZxAuthenticator() = default;
    // Returns the session record of an accepted sign-in; refuses by raising EZxError,
    // whose class name and message the client receives.
    virtual TZxSessionInfo Authenticate(const QString &userName, const QString &passwordDigest) = 0;
};
