#pragma once

#include "zxcalllog.h"
#include "zxremotemethod.h"
#include "zxrequestorigin.h"

#include <QByteArray>
#include <QHash>

#include <functional>
#include <memory>
#include <mutex>

class TZxAuthenticator;
class TZxRemoteMessage;
class TZxServerSession;

// The server side of the remote protocol without the network: the registered methods,
// the sign-in check, the sessions, and the handling of one request message. Methods,
// the authenticator and the log are set up before serving starts; Handle is then called
// from many worker threads at once.
class TZxDispatcher
{
public:
    TZxDispatcher();
    ~TZxDispatcher();
    TZxDispatcher(const TZxDispatcher &) = delete;
    TZxDispatcher &operator=(const TZxDispatcher &) = delete;

    // Registers "className.methodName". Raises EZxError for a method registered twice,
    // two parameters with one name, or a result not named "ReturnValue".
    void AddMethod(const QString &className, const QString &methodName,
                   const QList<TZxParamDef> &params, TZxRemoteMethod::THandler handler);
    bool HasMethod(const QString &fullName) const { return m_methods.contains(fullName); }

    // Not owned. Without one every connect is refused.
    void SetAuthenticator(TZxAuthenticator *authenticator) { m_authenticator = authenticator; }
    // Called once per request on the thread that handled it.
    void SetCallLog(std::function<void(const TZxCallLog &)> log) { m_log = std::move(log); }

    // Handles one request message and returns the encoded reply, as a TCP frame (with
    // its 4-byte length) when framed is set. Never raises: every failure becomes an
    // error reply.
    QByteArray Handle(const QByteArray &request, TZxRequestOrigin &origin, bool framed = false);
    // Logs a request a transport refused before it could be read.
    void LogRefusal(const TZxRequestOrigin &origin, const QString &className, const QString &message);

    // Ends HTTP sessions unused for at least idleMs; returns how many.
    int ExpireIdleSessions(qint64 idleMs);
    int HttpSessionCount() const;

private:
    TZxRemoteMessage connect(const TZxRemoteMessage &request, TZxRequestOrigin &origin);
    TZxRemoteMessage call(const TZxRemoteMessage &request, TZxRequestOrigin &origin, TZxCallLog &log);
    TZxRemoteMessage disconnect(const TZxRemoteMessage &request, TZxRequestOrigin &origin);
    std::shared_ptr<TZxServerSession> enterSession(const TZxRequestOrigin &origin);
    QByteArray encode(TZxRemoteMessage &reply, bool framed, qint64 maxReplySize);
    void writeLog(const TZxCallLog &log);

    QHash<QString, TZxRemoteMethod> m_methods;
    TZxAuthenticator *m_authenticator = nullptr;
    std::function<void(const TZxCallLog &)> m_log;
    mutable std::mutex m_sessionsLock;
    QHash<QString, std::shared_ptr<TZxServerSession>> m_sessions;
};
