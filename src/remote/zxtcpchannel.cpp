#include "zxtcpchannel.h"

#include "zxremoteerror.h"

#include <QtEndian>

void TZxTcpChannel::Open(const QString &host, quint16 port, const TZxChannelLimits &limits)
{
    m_limits = limits;
    m_socket.Connect(host, port, limits.ConnectTimeoutMs);
}

void TZxTcpChannel::Close() { m_socket.Close(); }

bool TZxTcpChannel::IsOpen() const { return m_socket.IsOpen(); }

QByteArray TZxTcpChannel::Exchange(const QByteArray &request)
{
    QByteArray frame(4, '\0');
    qToBigEndian(quint32(request.size()), frame.data());
    // Small requests go out as one write; a big one is not copied just to add a header.
    if (request.size() < 65536) {
        frame.append(request);
        m_socket.Write(frame, m_limits.CallTimeoutMs);
    } else {
        m_socket.Write(frame, m_limits.CallTimeoutMs);
        m_socket.Write(request, m_limits.CallTimeoutMs);
    }

    const QByteArray head = m_socket.ReadExactly(4, m_limits.CallTimeoutMs);
    const quint32 length = qFromBigEndian<quint32>(head.constData());
    if (length == 0 || qint64(length) > m_limits.MaxReplySize) {
        m_socket.Close();
        throw ERemoteProtocolError(
            length == 0 ? QStringLiteral("Сервер прислал пустой кадр")
                        : QStringLiteral("Ответ сервера (%1 байт) превышает предел %2 байт")
                              .arg(length)
                              .arg(m_limits.MaxReplySize));
    }
    return m_socket.ReadExactly(length, m_limits.CallTimeoutMs);
}
