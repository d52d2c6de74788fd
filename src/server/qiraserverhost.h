#pragma once

#include "qiraauthenticator.h"
#include "qiraservermethods.h"
#include "zxcalllog.h"
#include "zxdispatcher.h"
#include "zxremoteserver.h"
#include "zxserveroptions.h"

#include <functional>
#include <memory>

class TQiraStore;

// The document server on the network: the methods of TQiraServerClass over a store,
// served on a TCP port and an HTTP port. Each transport has a dispatcher of its own, so
// that a session knows which one it came by.
class TQiraServerHost
{
public:
    using TLog = std::function<void(const TZxCallLog &)>;

    // The store is not owned and must outlive the host. TcpPort or HttpPort -1 switches
    // that listener off, 0 takes any free port.
    TQiraServerHost(TQiraStore &store, TZxServerOptions options, TLog log = {});
    ~TQiraServerHost();
    TQiraServerHost(const TQiraServerHost &) = delete;
    TQiraServerHost &operator=(const TQiraServerHost &) = delete;

    // Raises EZxError ("ERemoteListenError") when a port cannot be opened.
    void Start();
    // Closes every connection and waits for running calls to end.
    void Stop();

    // The bound ports; 0 for a listener that is off.
    quint16 TcpPort() const;
    quint16 HttpPort() const;

private:
    struct Transport
    {
        Transport(TQiraStore &store, const QString &protocol) : methods(store, protocol) {}
        TQiraServerMethods methods;
        TZxDispatcher dispatcher;
        std::unique_ptr<TZxRemoteServer> server;
    };

    TQiraAuthenticator m_authenticator;
    TZxServerOptions m_options;
    Transport m_tcp;
    Transport m_http;
};
