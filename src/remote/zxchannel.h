#pragma once

#include "zxremoteprotocol.h"

#include <QByteArray>
#include <QString>

// The limits a client transport works within.
struct TZxChannelLimits
{
    int ConnectTimeoutMs = 15000;
    // The longest wait without progress while sending a request or reading a reply.
    int CallTimeoutMs = 120000;
    qint64 MaxRequestSize = ZxDefaultMaxRequestSize;
    qint64 MaxReplySize = ZxDefaultMaxReplySize;
};

// A client transport: carries one request message at a time and brings back the reply's
// CBOR bytes. Transport failures raise ERemoteConnectionError, ERemoteTimeout or
// ERemoteProtocolError and leave the channel closed.
class TZxChannel
{
public:
    virtual ~TZxChannel() = default;
    virtual void Open(const QString &host, quint16 port, const TZxChannelLimits &limits) = 0;
    virtual void SetLimits(const TZxChannelLimits &limits) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // The session token the server gave at connect; HTTP carries it with every request.
    virtual void SetSession(const QString &token) = 0;
    virtual QByteArray Exchange(const QByteArray &request) = 0;
};
