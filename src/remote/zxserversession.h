#pragma once

#include "qirainfo.h"
#include "zxconnectionstate.h"

#include <QString>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <typeindex>

// One signed-in client on the server: its session record, the states its methods keep,
// and the lock that lets only one of its calls run at a time (over HTTP a client could
// otherwise send two at once on two connections).
class TZxServerSession
{
public:
    TZxServerSession(QString token, QString userName, TZxSessionInfo info, QString transport);

    const QString &Token() const { return m_token; }
    // The login the client connected with.
    const QString &UserName() const { return m_userName; }
    const QString &Transport() const { return m_transport; }

    // Only while holding CallLock().
    TZxSessionInfo &Info() { return m_info; }
    TZxConnectionState *FindState(std::type_index type) const;
    TZxConnectionState &PutState(std::type_index type, std::unique_ptr<TZxConnectionState> state);
    void DropState(std::type_index type);

    std::mutex &CallLock() { return m_callLock; }

    // Idle tracking for the expiry of HTTP sessions.
    void Touch();
    qint64 IdleMs() const;
    void Enter() { ++m_inUse; }
    void Leave() { --m_inUse; }
    bool InUse() const { return m_inUse.load() > 0; }

private:
    const QString m_token;
    const QString m_userName;
    const QString m_transport;
    TZxSessionInfo m_info;
    std::map<std::type_index, std::unique_ptr<TZxConnectionState>> m_states;
    std::mutex m_callLock;
    std::atomic<qint64> m_lastUse;
    std::atomic<int> m_inUse{0};
};
