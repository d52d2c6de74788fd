#pragma once

#include "zxhttpparser.h"
#include "zxserverconnection.h"

// A client on the HTTP listener: each POST to the protocol's path carries one request
// message; the session is found by the token header, not by the connection.
class TZxHttpServerConnection final : public TZxServerConnection
{
    Q_OBJECT

public:
    TZxHttpServerConnection(QTcpSocket *socket, TZxServerIo &io);

protected:
    void Pump() override;
    void WriteReply(const QByteArray &reply) override;
    int IdleTimeoutMs() const override;

private:
    void respond(int status, const QByteArray &reason, const QByteArray &body, bool keepAlive,
                 const QByteArray &extraHeaders = {});
    // Answers a request refused before the dispatcher, with an error message as body.
    void refuse(int status, const QByteArray &reason, const QString &text, bool keepAlive,
                const QByteArray &extraHeaders = {});

    TZxHttpParser m_parser;
    bool m_keepAlive = true;
};
