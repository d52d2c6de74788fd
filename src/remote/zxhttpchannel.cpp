#include "zxhttpchannel.h"

#include "zxhttpparser.h"
#include "zxremoteerror.h"
#include "zxremotemessage.h"
#include "zxremoteprotocol.h"

void TZxHttpChannel::Open(const QString &host, quint16 port, const TZxChannelLimits &limits)
{
    m_limits = limits;
    m_host = host;
    m_port = port;
    m_session.clear();
    m_socket.Connect(host, port, limits.ConnectTimeoutMs);
    m_open = true;
}

void TZxHttpChannel::Close()
{
    m_socket.Close();
    m_open = false;
    m_session.clear();
}

QByteArray TZxHttpChannel::Exchange(const QByteArray &request)
{
    if (!m_open)
        throw ERemoteConnectionError(QStringLiteral("Нет соединения с сервером %1:%2").arg(m_host).arg(m_port));
    try {
        // A kept-alive connection the server has dropped while we were idle is replaced
        // before anything is sent, so no request is ever sent twice.
        if (m_socket.IsStale())
            m_socket.Connect(m_host, m_port, m_limits.ConnectTimeoutMs);

        QByteArray head = "POST " + ZxHttpPath + " HTTP/1.1\r\nHost: " + m_host.toUtf8() + ':'
                          + QByteArray::number(m_port) + "\r\nContent-Type: " + ZxHttpContentType
                          + "\r\nContent-Length: " + QByteArray::number(request.size())
                          + "\r\nConnection: keep-alive\r\n";
        if (!m_session.isEmpty())
            head += ZxHttpSessionHeader + ": " + m_session.toLatin1() + "\r\n";
        head += "\r\n";
        if (request.size() < 65536) {
            m_socket.Write(head + request, m_limits.CallTimeoutMs);
        } else {
            m_socket.Write(head, m_limits.CallTimeoutMs);
            m_socket.Write(request, m_limits.CallTimeoutMs);
        }

        TZxHttpParser parser(TZxHttpParser::TMode::Response, m_limits.MaxReplySize);
        while (true) {
            parser.Append(m_socket.ReadSome(1024 * 1024, m_limits.CallTimeoutMs));
            const TZxHttpParser::TStep step = parser.Next();
            if (step == TZxHttpParser::TStep::NeedMore)
                continue;
            if (step == TZxHttpParser::TStep::Malformed)
                throw ERemoteProtocolError(QStringLiteral("Неверный ответ HTTP от сервера %1: %2")
                                               .arg(m_socket.PeerText(),
                                                    QString::fromLatin1(parser.ErrorText())));
            if (step == TZxHttpParser::TStep::BodyTooLarge)
                throw ERemoteProtocolError(QStringLiteral("Ответ сервера (%1 байт) превышает предел %2 байт")
                                               .arg(parser.ContentLength())
                                               .arg(m_limits.MaxReplySize));
            break;
        }
        if (!parser.KeepAlive())
            m_socket.Close();
        if (parser.Status() == 200)
            return parser.Body();
        // Refusals outside a call (too large, wrong path) still carry an error message
        // when the server is one of ours.
        if (parser.Header("Content-Type") == ZxHttpContentType) {
            try {
                if (TZxRemoteMessage::Decode(parser.Body()).Kind == TZxMessageKind::Error)
                    return parser.Body();
            } catch (const ERemoteProtocolError &) {
            }
        }
        throw ERemoteProtocolError(QStringLiteral("Сервер %1 ответил HTTP %2 %3")
                                       .arg(m_socket.PeerText())
                                       .arg(parser.Status())
                                       .arg(QString::fromLatin1(parser.Reason())));
    } catch (...) {
        m_socket.Close();
        m_open = false;
        throw;
    }
}
