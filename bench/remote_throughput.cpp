// Figures for the remote protocol on loopback: round trips per second of a small call
// and MiB/s of 1 MiB blob replies, over TCP and HTTP, each next to a plain socket doing
// the same exchange in the same run. Prints, asserts nothing.
//
//   bench_remote_throughput [seconds-per-figure]

#include "zxauthenticator.h"
#include "zxcallcontext.h"
#include "zxconnection.h"
#include "zxdispatcher.h"
#include "zxremoteserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>
#include <QtEndian>

#include <atomic>
#include <functional>
#include <future>
#include <thread>

namespace {

constexpr qint64 Chunk = 1024 * 1024;
constexpr qint64 SmallSize = 32;

class Anyone final : public TZxAuthenticator
{
public:
    TZxSessionInfo Authenticate(const QString &userName, const QString &) override
    {
        TZxSessionInfo info;
        info.Login = userName;
        return info;
    }
};

// The baseline: asked for n bytes with an 8-byte request, it answers n bytes.
class RawServer
{
public:
    RawServer()
    {
        std::promise<quint16> bound;
        std::future<quint16> port = bound.get_future();
        m_thread = std::thread([this, &bound] {
            QTcpServer server;
            server.listen(QHostAddress::LocalHost, 0);
            bound.set_value(server.serverPort());
            const QByteArray payload(Chunk, 'r');
            while (!m_stop) {
                if (!server.waitForNewConnection(50))
                    continue;
                QTcpSocket *socket = server.nextPendingConnection();
                socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                QByteArray pending;
                while (!m_stop && socket->state() == QAbstractSocket::ConnectedState) {
                    if (socket->bytesAvailable() == 0 && !socket->waitForReadyRead(50))
                        continue;
                    pending += socket->readAll();
                    while (pending.size() >= 8) {
                        const qint64 size = qFromBigEndian<qint64>(pending.constData());
                        pending.remove(0, 8);
                        socket->write(payload.constData(), size);
                        while (socket->bytesToWrite() > 0 && socket->waitForBytesWritten(1000)) {
                        }
                    }
                }
                delete socket;
            }
        });
        m_port = port.get();
    }
    ~RawServer()
    {
        m_stop = true;
        m_thread.join();
    }
    quint16 port() const { return m_port; }

private:
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    quint16 m_port = 0;
};

// Repeats one exchange for the given time; returns exchanges per second.
double rate(double seconds, const std::function<void()> &exchange)
{
    exchange(); // warm up: connections, buffers
    QElapsedTimer clock;
    clock.start();
    qint64 count = 0;
    while (clock.nsecsElapsed() < qint64(seconds * 1e9)) {
        exchange();
        ++count;
    }
    return double(count) / (double(clock.nsecsElapsed()) / 1e9);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? qBound(0.2, QByteArray(argv[1]).toDouble(), 8.0) : 2.0;
    QTextStream out(stdout);

    TZxDispatcher dispatcher;
    Anyone anyone;
    dispatcher.SetAuthenticator(&anyone);
    const QByteArray payload(Chunk, 'p');
    dispatcher.AddMethod(QStringLiteral("TBench"), QStringLiteral("Ping"),
                         {{QStringLiteral("Text"), TZxParamType::String, TZxParamDir::Input},
                          {ZxReturnValueName, TZxParamType::String, TZxParamDir::Result}},
                         [](TZxCallContext &c) { c.Param(ZxReturnValueName).SetString(c.Param(QStringLiteral("Text")).AsString()); });
    dispatcher.AddMethod(QStringLiteral("TBench"), QStringLiteral("Chunk"),
                         {{QStringLiteral("Size"), TZxParamType::Int64, TZxParamDir::Input},
                          {ZxReturnValueName, TZxParamType::Blob, TZxParamDir::Result}},
                         [&payload](TZxCallContext &c) {
                             c.Param(ZxReturnValueName).SetBytes(payload.left(c.Param(QStringLiteral("Size")).AsLargeInt()));
                         });
    TZxServerOptions options;
    options.Address = QHostAddress::LocalHost;
    options.TcpPort = 0;
    options.HttpPort = 0;
    TZxRemoteServer server(dispatcher, options);
    server.Start();
    RawServer raw;

    QTcpSocket rawSocket;
    rawSocket.connectToHost(QHostAddress::LocalHost, raw.port());
    rawSocket.waitForConnected(5000);
    rawSocket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    const auto rawExchange = [&](qint64 size) {
        QByteArray request(8, '\0');
        qToBigEndian(size, request.data());
        rawSocket.write(request);
        rawSocket.waitForBytesWritten(5000);
        qint64 received = 0;
        while (received < size) {
            if (rawSocket.bytesAvailable() == 0 && !rawSocket.waitForReadyRead(5000))
                return;
            received += rawSocket.read(size - received).size();
        }
    };

    const auto open = [&](const char *protocol, quint16 port) {
        auto connection = std::make_unique<TZxConnection>();
        connection->Params() = {QStringLiteral("DriverID=DS"), QStringLiteral("Server=127.0.0.1"),
                                QStringLiteral("Port=%1").arg(port), QStringLiteral("Protocol=") + QLatin1String(protocol),
                                QStringLiteral("User_Name=bench"), QStringLiteral("Password=")};
        connection->Open();
        return connection;
    };
    auto tcp = open("tcp/ip", server.TcpPort());
    auto http = open("http", server.HttpPort());
    const auto ping = [](TZxConnection &connection) {
        TZxParams params;
        params.Add(QStringLiteral("Text"), TZxParamType::String, TZxParamDir::Input).SetString(QStringLiteral("ping"));
        connection.Execute(QStringLiteral("TBench.Ping"), params);
    };
    const auto chunk = [](TZxConnection &connection) {
        TZxParams params;
        params.Add(QStringLiteral("Size"), TZxParamType::Int64, TZxParamDir::Input).SetLargeInt(Chunk);
        connection.Execute(QStringLiteral("TBench.Chunk"), params);
    };

    out << "Remote protocol on loopback, " << seconds << " s per figure\n\n";
    out << "Small call, round trips per second\n";
    const double rawSmall = rate(seconds, [&] { rawExchange(SmallSize); });
    out << QStringLiteral("  plain socket  %1/s\n").arg(rawSmall, 9, 'f', 0);
    for (const auto &[name, connection] : {std::pair{"tcp   ", tcp.get()}, std::pair{"http  ", http.get()}}) {
        const double calls = rate(seconds, [&] { ping(*connection); });
        out << QStringLiteral("  %1        %2/s   %3 of plain\n").arg(QLatin1String(name)).arg(calls, 9, 'f', 0).arg(calls / rawSmall, 0, 'f', 2);
    }
    out << "\n1 MiB blob replies, MiB/s\n";
    const double rawBulk = rate(seconds, [&] { rawExchange(Chunk); });
    out << QStringLiteral("  plain socket  %1 MiB/s\n").arg(rawBulk, 9, 'f', 1);
    for (const auto &[name, connection] : {std::pair{"tcp   ", tcp.get()}, std::pair{"http  ", http.get()}}) {
        const double bulk = rate(seconds, [&] { chunk(*connection); });
        out << QStringLiteral("  %1        %2 MiB/s   %3 of plain\n").arg(QLatin1String(name)).arg(bulk, 9, 'f', 1).arg(bulk / rawBulk, 0, 'f', 2);
    }
    out.flush();
    tcp.reset();
    http.reset();
    server.Stop();
    return 0;
}
