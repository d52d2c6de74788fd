#pragma once

#include "zxrequestorigin.h"
#include "zxserveroptions.h"

#include <QObject>
#include <QSet>

class QTcpServer;
class QThreadPool;
class QTimer;
class TZxDispatcher;
class TZxServerConnection;

// The listeners and connections of a TZxRemoteServer; lives on the server's I/O thread,
// where every one of its functions but Run's worker part is called.
class TZxServerIo : public QObject
{
    Q_OBJECT

public:
    TZxServerIo(TZxDispatcher &dispatcher, const TZxServerOptions &options, QThreadPool &pool);
    ~TZxServerIo() override;

    // Empty on success, else why a listener could not start.
    QString Listen();
    quint16 TcpPort() const { return m_tcpPort; }
    quint16 HttpPort() const { return m_httpPort; }
    // Stops accepting and closes every connection.
    void Shutdown();
    // After the workers are done: deletes what is left.
    void DeleteRemaining();

    TZxDispatcher &Dispatcher() { return m_dispatcher; }
    const TZxServerOptions &Options() const { return m_options; }
    // Runs the request on a worker and delivers the reply to the connection.
    void Run(TZxServerConnection *connection, const QByteArray &request,
             const TZxRequestOrigin &origin, bool framed);
    void Forget(TZxServerConnection *connection) { m_connections.remove(connection); }

private:
    void accept(QTcpServer *server, bool http);

    TZxDispatcher &m_dispatcher;
    const TZxServerOptions m_options;
    QThreadPool &m_pool;
    QTcpServer *m_tcp = nullptr;
    QTcpServer *m_http = nullptr;
    QTimer *m_sweep = nullptr;
    quint16 m_tcpPort = 0;
    quint16 m_httpPort = 0;
    bool m_shuttingDown = false;
    QSet<TZxServerConnection *> m_connections;
};
