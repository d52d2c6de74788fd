#include "zxconnection.h"

#include "zxhttpchannel.h"
#include "zxremoteerror.h"
#include "zxtcpchannel.h"
#include "zxwaitcursor.h"

#include <QRegularExpression>

namespace {

// Turns the busy indicator on for its lifetime.
class BusyScope
{
public:
    BusyScope() : m_cursor(WaitCursor())
    {
        if (m_cursor)
            m_cursor->BusyOn();
    }
    ~BusyScope()
    {
        if (m_cursor)
            m_cursor->BusyOff();
    }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    TZxWaitCursor *m_cursor;
};

bool isDigest(const QString &text)
{
    static const QRegularExpression digest(QStringLiteral("^[0-9a-f]{32}$"));
    return digest.match(text).hasMatch();
}

// The longest a closing goodbye may hold up Close.
constexpr int GoodbyeTimeoutMs = 2000;

} // namespace

struct TZxConnection::TTarget
{
    QString host;
    quint16 port = ZxDefaultPort;
    bool http = false;
    QString user;
    QString password;
};

TZxConnection::TZxConnection() = default;

TZxConnection::~TZxConnection() { Close(); }

QString TZxConnection::ParamValue(const QString &key) const
{
    for (const QString &item : m_params) {
        const qsizetype eq = item.indexOf(u'=');
        const QString name = (eq < 0 ? item : item.left(eq)).trimmed();
        if (name.compare(key, Qt::CaseInsensitive) == 0)
            return eq < 0 ? QString() : item.mid(eq + 1);
    }
    return {};
}

TZxConnection::TTarget TZxConnection::target() const
{
    TTarget t;
    t.host = ParamValue(QStringLiteral("Server")).trimmed();
    if (t.host.isEmpty())
        t.host = QStringLiteral("localhost");
    const QString portText = ParamValue(QStringLiteral("Port")).trimmed();
    if (!portText.isEmpty()) {
        bool ok = false;
        const uint port = portText.toUInt(&ok);
        if (!ok || port == 0 || port > 65535)
            throw ERemoteConnectionError(QStringLiteral("Неверный порт сервера: \"%1\"").arg(portText));
        t.port = quint16(port);
    }
    const QString protocol = ParamValue(QStringLiteral("Protocol")).trimmed();
    if (protocol.compare(QStringLiteral("http"), Qt::CaseInsensitive) == 0)
        t.http = true;
    else if (!protocol.isEmpty() && protocol.compare(QStringLiteral("tcp/ip"), Qt::CaseInsensitive) != 0)
        throw ERemoteConnectionError(
            QStringLiteral("Неизвестный протокол подключения: \"%1\" (ожидается tcp/ip или http)").arg(protocol));
    t.user = ParamValue(QStringLiteral("User_Name"));
    t.password = ParamValue(QStringLiteral("Password"));
    // The connect message must never carry a password as typed.
    if (!t.password.isEmpty() && !isDigest(t.password))
        throw ERemoteConnectionError(
            QStringLiteral("Пароль передается только как MD5-дайджест (32 строчные шестнадцатеричные цифры)"));
    return t;
}

void TZxConnection::dropConnection()
{
    if (m_channel)
        m_channel->Close();
    m_connected = false;
    m_session.clear();
}

TZxRemoteMessage TZxConnection::exchange(const TZxRemoteMessage &request, TZxMessageKind expected)
{
    const QByteArray bytes = request.Encode();
    if (bytes.size() > m_limits.MaxRequestSize)
        throw ERemoteProtocolError(QStringLiteral("Запрос (%1 байт) превышает предел %2 байт")
                                       .arg(bytes.size())
                                       .arg(m_limits.MaxRequestSize));
    TZxRemoteMessage reply;
    try {
        reply = TZxRemoteMessage::Decode(m_channel->Exchange(bytes));
        if (reply.Kind != TZxMessageKind::Error && reply.Kind != expected)
            throw ERemoteProtocolError(QStringLiteral("Сервер прислал \"%1\" вместо \"%2\"")
                                           .arg(TZxRemoteMessage::KindName(reply.Kind),
                                                TZxRemoteMessage::KindName(expected)));
        if (reply.Id != request.Id && !(reply.Kind == TZxMessageKind::Error && reply.Id == 0))
            throw ERemoteProtocolError(QStringLiteral("Ответ сервера относится к другому запросу (%1 вместо %2)")
                                           .arg(reply.Id)
                                           .arg(request.Id));
    } catch (...) {
        dropConnection();
        throw;
    }
    if (reply.Kind == TZxMessageKind::Error) {
        // The server no longer knows this session: only a new Open can help.
        if (reply.ErrorClass == ZxRemoteClass::NotConnected)
            dropConnection();
        throw EZxError(reply.ErrorClass, reply.ErrorMessage);
    }
    return reply;
}

void TZxConnection::Open()
{
    if (m_connected)
        return;
    const TTarget t = target();
    BusyScope busy;
    if (m_channel)
        m_channel->Close();
    if (t.http)
        m_channel = std::make_unique<TZxHttpChannel>();
    else
        m_channel = std::make_unique<TZxTcpChannel>();
    m_http = t.http;
    try {
        m_channel->Open(t.host, t.port, m_limits);
    } catch (...) {
        dropConnection();
        throw;
    }

    TZxRemoteMessage request;
    request.Kind = TZxMessageKind::Connect;
    request.Id = m_nextId++;
    request.Version = ZxProtocolVersion;
    request.UserName = t.user;
    request.Password = t.password;
    TZxRemoteMessage reply;
    try {
        reply = exchange(request, TZxMessageKind::Connected);
        if (reply.Version < 1 || reply.Version > ZxProtocolVersion)
            throw ERemoteProtocolError(QStringLiteral("Сервер выбрал версию протокола %1, поддерживается %2")
                                           .arg(reply.Version)
                                           .arg(ZxProtocolVersion));
    } catch (...) {
        // A refused sign-in leaves nothing open behind it.
        dropConnection();
        throw;
    }
    m_session = reply.Session;
    m_channel->SetSession(m_session);
    m_connected = true;
}

void TZxConnection::Close()
{
    if (!m_channel)
        return;
    // Over HTTP the server keeps the session until told; over TCP closing the socket
    // ends it. The goodbye is a courtesy: its failure changes nothing.
    if (m_connected && m_http) {
        TZxRemoteMessage goodbye;
        goodbye.Kind = TZxMessageKind::Disconnect;
        goodbye.Id = m_nextId++;
        TZxChannelLimits quick = m_limits;
        quick.CallTimeoutMs = qMin(m_limits.CallTimeoutMs, GoodbyeTimeoutMs);
        try {
            m_channel->SetLimits(quick);
            exchange(goodbye, TZxMessageKind::Disconnected);
        } catch (...) {
        }
    }
    dropConnection();
    m_channel.reset();
}

void TZxConnection::Execute(const QString &method, TZxParams &params)
{
    BusyScope busy;
    params.ClearOutputs();
    if (!m_connected)
        throw ERemoteConnectionError(QStringLiteral("Нет соединения с сервером"));
    m_channel->SetLimits(m_limits);

    TZxRemoteMessage request;
    request.Kind = TZxMessageKind::Call;
    request.Id = m_nextId++;
    request.Method = method;
    for (int i = 0; i < params.Count(); ++i)
        if (ZxDirSends(params.At(i).Direction()))
            request.Params.append(params.At(i));
    const TZxRemoteMessage reply = exchange(request, TZxMessageKind::Result);
    for (const TZxParam &returned : reply.Params) {
        TZxParam *param = params.FindParam(returned.Name());
        if (!param)
            param = &params.Add(returned.Name(), returned.DataType(), returned.Direction());
        param->SetTypedValue(returned.DataType(), returned.Value());
    }
}
