#pragma once

#include "zxremoteprotocol.h"

#include <QHostAddress>

// How a TZxRemoteServer listens and what it tolerates.
struct TZxServerOptions
{
    QHostAddress Address = QHostAddress::Any;
    // -1: no listener of that kind; 0: any free port (read it back after Start).
    int TcpPort = ZxDefaultPort;
    int HttpPort = -1;
    // Larger requests get an error reply and are skipped unread.
    qint64 MaxRequestSize = ZxDefaultMaxRequestSize;
    // Larger replies are replaced by an error reply.
    qint64 MaxReplySize = ZxDefaultMaxReplySize;
    // A message that has begun must keep arriving; a connection that stalls inside one
    // this long is closed.
    int StallTimeoutMs = 60000;
    // An HTTP connection idle between requests this long is closed (the client opens a
    // new one; its session is kept).
    int KeepAliveTimeoutMs = 300000;
    // An HTTP session unused this long ends.
    qint64 SessionIdleTimeoutMs = 30 * 60 * 1000;
    // Calls run on this many worker threads at most.
    int WorkerThreads = 16;
};
