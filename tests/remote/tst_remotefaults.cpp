#include "fakeserver.h"
#include "remotefixture.h"

#include <QTest>

namespace {

QByteArray callBytes()
{
    TZxRemoteMessage call;
    call.Kind = TZxMessageKind::Call;
    call.Id = 7;
    call.Method = QStringLiteral("TTest.Echo");
    TZxParam text(QStringLiteral("Text"), TZxParamType::String, TZxParamDir::Input);
    text.SetString(QStringLiteral("x"));
    call.Params = {text};
    return call.Encode();
}

QByteArray connectBytes()
{
    TZxRemoteMessage connect;
    connect.Kind = TZxMessageKind::Connect;
    connect.Id = 1;
    connect.Version = ZxProtocolVersion;
    connect.UserName = RemoteFixture::User;
    connect.Password = TextMD5(RemoteFixture::Password);
    return connect.Encode();
}

QByteArray post(const QByteArray &body, const QByteArray &extra = {})
{
    return "POST /qira HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/cbor\r\nContent-Length: "
           + QByteArray::number(body.size()) + "\r\n" + extra + "\r\n" + body;
}

// Reads one HTTP response from a raw socket; status 0 when the server closed instead.
struct RawResponse
{
    int status = 0;
    TZxRemoteMessage message;
    bool keepAlive = false;
};

RawResponse readResponse(QTcpSocket &socket)
{
    TZxHttpParser parser(TZxHttpParser::TMode::Response, 1 << 20);
    RawResponse response;
    while (true) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(5000))
            return response;
        parser.Append(socket.readAll());
        if (parser.Next() == TZxHttpParser::TStep::Message)
            break;
    }
    response.status = parser.Status();
    response.keepAlive = parser.KeepAlive();
    response.message = TZxRemoteMessage::Decode(parser.Body());
    return response;
}

bool closedByServer(QTcpSocket &socket)
{
    while (socket.state() == QAbstractSocket::ConnectedState)
        if (!socket.waitForReadyRead(5000) && socket.state() == QAbstractSocket::ConnectedState)
            return false;
        else
            socket.readAll();
    return true;
}

} // namespace

class TestRemoteFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void badTcpInput_data();
    void badTcpInput();
    void badHttpInput_data();
    void badHttpInput();
    void misbehavingServer_data();
    void misbehavingServer();

private:
    std::unique_ptr<RemoteFixture> m_fx;
};

void TestRemoteFaults::initTestCase() { m_fx = std::make_unique<RemoteFixture>(); }

void TestRemoteFaults::cleanupTestCase() { m_fx.reset(); }

void TestRemoteFaults::badTcpInput_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("errorClass"); // empty: the server closes the connection
    QTest::addColumn<bool>("usableAfter");

    const QByteArray call = callBytes();
    QByteArray oversized(4, '\0');
    qToBigEndian(quint32(17 * 1024 * 1024), oversized.data());
    oversized += QByteArray(17 * 1024 * 1024, 'x');
    QByteArray truncated(4, '\0');
    qToBigEndian(quint32(100), truncated.data());
    truncated += QByteArray(10, 'x');
    TZxRemoteMessage result;
    result.Kind = TZxMessageKind::Result;
    result.Id = 3;

    QTest::newRow("garbage bytes") << QByteArray("GARBAGE BYTES, NOT A FRAME") << ZxRemoteClass::ProtocolError << false;
    QTest::newRow("oversized frame, skipped whole") << oversized << ZxRemoteClass::ProtocolError << true;
    QTest::newRow("empty frame") << FakeServer::frame({}) << ZxRemoteClass::ProtocolError << true;
    QTest::newRow("frame of text") << FakeServer::frame("hello") << ZxRemoteClass::ProtocolError << true;
    QTest::newRow("frame of half a message") << FakeServer::frame(call.left(call.size() / 2))
                                             << ZxRemoteClass::ProtocolError << true;
    QTest::newRow("call before connect") << FakeServer::frame(call) << ZxRemoteClass::NotConnected << true;
    QTest::newRow("reply sent as request") << FakeServer::frame(result.Encode()) << ZxRemoteClass::ProtocolError << true;
    QTest::newRow("truncated frame") << truncated << QString() << false;
}

// Bad input from a raw client gets an error reply, or the connection closed when the
// framing cannot go on; the server keeps serving a well-behaved client.
void TestRemoteFaults::badTcpInput()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, errorClass);
    QFETCH(bool, usableAfter);

    QTcpSocket raw;
    raw.connectToHost(QHostAddress::LocalHost, m_fx->port(QStringLiteral("tcp")));
    QVERIFY(raw.waitForConnected(5000));
    FakeServer::send(raw, bytes);
    if (errorClass.isEmpty()) {
        QVERIFY(closedByServer(raw));
    } else {
        const TZxRemoteMessage reply = FakeServer::readFrame(raw);
        QCOMPARE(reply.Kind, TZxMessageKind::Error);
        QCOMPARE(reply.ErrorClass, errorClass);
        QVERIFY(!reply.ErrorMessage.isEmpty());
    }
    if (usableAfter) {
        FakeServer::send(raw, FakeServer::frame(connectBytes()));
        QCOMPARE(FakeServer::readFrame(raw).Kind, TZxMessageKind::Connected);
    }
    QVERIFY(m_fx->servesAnotherClient(QStringLiteral("tcp")));
}

void TestRemoteFaults::badHttpInput_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status"); // 0: the server closes the connection
    QTest::addColumn<QString>("errorClass");
    QTest::addColumn<bool>("keptAlive");

    const QByteArray call = callBytes();
    const QString protocol = ZxRemoteClass::ProtocolError;
    QTest::newRow("GET") << QByteArray("GET /qira HTTP/1.1\r\nHost: x\r\n\r\n") << 405 << protocol << true;
    QTest::newRow("wrong path") << post(call).replace("/qira", "/other") << 404 << protocol << true;
    QTest::newRow("no length") << QByteArray("POST /qira HTTP/1.1\r\nHost: x\r\n\r\n") << 411 << protocol << false;
    QTest::newRow("chunked body")
        << QByteArray("POST /qira HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n")
        << 501 << protocol << false;
    QTest::newRow("bad request line") << QByteArray("HELLO\r\n\r\n") << 400 << protocol << false;
    QTest::newRow("garbage") << QByteArray("\x01\x02 GARBAGE\r\n\r\n") << 400 << protocol << false;
    QTest::newRow("head too long") << "POST /qira HTTP/1.1\r\nX-Long: " + QByteArray(20000, 'a') << 431 << protocol
                                   << false;
    QTest::newRow("body too large, skipped whole")
        << post(QByteArray(17 * 1024 * 1024, 'x')) << 413 << protocol << true;
    QTest::newRow("body of text") << post("hello") << 200 << protocol << true;
    QTest::newRow("call without session") << post(call) << 200 << ZxRemoteClass::NotConnected << true;
    QTest::newRow("unknown session") << post(call, "X-Qira-Session: 00000000000000000000000000000000\r\n") << 200
                                     << ZxRemoteClass::NotConnected << true;
    QTest::newRow("truncated body") << post(call).chopped(3) << 0 << QString() << false;
}

void TestRemoteFaults::badHttpInput()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    QFETCH(QString, errorClass);
    QFETCH(bool, keptAlive);

    QTcpSocket raw;
    raw.connectToHost(QHostAddress::LocalHost, m_fx->port(QStringLiteral("http")));
    QVERIFY(raw.waitForConnected(5000));
    FakeServer::send(raw, bytes);
    const RawResponse response = readResponse(raw);
    QCOMPARE(response.status, status);
    if (status != 0) {
        QCOMPARE(response.message.Kind, TZxMessageKind::Error);
        QCOMPARE(response.message.ErrorClass, errorClass);
        QCOMPARE(response.keepAlive, keptAlive);
    }
    if (keptAlive) {
        FakeServer::send(raw, post(connectBytes()));
        const RawResponse connected = readResponse(raw);
        QCOMPARE(connected.status, 200);
        QCOMPARE(connected.message.Kind, TZxMessageKind::Connected);
    } else {
        QVERIFY(closedByServer(raw));
    }
    QVERIFY(m_fx->servesAnotherClient(QStringLiteral("http")));
}

void TestRemoteFaults::misbehavingServer_data()
{
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("errorClass");
    const QString connection = QStringLiteral("ERemoteConnectionError");
    const QString timeout = QStringLiteral("ERemoteTimeout");
    const QString protocol = QStringLiteral("ERemoteProtocolError");
    const auto row = [](const char *transport, const char *fault, const QString &errorClass) {
        QTest::addRow("%s %s", transport, fault)
            << QString::fromLatin1(transport) << QString::fromLatin1(fault) << errorClass;
    };
    for (const char *transport : {"tcp", "http"}) {
        row(transport, "silent at connect", timeout);
        row(transport, "closes at connect", connection);
        row(transport, "closes before reply", connection);
        row(transport, "closes mid-reply", connection);
        row(transport, "never answers", timeout);
        row(transport, "garbage reply", protocol);
        row(transport, "reply not cbor", protocol);
        row(transport, "reply too large", protocol);
        row(transport, "reply to another call", protocol);
        row(transport, "reply of wrong kind", protocol);
    }
    row("http", "error page", protocol);
    row("http", "chunked reply", protocol);
    row("http", "reply without length", protocol);
}

// A server that breaks the protocol gives the caller a clear exception; the connection
// is closed and opens again, here against the real server.
void TestRemoteFaults::misbehavingServer()
{
    QFETCH(QString, transport);
    QFETCH(QString, fault);
    QFETCH(QString, errorClass);
    const bool http = transport == QStringLiteral("http");

    FakeServer fake([&](QTcpSocket &socket, FakeServer &server) {
        const auto read = [&] { return http ? FakeServer::readHttp(socket) : FakeServer::readFrame(socket); };
        const auto reply = [&](const QByteArray &message) {
            FakeServer::send(socket, http ? FakeServer::httpReply(message) : FakeServer::frame(message));
        };
        if (fault == QStringLiteral("silent at connect")) {
            server.hold(socket);
            return;
        }
        const TZxRemoteMessage connect = read();
        if (fault == QStringLiteral("closes at connect"))
            return;
        reply(FakeServer::connected(connect.Id));
        const TZxRemoteMessage call = read();
        TZxRemoteMessage result;
        result.Kind = TZxMessageKind::Result;
        result.Id = call.Id;
        if (fault == QStringLiteral("closes before reply"))
            return;
        if (fault == QStringLiteral("closes mid-reply")) {
            const QByteArray whole = http ? FakeServer::httpReply(result.Encode()) : FakeServer::frame(result.Encode());
            FakeServer::send(socket, whole.left(whole.size() - 2));
            return;
        }
        if (fault == QStringLiteral("never answers")) {
            server.hold(socket);
        } else if (fault == QStringLiteral("garbage reply")) {
            FakeServer::send(socket, "this is not a reply at all\r\n\r\n");
        } else if (fault == QStringLiteral("reply not cbor")) {
            reply("hello");
        } else if (fault == QStringLiteral("reply too large")) {
            FakeServer::send(socket, http ? QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 600000000\r\n\r\n")
                                          : QByteArray("\xff\xff\xff\xff", 4));
        } else if (fault == QStringLiteral("reply to another call")) {
            result.Id = call.Id + 100;
            reply(result.Encode());
        } else if (fault == QStringLiteral("reply of wrong kind")) {
            reply(FakeServer::connected(call.Id));
        } else if (fault == QStringLiteral("error page")) {
            FakeServer::send(socket, FakeServer::httpReply("<h1>oops</h1>", "500 Internal Server Error", "text/html"));
        } else if (fault == QStringLiteral("chunked reply")) {
            FakeServer::send(socket, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n");
        } else if (fault == QStringLiteral("reply without length")) {
            FakeServer::send(socket, "HTTP/1.1 200 OK\r\nContent-Type: application/cbor\r\n\r\n" + result.Encode());
        }
        server.hold(socket);
    });

    TZxConnection connection;
    connection.SetConnectTimeout(5000);
    connection.SetCallTimeout(300);
    connection.Params() = RemoteFixture::params(transport, fake.port());
    QString caught;
    try {
        connection.Open();
        RemoteFixture::echo(connection, QStringLiteral("x"));
    } catch (const EZxError &error) {
        caught = error.className();
        QVERIFY(!error.message().isEmpty());
    }
    QCOMPARE(caught, errorClass);
    QVERIFY(!connection.Connected());

    connection.Params() = RemoteFixture::params(transport, m_fx->port(transport));
    connection.Open();
    QCOMPARE(RemoteFixture::echo(connection, QStringLiteral("настоящий")), QStringLiteral("настоящий"));
    QVERIFY(m_fx->servesAnotherClient(transport));
}

QTEST_GUILESS_MAIN(TestRemoteFaults)
#include "tst_remotefaults.moc"
