#include "qiraserverhost.h"


TQiraServerHost::TQiraServerHost(TQiraStore &store, TZxServerOptions options, TLog log)
    : m_authenticator(store), m_options(std::move(options)), m_tcp(store, QStringLiteral("tcp/ip")),
      m_http(store, QStringLiteral("http"))
{
    for (Transport *transport : {&m_tcp, &m_http}) {
        transport->methods.Register(transport->dispatcher);
        transport->dispatcher.SetAuthenticator(&m_authenticator);
        if (log)
            transport->dispatcher.SetCallLog(log);
    }
    if (m_options.TcpPort >= 0) {
        TZxServerOptions tcp = m_options;
        tcp.HttpPort = -1;
        m_tcp.server = std::make_unique<TZxRemoteServer>(m_tcp.dispatcher, tcp);
    }
    if (m_options.HttpPort >= 0) {
        TZxServerOptions http = m_options;
        http.TcpPort = -1;
        m_http.server = std::make_unique<TZxRemoteServer>(m_http.dispatcher, http);
    }
}

TQiraServerHost::~TQiraServerHost() { Stop(); }

void TQiraServerHost::Start()
{
    try {
        for (Transport *transport : {&m_tcp, &m_http})
            if (transport->server)
                transport->server->Start();
    } catch (...) {
        Stop();
        throw;
    }
}

void TQiraServerHost::Stop()
{
    for (Transport *transport : {&m_tcp, &m_http})
        if (transport->server && transport->server->IsRunning())
            transport->server->Stop();
}

quint16 TQiraServerHost::TcpPort() const { return m_tcp.server ? m_tcp.server->TcpPort() : 0; }

quint16 TQiraServerHost::HttpPort() const { return m_http.server ? m_http.server->HttpPort() : 0; }
