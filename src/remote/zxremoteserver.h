#pragma once

#include "zxserveroptions.h"

#include <memory>

class QThread;
class QThreadPool;
class TZxDispatcher;
class TZxServerIo;

// Serves a dispatcher's methods over TCP and HTTP. Sockets live on a thread of the
// server's own, so it needs no event loop from its owner; calls run on a pool of worker
// threads, one at a time per client and in parallel across clients.
class TZxRemoteServer
{
public:
    TZxRemoteServer(TZxDispatcher &dispatcher, TZxServerOptions options = {});
    ~TZxRemoteServer();
    TZxRemoteServer(const TZxRemoteServer &) = delete;
    TZxRemoteServer &operator=(const TZxRemoteServer &) = delete;

    // Raises EZxError ("ERemoteListenError") when a port cannot be opened.
    void Start();
    // Closes every connection and waits for running calls to end.
    void Stop();
    bool IsRunning() const { return m_io != nullptr; }

    // The bound ports (useful with port 0); 0 for a listener that is off.
    quint16 TcpPort() const { return m_tcpPort; }
    quint16 HttpPort() const { return m_httpPort; }
    const TZxServerOptions &Options() const { return m_options; }

private:
    TZxDispatcher &m_dispatcher;
    const TZxServerOptions m_options;
    std::unique_ptr<QThreadPool> m_pool;
    std::unique_ptr<QThread> m_thread;
    TZxServerIo *m_io = nullptr;
    quint16 m_tcpPort = 0;
    quint16 m_httpPort = 0;
};
