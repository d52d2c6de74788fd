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

        // The head is read here, the body straight into one buffer of its announced size.
        TZxHttpParser parser(TZxHttpParser::TMode::Response, m_limits.MaxReplySize);
        QByteArray data;
        qsizetype headEnd = -1;
        while ((headEnd = data.indexOf("\r\n\r\n")) < 0) {
            if (data.size() > ZxHttpMaxHead)
                throw ERemoteProtocolError(QStringLiteral("Неверный ответ HTTP от сервера %1: слишком длинный заголовок")
                                               .arg(m_socket.PeerText()));
            m_socket.ReadInto(data, 65536, m_limits.CallTimeoutMs);
        }
        const TZxHttpParser::TStep step = parser.ParseHead(data.left(headEnd));
        if (step == TZxHttpParser::TStep::Malformed)
            throw ERemoteProtocolError(QStringLiteral("Неверный ответ HTTP от сервера %1: %2")
                                           .arg(m_socket.PeerText(), QString::fromLatin1(parser.ErrorText())));
        if (step == TZxHttpParser::TStep::BodyTooLarge)
            throw ERemoteProtocolError(QStringLiteral("Ответ сервера (%1 байт) превышает предел %2 байт")
                                           .arg(parser.ContentLength())
                                           .arg(m_limits.MaxReplySize));
        const qint64 length = parser.ContentLength();
        QByteArray body;
        body.reserve(qsizetype(length));
        body.append(data.constData() + headEnd + 4, data.size() - headEnd - 4);
        data.clear();
        while (body.size() < length)
            m_socket.ReadInto(body, length - body.size(), m_limits.CallTimeoutMs);
        if (body.size() > length)
            throw ERemoteProtocolError(QStringLiteral("Сервер %1 прислал больше, чем объявил в Content-Length")
                                           .arg(m_socket.PeerText()));
        if (!parser.KeepAlive())
            m_socket.Close();
        if (parser.Status() == 200)
            return body;
        // Refusals outside a call (too large, wrong path) still carry an error message
        // when the server is one of ours.
        if (parser.Header("Content-Type") == ZxHttpContentType) {
            try {
                if (TZxRemoteMessage::Decode(body).Kind == TZxMessageKind::Error)
                    return body;
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
