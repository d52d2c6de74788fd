#include "qiraauthenticator.h"

#include "qirastore.h"

TZxSessionInfo TQiraAuthenticator::Authenticate(const QString &userName, const QString &passwordDigest)
{
    return sessionInfo(m_store.signIn(userName, passwordDigest));
}

TZxSessionInfo TQiraAuthenticator::sessionInfo(const TQiraSession &session)
{
    TZxSessionInfo info;
    info.Login = session.login;
    info.UserID = session.userId;
    info.RoleID = session.roleId;
    info.RoleName = session.roleName;
    info.SessionStart = session.signedInAt;
    return info;
}

TQiraSession TQiraAuthenticator::storeSession(const TZxSessionInfo &info)
{
    TQiraSession session;
    session.login = info.Login;
    session.userId = info.UserID;
    session.roleId = info.RoleID;
    session.roleName = info.RoleName;
    session.signedInAt = info.SessionStart;
    return session;
}
