#include "zxremoteserver.h"

#include "zxerror.h"
#include "zxserverio.h"

#include <QThread>
#include <QThreadPool>

TZxRemoteServer::TZxRemoteServer(TZxDispatcher &dispatcher, TZxServerOptions options)
    : m_dispatcher(dispatcher), m_options(std::move(options))
{
}

TZxRemoteServer::~TZxRemoteServer() { Stop(); }

void TZxRemoteServer::Start()
{
    if (m_io)
        return;
    m_pool = std::make_unique<QThreadPool>();
    m_pool->setMaxThreadCount(qMax(1, m_options.WorkerThreads));
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("qira-remote-io"));
    m_io = new TZxServerIo(m_dispatcher, m_options, *m_pool);
    m_io->moveToThread(m_thread.get());
    m_thread->start();
    QString error;
    QMetaObject::invokeMethod(
        m_io,
        [this, &error] {
            error = m_io->Listen();
            m_tcpPort = m_io->TcpPort();
            m_httpPort = m_io->HttpPort();
        },
        Qt::BlockingQueuedConnection);
    if (!error.isEmpty()) {
        Stop();
        throw EZxError(QStringLiteral("ERemoteListenError"), error);
    }
}

void TZxRemoteServer::Stop()
{
    if (!m_io)
        return;
    QMetaObject::invokeMethod(m_io, [this] { m_io->Shutdown(); }, Qt::BlockingQueuedConnection);
    m_pool->waitForDone();
    QThread *home = QThread::currentThread();
    QMetaObject::invokeMethod(
        m_io,
        [this, home] {
            m_io->DeleteRemaining();
            m_io->moveToThread(home);
        },
        Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_io;
    m_io = nullptr;
    m_thread.reset();
    m_pool.reset();
    m_tcpPort = 0;
    m_httpPort = 0;
}
