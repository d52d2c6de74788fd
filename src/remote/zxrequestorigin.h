#pragma once

#include "zxremoteprotocol.h"

#include <QString>

#include <memory>

class TZxServerSession;

// Where a request came from, as a transport hands it to the dispatcher.
struct TZxRequestOrigin
{
    QString Transport; // "tcp" or "http"
    QString Peer;      // address:port of the client
    // TCP: the connection's session, set by connect and cleared by disconnect.
    std::shared_ptr<TZxServerSession> Session;
    // HTTP: the session token the request carried.
    QString Token;
    qint64 MaxReplySize = ZxDefaultMaxReplySize;
};
