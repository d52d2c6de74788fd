#include "zxdispatcher.h"

#include "zxauthenticator.h"
#include "zxcallcontext.h"
#include "zxremoteerror.h"
#include "zxremotemessage.h"
#include "zxserversession.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtEndian>

namespace {

const QString tcpTransport = QStringLiteral("tcp");

// A session token is what an HTTP client proves its sign-in with: 128 random bits.
QString newToken()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(words), sizeof words).toHex());
}

// Leaves the session's in-use mark when the call is over, however it ends.
class InUseScope
{
public:
    explicit InUseScope(TZxServerSession &session) : m_session(session) {}
    ~InUseScope()
    {
        m_session.Touch();
        m_session.Leave();
    }
    InUseScope(const InUseScope &) = delete;
    InUseScope &operator=(const InUseScope &) = delete;

private:
    TZxServerSession &m_session;
};

} // namespace

TZxDispatcher::TZxDispatcher() = default;
TZxDispatcher::~TZxDispatcher() = default;

void TZxDispatcher::AddMethod(const QString &className, const QString &methodName,
                              const QList<TZxParamDef> &params, TZxRemoteMethod::THandler handler)
{
    TZxRemoteMethod method{className, methodName, params, std::move(handler)};
    const QString fullName = method.FullName();
    const auto refuse = [&](const QString &why) {
        throw EZxError(ZxRemoteClass::ServerError,
                       QStringLiteral("Метод %1 не регистрируется: %2").arg(fullName, why));
    };
    if (className.isEmpty() || methodName.isEmpty())
        refuse(QStringLiteral("пустое имя"));
    if (m_methods.contains(fullName))
        refuse(QStringLiteral("уже зарегистрирован"));
    if (!method.Handler)
        refuse(QStringLiteral("нет обработчика"));
    for (qsizetype i = 0; i < params.size(); ++i) {
        const TZxParamDef &def = params.at(i);
        if (def.Name.isEmpty())
            refuse(QStringLiteral("параметр без имени"));
        for (qsizetype j = 0; j < i; ++j)
            if (params.at(j).Name.compare(def.Name, Qt::CaseInsensitive) == 0)
                refuse(QStringLiteral("параметр \"%1\" повторяется").arg(def.Name));
        if ((def.Dir == TZxParamDir::Result) != (def.Name == ZxReturnValueName))
            refuse(QStringLiteral("результат называется \"%1\" и только он").arg(ZxReturnValueName));
    }
    m_methods.insert(fullName, std::move(method));
}

QByteArray TZxDispatcher::Handle(const QByteArray &request, TZxRequestOrigin &origin, bool framed)
{
    QElapsedTimer clock;
    clock.start();
    TZxCallLog log;
    log.Peer = origin.Peer;
    log.Transport = origin.Transport;
    TZxRemoteMessage reply;
    quint64 id = 0;
    try {
        const TZxRemoteMessage message = TZxRemoteMessage::Decode(request);
        id = message.Id;
        switch (message.Kind) {
        case TZxMessageKind::Connect:
            log.Method = QStringLiteral("connect");
            log.User = message.UserName;
            reply = connect(message, origin);
            break;
        case TZxMessageKind::Call:
            log.Method = message.Method;
            reply = call(message, origin, log);
            break;
        case TZxMessageKind::Disconnect:
            log.Method = QStringLiteral("disconnect");
            reply = disconnect(message, origin);
            break;
        default:
            throw ERemoteProtocolError(QStringLiteral("Сообщение \"%1\" не является запросом")
                                           .arg(TZxRemoteMessage::KindName(message.Kind)));
        }
    } catch (const EZxError &error) {
        reply = TZxRemoteMessage::MakeError(id, error.className(), error.message());
    } catch (const std::exception &error) {
        reply = TZxRemoteMessage::MakeError(id, ZxRemoteClass::ServerError, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        reply = TZxRemoteMessage::MakeError(id, ZxRemoteClass::ServerError,
                                            QStringLiteral("Неизвестная ошибка сервера"));
    }
    QByteArray out = encode(reply, framed, origin.MaxReplySize);
    log.DurationUs = clock.nsecsElapsed() / 1000;
    log.Ok = reply.Kind != TZxMessageKind::Error;
    log.ErrorClass = reply.ErrorClass;
    log.ErrorMessage = reply.ErrorMessage;
    writeLog(log);
    return out;
}

QByteArray TZxDispatcher::encode(TZxRemoteMessage &reply, bool framed, qint64 maxReplySize)
{
    const int headroom = framed ? 4 : 0;
    QByteArray out(headroom, '\0');
    try {
        reply.EncodeTo(out);
    } catch (const EZxError &error) {
        reply = TZxRemoteMessage::MakeError(reply.Id, ZxRemoteClass::ServerError,
                                            QStringLiteral("Ответ не кодируется: ") + error.message());
        out = QByteArray(headroom, '\0');
        reply.EncodeTo(out);
    }
    const qint64 size = out.size() - headroom;
    if (size > maxReplySize) {
        reply = TZxRemoteMessage::MakeError(reply.Id, ZxRemoteClass::ProtocolError,
                                            QStringLiteral("Ответ (%1 байт) превышает предел %2 байт")
                                                .arg(size)
                                                .arg(maxReplySize));
        out = QByteArray(headroom, '\0');
        reply.EncodeTo(out);
    }
    if (framed)
        qToBigEndian(quint32(out.size() - headroom), out.data());
    return out;
}

void TZxDispatcher::writeLog(const TZxCallLog &log)
{
    if (!m_log)
        return;
    try {
        m_log(log);
    } catch (...) {
    }
}

void TZxDispatcher::LogRefusal(const TZxRequestOrigin &origin, const QString &className,
                               const QString &message)
{
    TZxCallLog log;
    log.Peer = origin.Peer;
    log.Transport = origin.Transport;
    if (origin.Session)
        log.User = origin.Session->UserName();
    log.ErrorClass = className;
    log.ErrorMessage = message;
    writeLog(log);
}

TZxRemoteMessage TZxDispatcher::connect(const TZxRemoteMessage &request, TZxRequestOrigin &origin)
{
    const bool tcp = origin.Transport == tcpTransport;
    if (tcp && origin.Session)
        throw ERemoteProtocolError(QStringLiteral("Соединение уже подключено"));
    if (!m_authenticator)
        throw EZxError(ZxRemoteClass::AuthError, QStringLiteral("Сервер не принимает подключений"));
    TZxSessionInfo info = m_authenticator->Authenticate(request.UserName, request.Password);
    if (!info.SessionStart.isValid())
        info.SessionStart = QDateTime::currentDateTime();
    auto session = std::make_shared<TZxServerSession>(newToken(), request.UserName, std::move(info),
                                                      origin.Transport);
    if (tcp) {
        origin.Session = session;
    } else {
        std::lock_guard lock(m_sessionsLock);
        m_sessions.insert(session->Token(), session);
    }
    TZxRemoteMessage reply;
    reply.Kind = TZxMessageKind::Connected;
    reply.Id = request.Id;
    reply.Version = qMin(request.Version, ZxProtocolVersion);
    reply.Session = session->Token();
    return reply;
}

TZxRemoteMessage TZxDispatcher::disconnect(const TZxRemoteMessage &request, TZxRequestOrigin &origin)
{
    if (origin.Transport == tcpTransport) {
        origin.Session.reset();
    } else if (!origin.Token.isEmpty()) {
        std::lock_guard lock(m_sessionsLock);
        m_sessions.remove(origin.Token);
    }
    TZxRemoteMessage reply;
    reply.Kind = TZxMessageKind::Disconnected;
    reply.Id = request.Id;
    return reply;
}

std::shared_ptr<TZxServerSession> TZxDispatcher::enterSession(const TZxRequestOrigin &origin)
{
    std::shared_ptr<TZxServerSession> session;
    if (origin.Transport == tcpTransport) {
        session = origin.Session;
        if (!session)
            throw EZxError(ZxRemoteClass::NotConnected,
                           QStringLiteral("Вызов до подключения: сначала нужно подключиться"));
    } else {
        if (origin.Token.isEmpty())
            throw EZxError(ZxRemoteClass::NotConnected,
                           QStringLiteral("Вызов до подключения: запрос не несет ключа сеанса"));
        std::lock_guard lock(m_sessionsLock);
        session = m_sessions.value(origin.Token);
        if (!session)
            throw EZxError(ZxRemoteClass::NotConnected,
                           QStringLiteral("Сеанс не найден или истек, нужно подключиться заново"));
    }
    // Marked under the table's lock, so that expiry never takes a session in use.
    session->Enter();
    return session;
}

TZxRemoteMessage TZxDispatcher::call(const TZxRemoteMessage &request, TZxRequestOrigin &origin,
                                     TZxCallLog &log)
{
    const std::shared_ptr<TZxServerSession> session = enterSession(origin);
    InUseScope inUse(*session);
    log.User = session->UserName();

    const auto found = m_methods.constFind(request.Method);
    if (found == m_methods.constEnd())
        throw EZxError(ZxRemoteClass::UnknownMethod,
                       QStringLiteral("Неизвестный метод \"%1\"").arg(request.Method));
    const TZxRemoteMethod &method = found.value();

    TZxParams params;
    for (const TZxParamDef &def : method.Params)
        params.Add(def.Name, def.Type, def.Dir);
    for (const TZxParam &sent : request.Params) {
        TZxParam *param = params.FindParam(sent.Name());
        if (!param)
            throw EZxError(ZxRemoteClass::ParamError, QStringLiteral("У метода %1 нет параметра \"%2\"")
                                                          .arg(request.Method, sent.Name()));
        if (!ZxDirSends(param->Direction()))
            throw EZxError(ZxRemoteClass::ParamError,
                           QStringLiteral("Параметр \"%2\" метода %1 не является входным")
                               .arg(request.Method, sent.Name()));
        if (!ZxDirSends(sent.Direction()))
            throw EZxError(ZxRemoteClass::ParamError,
                           QStringLiteral("Параметр \"%1\" с направлением %2 не передается в вызове")
                               .arg(sent.Name(), ZxParamDirName(sent.Direction())));
        if (sent.DataType() != param->DataType())
            throw EZxError(ZxRemoteClass::ParamError,
                           QStringLiteral("Параметр \"%2\" метода %1 имеет тип %3, а передан %4")
                               .arg(request.Method, sent.Name(), ZxParamTypeName(param->DataType()),
                                    ZxParamTypeName(sent.DataType())));
        param->SetTypedValue(sent.DataType(), sent.Value());
    }

    {
        std::lock_guard lock(session->CallLock());
        TZxCallContext context(request.Method, params, *session, origin.Peer);
        method.Handler(context);
    }

    TZxRemoteMessage reply;
    reply.Kind = TZxMessageKind::Result;
    reply.Id = request.Id;
    for (const TZxParamDef &def : method.Params) {
        if (!ZxDirReturns(def.Dir))
            continue;
        const TZxParam *param = params.FindParam(def.Name);
        if (!param) {
            reply.Params.append(TZxParam(def.Name, def.Type, def.Dir));
            continue;
        }
        if (param->DataType() != def.Type)
            throw EZxError(ZxRemoteClass::ServerError,
                           QStringLiteral("Метод %1 вернул параметр \"%2\" типа %3 вместо %4")
                               .arg(request.Method, def.Name, ZxParamTypeName(param->DataType()),
                                    ZxParamTypeName(def.Type)));
        TZxParam out(def.Name, def.Type, def.Dir);
        out.SetTypedValue(def.Type, param->Value());
        reply.Params.append(std::move(out));
    }
    return reply;
}

int TZxDispatcher::ExpireIdleSessions(qint64 idleMs)
{
    std::lock_guard lock(m_sessionsLock);
    int expired = 0;
    for (auto it = m_sessions.begin(); it != m_sessions.end();) {
        if (!it.value()->InUse() && it.value()->IdleMs() >= idleMs) {
            it = m_sessions.erase(it);
            ++expired;
        } else {
            ++it;
        }
    }
    return expired;
}

int TZxDispatcher::HttpSessionCount() const
{
    std::lock_guard lock(m_sessionsLock);
    return int(m_sessions.size());
}
