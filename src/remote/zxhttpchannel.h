#pragma once

#include "zxblockingsocket.h"
#include "zxchannel.h"

// The HTTP transport: each message is the body of one POST and its reply the body of
// the answer, over a kept-alive connection that is opened again when the server has
// closed it between calls. The session token travels in the "X-Qira-Session" header.
class TZxHttpChannel final : public TZxChannel
{
public:
    void Open(const QString &host, quint16 port, const TZxChannelLimits &limits) override;
    void SetLimits(const TZxChannelLimits &limits) override { m_limits = limits; }
    void Close() override;
    bool IsOpen() const override { return m_open; }
    void SetSession(const QString &token) override { m_session = token; }
    QByteArray Exchange(const QByteArray &request) override;

private:
    TZxBlockingSocket m_socket;
    TZxChannelLimits m_limits;
    QString m_host;
    quint16 m_port = 0;
    QString m_session;
    bool m_open = false;
};
