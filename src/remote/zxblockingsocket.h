#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QTcpSocket;

// A TCP socket used without an event loop: every step waits in the socket itself for at
// most the given time, so a caller on the user-interface thread blocks without letting
// other events run. Failures raise ERemoteConnectionError or ERemoteTimeout.
class TZxBlockingSocket
{
public:
    TZxBlockingSocket();
    ~TZxBlockingSocket();
    TZxBlockingSocket(const TZxBlockingSocket &) = delete;
    TZxBlockingSocket &operator=(const TZxBlockingSocket &) = delete;

    void Connect(const QString &host, quint16 port, int timeoutMs);
    void Close();
    bool IsOpen() const;
    // Whether an open connection can no longer carry a request: the peer closed it, or
    // sent bytes nobody asked for. Does not wait.
    bool IsStale();

    // Waits until everything is handed to the system; the timeout applies to each wait
    // without progress.
    void Write(const QByteArray &data, int timeoutMs);
    // Appends at least one and at most maxBytes bytes to data.
    void ReadInto(QByteArray &data, qint64 maxBytes, int timeoutMs);
    QByteArray ReadExactly(qint64 count, int timeoutMs);

    QString PeerText() const;

private:
    [[noreturn]] void failWait(int timeoutMs, const QString &step);

    std::unique_ptr<QTcpSocket> m_socket;
    QString m_host;
    quint16 m_port = 0;
};
