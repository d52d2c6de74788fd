#pragma once

#include "zxframereader.h"
#include "zxserverconnection.h"

// A client on the TCP listener: length-prefixed frames in both directions; the
// connection is the session.
class TZxTcpServerConnection final : public TZxServerConnection
{
    Q_OBJECT

public:
    TZxTcpServerConnection(QTcpSocket *socket, TZxServerIo &io);

protected:
    void Pump() override;
    void WriteReply(const QByteArray &reply) override;
    bool Framed() const override { return true; }

private:
    TZxFrameReader m_reader;
};
