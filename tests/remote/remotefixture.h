#pragma once

#include "zxauthenticator.h"
#include "zxbase.h"
#include "zxcallcontext.h"
#include "zxconnection.h"
#include "zxdispatcher.h"
#include "zxremoteerror.h"
#include "zxremoteserver.h"

#include <QMutex>
#include <QSemaphore>
#include <QStringList>

#include <atomic>
#include <memory>
#include <stdexcept>

// A real dispatcher and server on loopback ephemeral ports with a small set of test
// methods of class "TTest".
class RemoteFixture : public TZxAuthenticator
{
public:
    struct Counter : TZxConnectionState
    {
        qint64 value = 0;
    };

    static inline const QString User = QStringLiteral("ivanov");
    static inline const QString Password = QStringLiteral("secret");

    explicit RemoteFixture(TZxServerOptions options = defaultOptions())
    {
        dispatcher.SetAuthenticator(this);
        dispatcher.SetCallLog([this](const TZxCallLog &log) {
            QMutexLocker lock(&logLock);
            logLines.append(log.Line());
        });
        const QList<TZxParamType> types{TZxParamType::String, TZxParamType::Int32, TZxParamType::Int64,
                                        TZxParamType::Boolean, TZxParamType::Timestamp, TZxParamType::Blob};
        // Echo<type>: Out and Io receive In; ReturnValue too.
        for (const TZxParamType type : types) {
            dispatcher.AddMethod(QStringLiteral("TTest"), QStringLiteral("Echo_") + ZxParamTypeName(type),
                                 {{QStringLiteral("In"), type, TZxParamDir::Input},
                                  {QStringLiteral("Out"), type, TZxParamDir::Output},
                                  {QStringLiteral("Io"), type, TZxParamDir::InputOutput},
                                  {ZxReturnValueName, type, TZxParamDir::Result}},
                                 [this, type](TZxCallContext &c) {
                                     ++handlerCalls;
                                     const QVariant in = c.Param(QStringLiteral("In")).Value();
                                     c.Param(QStringLiteral("Out")).SetTypedValue(type, in);
                                     c.Param(QStringLiteral("Io")).SetTypedValue(type, in);
                                     c.Param(ZxReturnValueName).SetTypedValue(type, in);
                                 });
        }
        dispatcher.AddMethod(QStringLiteral("TTest"), QStringLiteral("Echo"),
                             {{QStringLiteral("Text"), TZxParamType::String, TZxParamDir::Input},
                              {ZxReturnValueName, TZxParamType::String, TZxParamDir::Result}},
                             [this](TZxCallContext &c) {
                                 ++handlerCalls;
                                 c.Param(ZxReturnValueName).SetString(c.Param(QStringLiteral("Text")).AsString());
                             });
        dispatcher.AddMethod(QStringLiteral("TTest"), QStringLiteral("Blob"),
                             {{QStringLiteral("Data"), TZxParamType::Blob, TZxParamDir::Input},
                              {ZxReturnValueName, TZxParamType::Blob, TZxParamDir::Result}},
                             [](TZxCallContext &c) {
                                 c.Param(ZxReturnValueName).SetBytes(c.Param(QStringLiteral("Data")).AsBytes());
                             });
        dispatcher.AddMethod(QStringLiteral("TTest"), QStringLiteral("Big"),
                             {{QStringLiteral("Size"), TZxParamType::Int64, TZxParamDir::Input},
                              {ZxReturnValueName, TZxParamType::Blob, TZxParamDir::Result}},
                             [](TZxCallContext &c) {
                                 c.Param(ZxReturnValueName)
                                     .SetBytes(QByteArray(qsizetype(c.Param(QStringLiteral("Size")).AsLargeInt()), 'b'));
                             });
        dispatcher.AddMethod(QStringLiteral("TTest"), QStringLiteral("Fail"),
                             {{ZxReturnValueName, TZxParamType::String, TZxParamDir::Result}},
                             [](TZxCallContext &) {
                                 throw EZxError(QStringLiteral("ETestFailure"), QStringLiteral("Отказ по просьбе теста"));
                             });
        dispatcher.AddMethod(QStringLiteral("TTest"), QStringLiteral("Crash"), {},
                             [](TZxCallContext &) { throw std::runtime_error("boom"); });
        dispatcher.AddMethod(QStringLiteral("TTest"), QStringLiteral("WrongType"),
                             {{ZxReturnValueName, TZxParamType::String, TZxParamDir::Result}},
                             [](TZxCallContext &c) { c.Param(ZxReturnValueName).SetTypedValue(TZxParamType::Int64, qint64(1)); });
        dispatcher.AddMethod(QStringLiteral("TTest"), QStringLiteral("Count"),
                             {{ZxReturnValueName, TZxParamType::Int64, TZxParamDir::Result}},
                             [](TZxCallContext &c) { c.Param(ZxReturnValueName).SetLargeInt(++c.State<Counter>().value); });
        dispatcher.AddMethod(QStringLiteral("TTest"), QStringLiteral("WhoAmI"),
                             {{ZxReturnValueName, TZxParamType::String, TZxParamDir::Result}},
                             [](TZxCallContext &c) {
                                 c.Param(ZxReturnValueName)
                                     .SetString(c.UserName() + u'/' + c.Session().UserID + u'/' + c.Transport());
                             });
        // Slow: tells the test it has started, then waits for the test's permission.
        dispatcher.AddMethod(QStringLiteral("TTest"), QStringLiteral("Slow"),
                             {{ZxReturnValueName, TZxParamType::String, TZxParamDir::Result}},
                             [this](TZxCallContext &c) {
                                 slowEntered.release();
                                 if (!slowRelease.tryAcquire(1, 30000))
                                     throw EZxError(QStringLiteral("ETestTimeout"), QStringLiteral("never released"));
                                 c.Param(ZxReturnValueName).SetString(QStringLiteral("slow"));
                             });
        server = std::make_unique<TZxRemoteServer>(dispatcher, options);
        server->Start();
    }

    ~RemoteFixture() override
    {
        slowRelease.release(100);
        server->Stop();
    }

    static TZxServerOptions defaultOptions()
    {
        TZxServerOptions options;
        options.Address = QHostAddress::LocalHost;
        options.TcpPort = 0;
        options.HttpPort = 0;
        options.StallTimeoutMs = 300;
        return options;
    }

    TZxSessionInfo Authenticate(const QString &userName, const QString &passwordDigest) override
    {
        if (userName != User || passwordDigest != TextMD5(Password))
            throw EZxError(QStringLiteral("EAuthRefused"), QStringLiteral("Неверное имя пользователя или пароль"));
        TZxSessionInfo info;
        info.Login = userName;
        info.UserID = QStringLiteral("u1");
        info.RoleID = QStringLiteral("1");
        return info;
    }

    quint16 port(const QString &transport) const
    {
        return transport == QStringLiteral("http") ? server->HttpPort() : server->TcpPort();
    }

    static QStringList params(const QString &transport, quint16 port, const QString &user = User,
                              const QString &password = Password)
    {
        return {QStringLiteral("DriverID=DS"),
                QStringLiteral("Port=") + QString::number(port),
                QStringLiteral("Server=127.0.0.1"),
                transport == QStringLiteral("http") ? QStringLiteral("Protocol=http") : QStringLiteral("Protocol=tcp/ip"),
                QStringLiteral("User_Name=") + user,
                QStringLiteral("Password=") + TextMD5(password)};
    }

    std::unique_ptr<TZxConnection> open(const QString &transport)
    {
        auto connection = std::make_unique<TZxConnection>();
        connection->Params() = params(transport, port(transport));
        connection->SetCallTimeout(30000);
        connection->Open();
        return connection;
    }

    // One call of TTest.Echo; returns the echoed text.
    static QString echo(TZxConnection &connection, const QString &text)
    {
        TZxParams params;
        params.Add(QStringLiteral("Text"), TZxParamType::String, TZxParamDir::Input).SetString(text);
        connection.Execute(QStringLiteral("TTest.Echo"), params);
        return params.ParamByName(ZxReturnValueName).AsString();
    }

    // A second, well-behaved client gets served.
    bool servesAnotherClient(const QString &transport)
    {
        auto other = open(transport);
        return echo(*other, QStringLiteral("ещё здесь")) == QStringLiteral("ещё здесь");
    }

    QStringList logSnapshot()
    {
        QMutexLocker lock(&logLock);
        return logLines;
    }

    TZxDispatcher dispatcher;
    std::unique_ptr<TZxRemoteServer> server;
    std::atomic<int> handlerCalls{0};
    QSemaphore slowEntered;
    QSemaphore slowRelease;
    QMutex logLock;
    QStringList logLines;
};
