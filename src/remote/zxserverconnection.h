#pragma once

#include "zxrequestorigin.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

class QTcpSocket;
class TZxServerIo;

// One client connection on the server's I/O thread. It cuts requests out of the byte
// stream, hands one at a time to a worker and writes the reply back; reading pauses
// while a call runs or a reply is still being sent, so a client that does not read
// cannot pile up memory here. The object deletes itself once the socket is closed and
// no call of its is running.
class TZxServerConnection : public QObject
{
    Q_OBJECT

public:
    TZxServerConnection(QTcpSocket *socket, TZxServerIo &io, const QString &transport);
    ~TZxServerConnection() override;

    void Start();
    // Closes at once; deletion waits for a running call.
    void Shutdown();
    // The worker's reply, delivered on the I/O thread.
    void Deliver(const QByteArray &reply, const TZxRequestOrigin &origin);

protected:
    virtual void Pump() = 0;
    virtual void WriteReply(const QByteArray &reply) = 0;
    // Whether replies go out as TCP frames.
    virtual bool Framed() const { return false; }
    virtual int IdleTimeoutMs() const { return 0; }

    // Hands the request to a worker; nothing more is read until the reply is written.
    void Submit(const QByteArray &request);
    // Stall timer while inside a message, idle timer between messages.
    void ArmTimers(bool insideMessage);
    void CloseAfterWrite();
    void Abort();
    bool CanRead() const { return !m_busy && !m_closing; }

    QTcpSocket *m_socket;
    TZxServerIo &m_io;
    TZxRequestOrigin m_origin;

private:
    void finish();

    bool m_busy = false;
    bool m_closing = false;
    bool m_finished = false;
    QTimer m_stallTimer;
    QTimer m_idleTimer;
};
