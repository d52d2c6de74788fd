#include "remotefixture.h"
#include "zxstoredproc.h"
#include "zxwaitcursor.h"

#include <QTcpServer>
#include <QTest>

#include <limits>
#include <thread>

namespace {

class RecordingCursor final : public TZxWaitCursor
{
public:
    RecordingCursor() { SetWaitCursor(this); }
    ~RecordingCursor() override { SetWaitCursor(nullptr); }
    void BusyOn() override { events.append(QStringLiteral("on")); }
    void BusyOff() override { events.append(QStringLiteral("off")); }
    QStringList events;
};

const QStringList transports{QStringLiteral("tcp"), QStringLiteral("http")};

void addTransportRows()
{
    QTest::addColumn<QString>("transport");
    for (const QString &transport : transports)
        QTest::newRow(qPrintable(transport)) << transport;
}

QString expectFailure(const std::function<void()> &step)
{
    try {
        step();
    } catch (const EZxError &error) {
        return error.className();
    }
    return QStringLiteral("(no exception)");
}

} // namespace

class TestRemoteCalls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void typesRoundTrip_data();
    void typesRoundTrip();
    void serverErrors_data();
    void serverErrors();
    void refusedLogin_data() { addTransportRows(); }
    void refusedLogin();
    void badConnectionParams_data();
    void badConnectionParams();
    void callWhileClosedIsRefused();
    void sessionAndStateAreKeptPerClient_data() { addTransportRows(); }
    void sessionAndStateAreKeptPerClient();
    void slowCallDoesNotBlockOthers_data() { addTransportRows(); }
    void slowCallDoesNotBlockOthers();
    void waitCursorAroundCalls();
    void uploadChunkFits_data() { addTransportRows(); }
    void uploadChunkFits();
    void sizeBounds_data() { addTransportRows(); }
    void sizeBounds();
    void clientReplyBound_data() { addTransportRows(); }
    void clientReplyBound();
    void httpSessionExpires();
    void httpReconnectsAfterIdleClose();
    void callLog();

private:
    std::unique_ptr<RemoteFixture> m_fx;
};

void TestRemoteCalls::initTestCase() { m_fx = std::make_unique<RemoteFixture>(); }

void TestRemoteCalls::cleanupTestCase() { m_fx.reset(); }

void TestRemoteCalls::typesRoundTrip_data()
{
    QTest::addColumn<QString>("transport");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("other");

    const QDateTime stamp(QDate(2024, 5, 1), QTime(10, 20, 30, 456));
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    struct Row
    {
        const char *name;
        TZxParamType type;
        QVariant value;
        QVariant other;
    };
    const QList<Row> rows{
        {"string", TZxParamType::String, QStringLiteral("Привет, мир 😀 \t\r\n"), QStringLiteral("x")},
        {"empty string", TZxParamType::String, QString(), QStringLiteral("x")},
        {"int32 min", TZxParamType::Int32, std::numeric_limits<qint32>::min(), 1},
        {"int32 max", TZxParamType::Int32, std::numeric_limits<qint32>::max(), 1},
        {"int64 min", TZxParamType::Int64, std::numeric_limits<qint64>::min(), qint64(1)},
        {"int64 max", TZxParamType::Int64, std::numeric_limits<qint64>::max(), qint64(1)},
        {"boolean true", TZxParamType::Boolean, true, false},
        {"boolean false", TZxParamType::Boolean, false, true},
        {"timestamp", TZxParamType::Timestamp, stamp, QDateTime::currentDateTime()},
        {"zero date", TZxParamType::Timestamp, QDateTime(QDate(1899, 12, 30), QTime(0, 0)), stamp},
        {"blob", TZxParamType::Blob, bytes, QByteArray("x")},
        {"empty blob", TZxParamType::Blob, QByteArray(""), QByteArray("x")},
    };
    for (const QString &transport : transports) {
        for (const Row &row : rows)
            QTest::addRow("%s %s", qPrintable(transport), row.name) << transport << int(row.type) << row.value << row.other;
        for (const TZxParamType type : {TZxParamType::String, TZxParamType::Int32, TZxParamType::Int64,
                                        TZxParamType::Boolean, TZxParamType::Timestamp, TZxParamType::Blob}) {
            const Row &sample = *std::find_if(rows.begin(), rows.end(), [&](const Row &r) { return r.type == type; });
            QTest::addRow("%s null %s", qPrintable(transport), qPrintable(ZxParamTypeName(type)))
                << transport << int(type) << QVariant() << sample.value;
        }
    }
}

// Every type in every direction, with the client naming parameters in other capitals
// than the server registered them.
void TestRemoteCalls::typesRoundTrip()
{
    QFETCH(QString, transport);
    QFETCH(int, type);
    QFETCH(QVariant, value);
    QFETCH(QVariant, other);
    const TZxParamType paramType = TZxParamType(type);

    auto connection = m_fx->open(transport);
    TZxStoredProc sp(connection.get(), QStringLiteral("TTest.Echo_") + ZxParamTypeName(paramType));
    sp.Close();
    sp.AddParam(QStringLiteral("in"), paramType).SetTypedValue(paramType, value);
    sp.AddParam(QStringLiteral("IO"), paramType, TZxParamDir::InputOutput).SetTypedValue(paramType, other);
    sp.ExecProc();

    QCOMPARE(sp.Params().Count(), 4);
    for (const QString &name : {QStringLiteral("OUT"), QStringLiteral("io"), QStringLiteral("returnvalue")}) {
        const TZxParam &param = sp.ParamByName(name);
        QCOMPARE(param.DataType(), paramType);
        QCOMPARE(param.IsNull(), !value.isValid());
        if (paramType == TZxParamType::Timestamp)
            QCOMPARE(param.AsDateTime(), value.toDateTime());
        else
            QCOMPARE(param.Value(), value);
    }
}

void TestRemoteCalls::serverErrors_data()
{
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("errorClass");
    QTest::addColumn<bool>("handlerRuns");
    for (const QString &transport : transports) {
        const auto row = [&](const char *name, const char *method, const char *setup, const QString &errorClass,
                             bool handlerRuns) {
            QTest::addRow("%s %s", qPrintable(transport), name)
                << transport << QString::fromLatin1(method) << QString::fromLatin1(setup) << errorClass << handlerRuns;
        };
        row("wrong parameter type", "TTest.Echo", "Text as int64", ZxRemoteClass::ParamError, false);
        row("unknown parameter", "TTest.Echo", "Extra", ZxRemoteClass::ParamError, false);
        row("output sent as input", "TTest.Echo_string", "Out as input", ZxRemoteClass::ParamError, false);
        row("unknown method", "TTest.NoSuchMethod", "", ZxRemoteClass::UnknownMethod, false);
        row("method name case", "TTest.echo", "", ZxRemoteClass::UnknownMethod, false);
        row("handler failure", "TTest.Fail", "", QStringLiteral("ETestFailure"), true);
        row("handler crash", "TTest.Crash", "", ZxRemoteClass::ServerError, true);
        row("handler returns wrong type", "TTest.WrongType", "", ZxRemoteClass::ServerError, true);
    }
}

// Each refusal reaches the caller as the server's class, and the connection serves on.
void TestRemoteCalls::serverErrors()
{
    QFETCH(QString, transport);
    QFETCH(QString, method);
    QFETCH(QString, setup);
    QFETCH(QString, errorClass);
    QFETCH(bool, handlerRuns);

    auto connection = m_fx->open(transport);
    TZxStoredProc sp(connection.get(), method);
    if (setup == QStringLiteral("Text as int64"))
        sp.AddParam(QStringLiteral("Text"), TZxParamType::Int64).SetLargeInt(5);
    else if (setup == QStringLiteral("Extra"))
        sp.AddParam(QStringLiteral("Extra"), TZxParamType::String).SetString(QStringLiteral("x"));
    else if (setup == QStringLiteral("Out as input"))
        sp.AddParam(QStringLiteral("Out"), TZxParamType::String).SetString(QStringLiteral("x"));

    const int callsBefore = m_fx->handlerCalls;
    try {
        sp.ExecProc();
        QFAIL("no exception");
    } catch (const EZxError &error) {
        QCOMPARE(error.className(), errorClass);
        QVERIFY(!error.message().isEmpty());
    }
    if (!handlerRuns)
        QCOMPARE(m_fx->handlerCalls.load(), callsBefore);
    QVERIFY(connection->Connected());
    QCOMPARE(RemoteFixture::echo(*connection, QStringLiteral("после")), QStringLiteral("после"));
}

void TestRemoteCalls::refusedLogin()
{
    QFETCH(QString, transport);
    TZxConnection connection;
    connection.Params() = RemoteFixture::params(transport, m_fx->port(transport), RemoteFixture::User,
                                                QStringLiteral("wrong"));
    try {
        connection.Open();
        QFAIL("no exception");
    } catch (const EZxError &error) {
        QCOMPARE(error.className(), QStringLiteral("EAuthRefused"));
        QCOMPARE(error.message(), QStringLiteral("Неверное имя пользователя или пароль"));
    }
    QVERIFY(!connection.Connected());
    connection.Params() = RemoteFixture::params(transport, m_fx->port(transport));
    connection.Open();
    QVERIFY(connection.Connected());
    QCOMPARE(RemoteFixture::echo(connection, QStringLiteral("вошёл")), QStringLiteral("вошёл"));
}

void TestRemoteCalls::badConnectionParams_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("port not a number") << "Port" << "21a";
    QTest::newRow("port out of range") << "Port" << "70000";
    QTest::newRow("unknown protocol") << "Protocol" << "ftp";
    QTest::newRow("plain password") << "Password" << "secret";
    QTest::newRow("uppercase digest") << "Password" << TextMD5(QStringLiteral("secret")).toUpper();
}

void TestRemoteCalls::badConnectionParams()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    TZxConnection connection;
    QStringList params = RemoteFixture::params(QStringLiteral("tcp"), m_fx->port(QStringLiteral("tcp")));
    for (QString &item : params)
        if (item.startsWith(key + u'='))
            item = key + u'=' + value;
    connection.Params() = params;
    QVERIFY_THROWS_EXCEPTION(ERemoteConnectionError, connection.Open());
    QVERIFY(!connection.Connected());
}

void TestRemoteCalls::callWhileClosedIsRefused()
{
    TZxConnection connection;
    TZxParams params;
    QVERIFY_THROWS_EXCEPTION(ERemoteConnectionError, connection.Execute(QStringLiteral("TTest.Echo"), params));

    // Nothing listens on a port just released.
    quint16 freePort;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        freePort = probe.serverPort();
    }
    connection.Params() = RemoteFixture::params(QStringLiteral("tcp"), freePort);
    QVERIFY_THROWS_EXCEPTION(ERemoteConnectionError, connection.Open());
    QVERIFY(!connection.Connected());
}

void TestRemoteCalls::sessionAndStateAreKeptPerClient()
{
    QFETCH(QString, transport);
    auto first = m_fx->open(transport);
    auto second = m_fx->open(transport);
    const auto count = [](TZxConnection &connection) {
        TZxParams params;
        connection.Execute(QStringLiteral("TTest.Count"), params);
        return params.ParamByName(ZxReturnValueName).AsLargeInt();
    };
    QCOMPARE(count(*first), 1);
    QCOMPARE(count(*first), 2);
    QCOMPARE(count(*second), 1);
    QCOMPARE(count(*first), 3);

    TZxParams who;
    first->Execute(QStringLiteral("TTest.WhoAmI"), who);
    QCOMPARE(who.ParamByName(ZxReturnValueName).AsString(), QStringLiteral("ivanov/u1/") + transport);
}

void TestRemoteCalls::slowCallDoesNotBlockOthers()
{
    QFETCH(QString, transport);
    QMutex lock;
    QStringList events;
    const auto note = [&](const QString &event) {
        QMutexLocker locker(&lock);
        events.append(event);
    };
    const QStringList params = RemoteFixture::params(transport, m_fx->port(transport));
    std::thread slowClient([&] {
        try {
            TZxConnection connection;
            connection.Params() = params;
            connection.Open();
            TZxParams slow;
            connection.Execute(QStringLiteral("TTest.Slow"), slow);
            note(QStringLiteral("slow returned ") + slow.ParamByName(ZxReturnValueName).AsString());
        } catch (const EZxError &error) {
            note(QStringLiteral("slow failed ") + error.className());
        }
    });
    struct Joiner
    {
        RemoteFixture &fx;
        std::thread &thread;
        // Only when the test left early: let the slow call end and wait for it.
        ~Joiner()
        {
            if (thread.joinable()) {
                fx.slowRelease.release();
                thread.join();
            }
        }
    } joiner{*m_fx, slowClient};

    QVERIFY(m_fx->slowEntered.tryAcquire(1, 30000));
    note(QStringLiteral("slow entered"));
    auto fast = m_fx->open(transport);
    QCOMPARE(RemoteFixture::echo(*fast, QStringLiteral("быстро")), QStringLiteral("быстро"));
    note(QStringLiteral("fast done"));
    m_fx->slowRelease.release();
    slowClient.join();
    QMutexLocker locker(&lock);
    QCOMPARE(events, QStringList({QStringLiteral("slow entered"), QStringLiteral("fast done"),
                                  QStringLiteral("slow returned slow")}));
}

void TestRemoteCalls::waitCursorAroundCalls()
{
    RecordingCursor cursor;
    auto connection = m_fx->open(QStringLiteral("tcp"));
    cursor.events.clear();

    RemoteFixture::echo(*connection, QStringLiteral("a"));
    QCOMPARE(cursor.events, QStringList({QStringLiteral("on"), QStringLiteral("off")}));

    cursor.events.clear();
    TZxParams params;
    QCOMPARE(expectFailure([&] { connection->Execute(QStringLiteral("TTest.Fail"), params); }),
             QStringLiteral("ETestFailure"));
    QCOMPARE(cursor.events, QStringList({QStringLiteral("on"), QStringLiteral("off")}));

    cursor.events.clear();
    TZxConnection refused;
    refused.Params() = RemoteFixture::params(QStringLiteral("tcp"), m_fx->port(QStringLiteral("tcp")),
                                             RemoteFixture::User, QStringLiteral("wrong"));
    QCOMPARE(expectFailure([&] { refused.Open(); }), QStringLiteral("EAuthRefused"));
    QCOMPARE(cursor.events, QStringList({QStringLiteral("on"), QStringLiteral("off")}));
}

// One upload chunk of 10 MiB and its parameters travel within the default bounds.
void TestRemoteCalls::uploadChunkFits()
{
    QFETCH(QString, transport);
    auto connection = m_fx->open(transport);
    QByteArray chunk(10 * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < chunk.size(); ++i)
        chunk[i] = char(i * 7 + (i >> 13));
    TZxStoredProc sp(connection.get(), QStringLiteral("TTest.Blob"));
    sp.AddParam(QStringLiteral("Data"), TZxParamType::Blob).SetBytes(chunk);
    sp.ExecProc();
    QVERIFY(sp.ParamByName(ZxReturnValueName).AsBytes() == chunk);
}

// Requests and replies over the server's bounds are refused with an error reply and the
// connection serves on; a request over the client's own bound is never sent.
void TestRemoteCalls::sizeBounds()
{
    QFETCH(QString, transport);
    TZxServerOptions options = RemoteFixture::defaultOptions();
    options.MaxRequestSize = 64 * 1024;
    options.MaxReplySize = 64 * 1024;
    RemoteFixture small(options);
    auto connection = small.open(transport);

    TZxStoredProc upload(connection.get(), QStringLiteral("TTest.Blob"));
    upload.AddParam(QStringLiteral("Data"), TZxParamType::Blob).SetBytes(QByteArray(200 * 1024, 'u'));
    QCOMPARE(expectFailure([&] { upload.ExecProc(); }), ZxRemoteClass::ProtocolError);
    QVERIFY(connection->Connected());
    QCOMPARE(RemoteFixture::echo(*connection, QStringLiteral("1")), QStringLiteral("1"));

    TZxStoredProc big(connection.get(), QStringLiteral("TTest.Big"));
    big.AddParam(QStringLiteral("Size"), TZxParamType::Int64).SetLargeInt(100 * 1024);
    QCOMPARE(expectFailure([&] { big.ExecProc(); }), ZxRemoteClass::ProtocolError);
    QVERIFY(connection->Connected());
    QCOMPARE(RemoteFixture::echo(*connection, QStringLiteral("2")), QStringLiteral("2"));

    connection->SetMaxRequestSize(1000);
    upload.ParamByName(QStringLiteral("Data")).SetBytes(QByteArray(2000, 'u'));
    QCOMPARE(expectFailure([&] { upload.ExecProc(); }), ZxRemoteClass::ProtocolError);
    QVERIFY(connection->Connected());
    QCOMPARE(RemoteFixture::echo(*connection, QStringLiteral("3")), QStringLiteral("3"));
}

// A reply over the client's bound is not read: the connection closes and opens again.
void TestRemoteCalls::clientReplyBound()
{
    QFETCH(QString, transport);
    auto connection = m_fx->open(transport);
    connection->SetMaxReplySize(1000);
    TZxStoredProc big(connection.get(), QStringLiteral("TTest.Big"));
    big.AddParam(QStringLiteral("Size"), TZxParamType::Int64).SetLargeInt(10);
    big.ExecProc();
    QCOMPARE(big.ParamByName(ZxReturnValueName).AsBytes().size(), 10);
    big.ParamByName(QStringLiteral("Size")).SetLargeInt(5000);
    QCOMPARE(expectFailure([&] { big.ExecProc(); }), QStringLiteral("ERemoteProtocolError"));
    QVERIFY(!connection->Connected());
    // No stale result survives a failed call.
    QVERIFY(big.ParamByName(ZxReturnValueName).IsNull());
    connection->Open();
    QCOMPARE(RemoteFixture::echo(*connection, QStringLiteral("снова")), QStringLiteral("снова"));
}

void TestRemoteCalls::httpSessionExpires()
{
    TZxServerOptions options = RemoteFixture::defaultOptions();
    options.SessionIdleTimeoutMs = 50;
    RemoteFixture expiring(options);
    auto connection = expiring.open(QStringLiteral("http"));
    QCOMPARE(expiring.dispatcher.HttpSessionCount(), 1);
    QTRY_COMPARE(expiring.dispatcher.HttpSessionCount(), 0);
    QCOMPARE(expectFailure([&] { RemoteFixture::echo(*connection, QStringLiteral("x")); }),
             ZxRemoteClass::NotConnected);
    QVERIFY(!connection->Connected());
    connection->Open();
    QCOMPARE(RemoteFixture::echo(*connection, QStringLiteral("y")), QStringLiteral("y"));

    // Closing ends the session at once.
    auto other = m_fx->open(QStringLiteral("http"));
    const int sessions = m_fx->dispatcher.HttpSessionCount();
    other->Close();
    QCOMPARE(m_fx->dispatcher.HttpSessionCount(), sessions - 1);
}

void TestRemoteCalls::httpReconnectsAfterIdleClose()
{
    TZxServerOptions options = RemoteFixture::defaultOptions();
    options.KeepAliveTimeoutMs = 50;
    RemoteFixture closing(options);
    auto connection = closing.open(QStringLiteral("http"));
    QCOMPARE(RemoteFixture::echo(*connection, QStringLiteral("1")), QStringLiteral("1"));
    // The server drops the idle kept-alive socket meanwhile; the session stays.
    QTest::qWait(300);
    QCOMPARE(RemoteFixture::echo(*connection, QStringLiteral("2")), QStringLiteral("2"));
    QVERIFY(connection->Connected());
}

void TestRemoteCalls::callLog()
{
    auto connection = m_fx->open(QStringLiteral("tcp"));
    RemoteFixture::echo(*connection, QStringLiteral("log"));
    TZxParams params;
    expectFailure([&] { connection->Execute(QStringLiteral("TTest.Fail"), params); });
    const QStringList lines = m_fx->logSnapshot();
    const auto has = [&](const QString &part) {
        return std::any_of(lines.begin(), lines.end(), [&](const QString &line) { return line.contains(part); });
    };
    QVERIFY(has(QStringLiteral(" tcp ivanov connect ")));
    QVERIFY(has(QStringLiteral(" tcp ivanov TTest.Echo ")));
    QVERIFY(has(QStringLiteral(" ms ok")));
    QVERIFY(has(QStringLiteral(" tcp ivanov TTest.Fail ")));
    QVERIFY(has(QStringLiteral(" ms ETestFailure: Отказ по просьбе теста")));
}

QTEST_GUILESS_MAIN(TestRemoteCalls)
#include "tst_remotecalls.moc"
