#include "zxhttpserverconnection.h"

#include "zxdispatcher.h"
#include "zxremoteerror.h"
#include "zxremotemessage.h"
#include "zxserverio.h"

#include <QTcpSocket>

TZxHttpServerConnection::TZxHttpServerConnection(QTcpSocket *socket, TZxServerIo &io)
    : TZxServerConnection(socket, io, QStringLiteral("http")),
      m_parser(TZxHttpParser::TMode::Request, io.Options().MaxRequestSize)
{
}

int TZxHttpServerConnection::IdleTimeoutMs() const { return m_io.Options().KeepAliveTimeoutMs; }

void TZxHttpServerConnection::Pump()
{
    while (CanRead()) {
        if (m_socket->bytesToWrite() > 0)
            return;
        if (m_socket->bytesAvailable() > 0)
            m_parser.Append(m_socket->readAll());
        switch (m_parser.Next()) {
        case TZxHttpParser::TStep::NeedMore:
            ArmTimers(!m_parser.Idle());
            return;
        case TZxHttpParser::TStep::Malformed:
            refuse(m_parser.ErrorStatus(), m_parser.ErrorText(),
                   QStringLiteral("Неверный запрос HTTP: ") + QString::fromLatin1(m_parser.ErrorText()), false);
            return;
        case TZxHttpParser::TStep::BodyTooLarge:
            // The body is skipped as it comes, so a kept-alive connection stays usable.
            refuse(413, "Content Too Large",
                   QStringLiteral("Запрос (%1 байт) превышает предел %2 байт")
                       .arg(m_parser.ContentLength())
                       .arg(m_io.Options().MaxRequestSize),
                   m_parser.KeepAlive());
            continue;
        case TZxHttpParser::TStep::Message:
            if (m_parser.Method() != "POST") {
                refuse(405, "Method Not Allowed", QStringLiteral("Принимаются только запросы POST"),
                       m_parser.KeepAlive(), "Allow: POST\r\n");
                continue;
            }
            if (m_parser.Path() != ZxHttpPath) {
                refuse(404, "Not Found",
                       QStringLiteral("Нет такого адреса: %1").arg(QString::fromLatin1(m_parser.Path())),
                       m_parser.KeepAlive());
                continue;
            }
            m_keepAlive = m_parser.KeepAlive();
            m_origin.Token = QString::fromLatin1(m_parser.Header(ZxHttpSessionHeader));
            Submit(m_parser.Body());
            return;
        }
    }
}

void TZxHttpServerConnection::respond(int status, const QByteArray &reason, const QByteArray &body,
                                      bool keepAlive, const QByteArray &extraHeaders)
{
    const QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason
                            + "\r\nContent-Type: " + ZxHttpContentType
                            + "\r\nContent-Length: " + QByteArray::number(body.size())
                            + "\r\nConnection: " + (keepAlive ? "keep-alive" : "close") + "\r\n"
                            + extraHeaders + "\r\n";
    m_socket->write(head);
    m_socket->write(body);
    if (!keepAlive)
        CloseAfterWrite();
}

void TZxHttpServerConnection::refuse(int status, const QByteArray &reason, const QString &text,
                                     bool keepAlive, const QByteArray &extraHeaders)
{
    m_io.Dispatcher().LogRefusal(m_origin, ZxRemoteClass::ProtocolError, text);
    respond(status, reason, TZxRemoteMessage::MakeError(0, ZxRemoteClass::ProtocolError, text).Encode(),
            keepAlive, extraHeaders);
}

void TZxHttpServerConnection::WriteReply(const QByteArray &reply)
{
    respond(200, "OK", reply, m_keepAlive);
}
