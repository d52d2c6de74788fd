#include "zxtcpserverconnection.h"

#include "zxdispatcher.h"
#include "zxremoteerror.h"
#include "zxremotemessage.h"
#include "zxserverio.h"

#include <QTcpSocket>

TZxTcpServerConnection::TZxTcpServerConnection(QTcpSocket *socket, TZxServerIo &io)
    : TZxServerConnection(socket, io, QStringLiteral("tcp")), m_reader(io.Options().MaxRequestSize)
{
}

void TZxTcpServerConnection::Pump()
{
    while (CanRead()) {
        if (m_socket->bytesToWrite() > 0)
            return;
        if (m_socket->bytesAvailable() > 0)
            m_reader.Append(m_socket->readAll());
        QByteArray payload;
        quint32 announced = 0;
        switch (m_reader.Next(payload, announced)) {
        case TZxFrameReader::TStep::NeedMore:
            ArmTimers(!m_reader.Idle());
            return;
        case TZxFrameReader::TStep::Oversized: {
            // The frame's bytes are skipped as they come, so the connection stays usable.
            const QString text = QStringLiteral("Запрос (%1 байт) превышает предел %2 байт")
                                     .arg(announced)
                                     .arg(m_io.Options().MaxRequestSize);
            m_io.Dispatcher().LogRefusal(m_origin, ZxRemoteClass::ProtocolError, text);
            m_socket->write(TZxRemoteMessage::MakeError(0, ZxRemoteClass::ProtocolError, text).EncodeFrame());
            break;
        }
        case TZxFrameReader::TStep::Frame:
            Submit(payload);
            return;
        }
    }
}

void TZxTcpServerConnection::WriteReply(const QByteArray &reply)
{
    m_socket->write(reply);
}
