#include "zxserverconnection.h"

#include "zxdispatcher.h"
#include "zxremoteerror.h"
#include "zxserverio.h"

#include <QTcpSocket>

namespace {
// Qt stops reading from the system once this much waits unread, which is what makes a
// paused connection push back on its client.
constexpr qint64 ReadBufferSize = 1024 * 1024;
} // namespace

TZxServerConnection::TZxServerConnection(QTcpSocket *socket, TZxServerIo &io, const QString &transport)
    : m_socket(socket), m_io(io)
{
    m_socket->setParent(this);
    m_origin.Transport = transport;
    m_origin.Peer = socket->peerAddress().toString() + u':' + QString::number(socket->peerPort());
    m_origin.MaxReplySize = io.Options().MaxReplySize;
    m_stallTimer.setSingleShot(true);
    m_idleTimer.setSingleShot(true);
}

TZxServerConnection::~TZxServerConnection() { m_io.Forget(this); }

void TZxServerConnection::Start()
{
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket->setReadBufferSize(ReadBufferSize);
    connect(m_socket, &QTcpSocket::readyRead, this, [this] {
        if (CanRead())
            Pump();
    });
    connect(m_socket, &QTcpSocket::bytesWritten, this, [this] {
        if (CanRead() && m_socket->bytesToWrite() == 0)
            Pump();
    });
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        m_closing = true;
        finish();
    });
    connect(&m_stallTimer, &QTimer::timeout, this, [this] {
        m_io.Dispatcher().LogRefusal(m_origin, ZxRemoteClass::ProtocolError,
                                     QStringLiteral("Сообщение не дошло целиком, соединение закрыто"));
        Abort();
    });
    connect(&m_idleTimer, &QTimer::timeout, this, [this] { CloseAfterWrite(); });
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        m_closing = true;
        finish();
        return;
    }
    Pump();
}

void TZxServerConnection::Submit(const QByteArray &request)
{
    m_busy = true;
    m_stallTimer.stop();
    m_idleTimer.stop();
    m_io.Run(this, request, m_origin, Framed());
}

void TZxServerConnection::Deliver(const QByteArray &reply, const TZxRequestOrigin &origin)
{
    m_busy = false;
    m_origin.Session = origin.Session;
    if (m_closing) {
        finish();
        return;
    }
    WriteReply(reply);
    if (CanRead())
        Pump();
}

void TZxServerConnection::ArmTimers(bool insideMessage)
{
    if (insideMessage) {
        m_idleTimer.stop();
        m_stallTimer.start(m_io.Options().StallTimeoutMs);
        return;
    }
    m_stallTimer.stop();
    if (IdleTimeoutMs() > 0)
        m_idleTimer.start(IdleTimeoutMs());
}

void TZxServerConnection::CloseAfterWrite()
{
    m_closing = true;
    m_stallTimer.stop();
    m_idleTimer.stop();
    m_socket->disconnectFromHost();
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        finish();
}

void TZxServerConnection::Abort()
{
    m_closing = true;
    m_stallTimer.stop();
    m_idleTimer.stop();
    m_socket->abort();
    finish();
}

void TZxServerConnection::Shutdown() { Abort(); }

void TZxServerConnection::finish()
{
    if (m_busy || m_finished)
        return;
    m_finished = true;
    m_stallTimer.stop();
    m_idleTimer.stop();
    deleteLater();
}
