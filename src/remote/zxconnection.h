#pragma once

#include "zxchannel.h"
#include "zxparams.h"
#include "zxremotemessage.h"

#include <QStringList>

#include <memory>

// The client's connection to a remote server. It is set up by a list of "Key=Value"
// texts (keys match without regard to case):
//   DriverID=DS, Server=<host>, Port=<port, 211 when missing>,
//   Protocol=tcp/ip | http (tcp/ip when missing), User_Name=<login>,
//   Password=<lowercase hexadecimal MD5 digest of the password, or empty>.
// Open signs in; every call then blocks the calling thread, inside the socket and
// without an event loop, until the reply arrives or a timeout passes. Any transport
// failure closes the connection, so that Open can simply be run again.
// A connection belongs to the thread that opens it.
class TZxConnection
{
public:
    TZxConnection();
    ~TZxConnection();
    TZxConnection(const TZxConnection &) = delete;
    TZxConnection &operator=(const TZxConnection &) = delete;

    QStringList &Params() { return m_params; }
    const QStringList &Params() const { return m_params; }
    // The value of the first "Key=..." text with that key, or empty.
    QString ParamValue(const QString &key) const;

    // Does nothing when already open. Raises ERemoteConnectionError, ERemoteTimeout,
    // ERemoteProtocolError, or the server's refusal as EZxError with its class name.
    void Open();
    // Never raises.
    void Close();
    bool Connected() const { return m_connected; }

    int ConnectTimeout() const { return m_limits.ConnectTimeoutMs; }
    void SetConnectTimeout(int ms) { m_limits.ConnectTimeoutMs = ms; }
    // The longest wait without progress during a call.
    int CallTimeout() const { return m_limits.CallTimeoutMs; }
    void SetCallTimeout(int ms) { m_limits.CallTimeoutMs = ms; }
    qint64 MaxRequestSize() const { return m_limits.MaxRequestSize; }
    void SetMaxRequestSize(qint64 bytes) { m_limits.MaxRequestSize = bytes; }
    qint64 MaxReplySize() const { return m_limits.MaxReplySize; }
    void SetMaxReplySize(qint64 bytes) { m_limits.MaxReplySize = bytes; }

    // The server's token for this session; empty while closed.
    const QString &SessionToken() const { return m_session; }

    // Runs one remote method: sends the input and input-output parameters, then stores
    // the returned values, adding parameters the reply names but the list lacks.
    // A server error reply raises EZxError with the server's class name and message and
    // leaves the connection open.
    void Execute(const QString &method, TZxParams &params);

private:
    struct TTarget;
    TTarget target() const;
    // Sends the request and decodes the reply of the expected kind; closes the
    // connection on any failure of the transport or the wire format.
    TZxRemoteMessage exchange(const TZxRemoteMessage &request, TZxMessageKind expected);
    void dropConnection();

    QStringList m_params;
    TZxChannelLimits m_limits;
    std::unique_ptr<TZxChannel> m_channel;
    bool m_connected = false;
    bool m_http = false;
    QString m_session;
    quint64 m_nextId = 1;
};
