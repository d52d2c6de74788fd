#include "zxblockingsocket.h"

#include "zxremoteerror.h"

#include <QTcpSocket>

TZxBlockingSocket::TZxBlockingSocket() = default;

TZxBlockingSocket::~TZxBlockingSocket() { Close(); }

QString TZxBlockingSocket::PeerText() const
{
    return m_host + u':' + QString::number(m_port);
}

void TZxBlockingSocket::Connect(const QString &host, quint16 port, int timeoutMs)
{
    Close();
    m_host = host;
    m_port = port;
    m_socket = std::make_unique<QTcpSocket>();
    m_socket->connectToHost(host, port);
    if (!m_socket->waitForConnected(timeoutMs)) {
        const bool timedOut = m_socket->error() == QAbstractSocket::SocketTimeoutError;
        const QString reason = m_socket->errorString();
        Close();
        if (timedOut)
            throw ERemoteTimeout(QStringLiteral("Сервер %1 не ответил на подключение за %2 мс")
                                     .arg(PeerText())
                                     .arg(timeoutMs));
        throw ERemoteConnectionError(
            QStringLiteral("Не удалось подключиться к серверу %1: %2").arg(PeerText(), reason));
    }
    // Requests and replies are written whole; waiting to merge them only adds latency.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

void TZxBlockingSocket::Close()
{
    if (m_socket) {
        m_socket->abort();
        m_socket.reset();
    }
}

bool TZxBlockingSocket::IsOpen() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

bool TZxBlockingSocket::IsStale()
{
    if (!IsOpen())
        return true;
    if (m_socket->bytesAvailable() > 0 || m_socket->waitForReadyRead(0))
        return true;
    return m_socket->state() != QAbstractSocket::ConnectedState;
}

void TZxBlockingSocket::failWait(int timeoutMs, const QString &step)
{
    const bool timedOut = m_socket && m_socket->error() == QAbstractSocket::SocketTimeoutError
                          && m_socket->state() == QAbstractSocket::ConnectedState;
    const QString reason = m_socket ? m_socket->errorString() : QString();
    Close();
    if (timedOut)
        throw ERemoteTimeout(QStringLiteral("Сервер %1 не ответил за %2 мс (%3)")
                                 .arg(PeerText())
                                 .arg(timeoutMs)
                                 .arg(step));
    throw ERemoteConnectionError(
        QStringLiteral("Соединение с сервером %1 прервано (%2): %3").arg(PeerText(), step, reason));
}

void TZxBlockingSocket::Write(const QByteArray &data, int timeoutMs)
{
    if (!IsOpen())
        throw ERemoteConnectionError(QStringLiteral("Нет соединения с сервером %1").arg(PeerText()));
    if (m_socket->write(data) != data.size())
        failWait(timeoutMs, QStringLiteral("отправка запроса"));
    while (m_socket->bytesToWrite() > 0)
        if (!m_socket->waitForBytesWritten(timeoutMs))
            failWait(timeoutMs, QStringLiteral("отправка запроса"));
}

void TZxBlockingSocket::ReadInto(QByteArray &data, qint64 maxBytes, int timeoutMs)
{
    if (!m_socket)
        throw ERemoteConnectionError(QStringLiteral("Нет соединения с сервером %1").arg(PeerText()));
    if (m_socket->bytesAvailable() == 0 && !m_socket->waitForReadyRead(timeoutMs))
        failWait(timeoutMs, QStringLiteral("ожидание ответа"));
    // Straight into the caller's buffer: a big reply is copied once, not piece by piece.
    const qsizetype old = data.size();
    const qint64 count = qMin(maxBytes, m_socket->bytesAvailable());
    data.resize(old + qsizetype(count));
    const qint64 read = m_socket->read(data.data() + old, count);
    data.resize(old + qsizetype(qMax<qint64>(read, 0)));
    if (read <= 0)
        failWait(timeoutMs, QStringLiteral("чтение ответа"));
}

QByteArray TZxBlockingSocket::ReadExactly(qint64 count, int timeoutMs)
{
    QByteArray out;
    if (count <= 0)
        return out;
    out.reserve(qsizetype(count));
    while (out.size() < count)
        ReadInto(out, count - out.size(), timeoutMs);
    return out;
}
