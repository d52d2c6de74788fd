#include "zxserverio.h"

#include "zxdispatcher.h"
#include "zxhttpserverconnection.h"
#include "zxtcpserverconnection.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QThreadPool>
#include <QTimer>

TZxServerIo::TZxServerIo(TZxDispatcher &dispatcher, const TZxServerOptions &options, QThreadPool &pool)
    : m_dispatcher(dispatcher), m_options(options), m_pool(pool)
{
}

TZxServerIo::~TZxServerIo() { DeleteRemaining(); }

QString TZxServerIo::Listen()
{
    const auto open = [this](int port, bool http, QTcpServer *&server, quint16 &bound) -> QString {
        if (port < 0)
            return {};
        server = new QTcpServer(this);
        if (!server->listen(m_options.Address, quint16(port)))
            return QStringLiteral("Не удается принимать подключения %1 на %2:%3: %4")
                .arg(http ? QStringLiteral("HTTP") : QStringLiteral("TCP"), m_options.Address.toString())
                .arg(port)
                .arg(server->errorString());
        bound = server->serverPort();
        connect(server, &QTcpServer::newConnection, this, [this, server, http] { accept(server, http); });
        return {};
    };
    QString error = open(m_options.TcpPort, false, m_tcp, m_tcpPort);
    if (error.isEmpty())
        error = open(m_options.HttpPort, true, m_http, m_httpPort);
    if (!error.isEmpty())
        return error;
    m_sweep = new QTimer(this);
    m_sweep->setInterval(int(qBound(qint64(10), m_options.SessionIdleTimeoutMs / 4, qint64(60000))));
    connect(m_sweep, &QTimer::timeout, this,
            [this] { m_dispatcher.ExpireIdleSessions(m_options.SessionIdleTimeoutMs); });
    m_sweep->start();
    return {};
}

void TZxServerIo::accept(QTcpServer *server, bool http)
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        if (m_shuttingDown) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        TZxServerConnection *connection;
        if (http)
            connection = new TZxHttpServerConnection(socket, *this);
        else
            connection = new TZxTcpServerConnection(socket, *this);
        m_connections.insert(connection);
        connection->Start();
    }
}

void TZxServerIo::Run(TZxServerConnection *connection, const QByteArray &request,
                      const TZxRequestOrigin &origin, bool framed)
{
    m_pool.start([this, connection, request, origin, framed] {
        TZxRequestOrigin updated = origin;
        const QByteArray reply = m_dispatcher.Handle(request, updated, framed);
        // The connection waits for this delivery before it may be deleted.
        QMetaObject::invokeMethod(
            connection, [connection, reply, updated] { connection->Deliver(reply, updated); },
            Qt::QueuedConnection);
    });
}

void TZxServerIo::Shutdown()
{
    m_shuttingDown = true;
    delete m_tcp;
    m_tcp = nullptr;
    delete m_http;
    m_http = nullptr;
    delete m_sweep;
    m_sweep = nullptr;
    const QSet<TZxServerConnection *> connections = m_connections;
    for (TZxServerConnection *connection : connections)
        connection->Shutdown();
}

void TZxServerIo::DeleteRemaining()
{
    const QSet<TZxServerConnection *> connections = m_connections;
    qDeleteAll(connections);
    m_connections.clear();
}
