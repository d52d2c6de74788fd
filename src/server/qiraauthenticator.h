#pragma once

#include "qirastoretypes.h"
#include "zxauthenticator.h"

class TQiraStore;

// The document server's sign-in check: login and password digest against the store.
class TQiraAuthenticator : public TZxAuthenticator
{
public:
    explicit TQiraAuthenticator(TQiraStore &store) : m_store(store) {}

    // Throws EQiraAuthError with the store's message when the sign-in is refused.
    TZxSessionInfo Authenticate(const QString &userName, const QString &passwordDigest) override;

    // The session record of a connection and the store's view of it.
    static TZxSessionInfo sessionInfo(const TQiraSession &session);
    static TQiraSession storeSession(const TZxSessionInfo &info);

private:
    TQiraStore &m_store;
};
