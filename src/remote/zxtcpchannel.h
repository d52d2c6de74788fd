#pragma once

#include "zxblockingsocket.h"
#include "zxchannel.h"

// The TCP transport: one persistent connection; each message is a frame of a 4-byte
// big-endian length and the CBOR value.
class TZxTcpChannel final : public TZxChannel
{
public:
    void Open(const QString &host, quint16 port, const TZxChannelLimits &limits) override;
    void SetLimits(const TZxChannelLimits &limits) override { m_limits = limits; }
    void Close() override;
    bool IsOpen() const override;
    void SetSession(const QString &) override {}
    QByteArray Exchange(const QByteArray &request) override;

private:
    TZxBlockingSocket m_socket;
    TZxChannelLimits m_limits;
};
