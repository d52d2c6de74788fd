#pragma once

#include "zxconnectionstate.h"
#include "zxparams.h"
#include "zxserversession.h"

#include <type_traits>
#include <typeinfo>

// What a server method's handler works with: the parameters (inputs filled in, outputs
// and "ReturnValue" to be set by name), the client's session record, and the states the
// client's calls keep. A handler may run on any worker thread; calls of one client are
// serialised, so the session and its states need no locking of their own.
class TZxCallContext
{
public:
    TZxCallContext(QString method, TZxParams &params, TZxServerSession &session, QString peer)
        : m_method(std::move(method)), m_params(params), m_session(session), m_peer(std::move(peer))
    {
    }

    const QString &Method() const { return m_method; }
    TZxParams &Params() { return m_params; }
    TZxParam &Param(const QString &name) { return m_params.ParamByName(name); }
    // The record the authenticator returned at connect; changes stay for later calls.
    TZxSessionInfo &Session() { return m_session.Info(); }
    const QString &UserName() const { return m_session.UserName(); }
    const QString &Peer() const { return m_peer; }
    // "tcp" or "http": the transport the client signed in by.
    const QString &Transport() const { return m_session.Transport(); }

    // The client's state of kind T, created on first use.
    template <class T>
    T &State()
    {
        static_assert(std::is_base_of_v<TZxConnectionState, T>);
        TZxConnectionState *state = m_session.FindState(typeid(T));
        if (!state)
            state = &m_session.PutState(typeid(T), std::make_unique<T>());
        return static_cast<T &>(*state);
    }
    template <class T>
    void DropState()
    {
        m_session.DropState(typeid(T));
    }

private:
    QString m_method;
    TZxParams &m_params;
    TZxServerSession &m_session;
    QString m_peer;
};
