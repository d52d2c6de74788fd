// The qira-server program as an operator runs it: a demo store, the first
// administrator, the default rights, refused arguments, and a clean stop on signals.
#include "qirainfo.h"
#include "qiraserverclass.h"
#include "storebackend.h"
#include "zxbase.h"
#include "zxconnection.h"
#include "zxerror.h"
#include "zxstoredproc.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

namespace {

const QString Program = QStringLiteral(QIRA_SERVER_PROGRAM);

// One run of the program; stdout and stderr are collected as they come.
class ServerRun
{
public:
    explicit ServerRun(const QStringList &arguments, const QByteArray &input = {})
    {
        m_process.start(Program, arguments);
        m_process.waitForStarted(10000);
        if (!input.isNull()) {
            m_process.write(input);
            m_process.closeWriteChannel();
        }
    }

    ~ServerRun()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    // Waits for the line that names the ports; 0 when the program ended instead.
    quint16 waitForPort()
    {
        static const QRegularExpression serving(QStringLiteral("serving .*: tcp [0-9.]+:(\\d+)"));
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 60000) {
            const QRegularExpressionMatch match = serving.match(output());
            if (match.hasMatch())
                return quint16(match.captured(1).toUInt());
            if (m_process.state() == QProcess::NotRunning)
                return 0;
            m_process.waitForReadyRead(200);
        }
        return 0;
    }

    QString output()
    {
        m_out += m_process.readAllStandardOutput();
        m_err += m_process.readAllStandardError();
        return QString::fromUtf8(m_out);
    }
    QString errors()
    {
        output();
        return QString::fromUtf8(m_err);
    }

    // The exit code, or -1 when the program did not end normally in time.
    int finish(int signal = 0)
    {
        if (signal)
            ::kill(pid_t(m_process.processId()), signal);
        if (!m_process.waitForFinished(30000) || m_process.exitStatus() != QProcess::NormalExit) {
            // What the program said last tells why it ended this way.
            qWarning().noquote() << "qira-server did not end normally:" << m_process.errorString() << '\n'
                                 << output().right(2000) << '\n' << errors().right(2000);
            return -1;
        }
        output();
        return m_process.exitCode();
    }

private:
    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
};

std::unique_ptr<TZxConnection> signIn(quint16 port, const QString &login, const QString &password)
{
    auto connection = std::make_unique<TZxConnection>();
    connection->Params() = {QStringLiteral("DriverID=DS"), QStringLiteral("Port=") + QString::number(port),
                            QStringLiteral("Server=127.0.0.1"), QStringLiteral("Protocol=tcp/ip"),
                            QStringLiteral("User_Name=") + login, QStringLiteral("Password=") + TextMD5(password)};
    connection->Open();
    return connection;
}

bool hello(TZxConnection &c, const QString &login, const QString &password, TZxSessionInfo *record = nullptr)
{
    TZxSessionInfo info;
    info.Login = login;
    info.PasswdMd5 = TextMD5(password);
    TZxStoredProc sp(&c, QiraMethod(QStringLiteral("Hello")));
    sp.AddParam(QStringLiteral("ConnectInfo"), TZxParamType::String, TZxParamDir::InputOutput).SetString(GetZxSessionInfo(info));
    sp.ExecProc();
    if (record)
        *record = DecodeZxSessionInfo(sp.ParamByName(QStringLiteral("ConnectInfo")).AsString());
    return sp.ParamByName(ZxReturnValueName).AsBoolean();
}

TTreeRights rootRights(TZxConnection &c)
{
    TZxStoredProc sp(&c, QiraMethod(QStringLiteral("GetRights")));
    sp.AddParam(QStringLiteral("TreeID"), TZxParamType::String).SetString(QString());
    sp.ExecProc();
    return DecodeZxTreeRights(sp.ParamByName(ZxReturnValueName).AsString());
}

QStringList serve(TestStore &backend, const QString &dir, const QStringList &more = {})
{
    return backend.programArguments(dir)
           + QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--http-port"), QStringLiteral("0")}
           + more;
}

} // namespace

class TestServerProgram : public QObject
{
    Q_OBJECT

private slots:
    void demoServesAndStops_data();
    void demoServesAndStops();
    void firstAdministrator();
    void defaultRights_data();
    void defaultRights();
    void refusedArguments_data();
    void refusedArguments();
    void portInUse();
};

void TestServerProgram::demoServesAndStops_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestServerProgram::demoServesAndStops()
{
    QFETCH(int, signal);
    QTemporaryDir dir;
    TestStore backend;
    const QString data = dir.path() + QStringLiteral("/new/store");
    {
        ServerRun run(serve(backend, data, {QStringLiteral("--demo")}));
        const quint16 port = run.waitForPort();
        QVERIFY2(port, qPrintable(run.output() + run.errors()));
        const QString out = run.output();
        QVERIFY(out.contains(QStringLiteral("DEMO ONLY")));
        QVERIFY(out.contains(QStringLiteral("login admin  password admin")));
        QVERIFY(out.contains(QStringLiteral("login user  password user")));
        auto c = signIn(port, QStringLiteral("admin"), QStringLiteral("admin"));
        QVERIFY(hello(*c, QStringLiteral("admin"), QStringLiteral("admin")));
        c.reset();
        QCOMPARE(run.finish(signal), 0);
        QVERIFY(run.output().contains(QStringLiteral("Stopped.")));
        QVERIFY2(run.output().contains(QRegularExpression(QStringLiteral(" tcp admin TQiraServerClass.Hello [0-9.]+ ms ok"))),
                 qPrintable(run.output()));
    }
    // Started again on the same store, the demo is not filled twice.
    ServerRun again(serve(backend, data, {QStringLiteral("--demo")}));
    const quint16 port = again.waitForPort();
    QVERIFY2(port, qPrintable(again.errors()));
    QVERIFY(again.output().contains(QStringLiteral("already has users")));
    QVERIFY(!again.output().contains(QStringLiteral("DEMO ONLY")));
    auto c = signIn(port, QStringLiteral("user"), QStringLiteral("user"));
    QVERIFY(hello(*c, QStringLiteral("user"), QStringLiteral("user")));
    c.reset();
    QCOMPARE(again.finish(SIGTERM), 0);
}

void TestServerProgram::firstAdministrator()
{
    QTemporaryDir dir;
    TestStore backend;
    const QString data = dir.path();
    {
        ServerRun empty(serve(backend, data));
        QVERIFY(empty.waitForPort());
        QVERIFY(empty.output().contains(QStringLiteral("--init-admin")));
        QCOMPARE(empty.finish(SIGTERM), 0);
    }
    {
        ServerRun init(backend.programArguments(data) + QStringList{QStringLiteral("--init-admin"), QStringLiteral("boss")},
                       QByteArray("  тайна \n"));
        QCOMPARE(init.finish(), 0);
        QVERIFY(init.output().contains(QStringLiteral("created")));
    }
    {
        ServerRun twice(backend.programArguments(data) + QStringList{QStringLiteral("--init-admin"), QStringLiteral("boss")},
                        QByteArray("другой\n"));
        QCOMPARE(twice.finish(), 1);
        QVERIFY(twice.errors().contains(QStringLiteral("exists")));
    }
    {
        ServerRun blank(backend.programArguments(data) + QStringList{QStringLiteral("--init-admin"), QStringLiteral("chief")},
                        QByteArray(" \n"));
        QCOMPARE(blank.finish(), 1);
    }
    ServerRun run(serve(backend, data));
    const quint16 port = run.waitForPort();
    QVERIFY(port);
    // The password is taken like the client's: surrounding blanks do not count.
    auto c = signIn(port, QStringLiteral("boss"), QStringLiteral("тайна"));
    TZxSessionInfo record;
    QVERIFY(hello(*c, QStringLiteral("boss"), QStringLiteral("тайна"), &record));
    QCOMPARE(record.RoleID, QStringLiteral("1"));
    QString refused;
    try {
        signIn(port, QStringLiteral("chief"), QStringLiteral(" "));
    } catch (const EZxError &error) {
        refused = error.className();
    }
    QCOMPARE(refused, QStringLiteral("EQiraAuthError"));
    c.reset();
    QCOMPARE(run.finish(SIGTERM), 0);
}

void TestServerProgram::defaultRights_data()
{
    QTest::addColumn<QString>("rights");
    QTest::addColumn<QString>("expected");
    QTest::newRow("the default") << QString() << "rtree,rfile";
    QTest::newRow("none") << "none" << "";
    QTest::newRow("writers") << "rtree, RFILE,wfile" << "rtree,rfile,wfile";
}

// Rights on the top of the tree, where no branch has grants, are the default.
void TestServerProgram::defaultRights()
{
    QFETCH(QString, rights);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    TestStore backend;
    QStringList arguments = serve(backend, dir.path(), {QStringLiteral("--demo")});
    if (!rights.isNull())
        arguments << QStringLiteral("--default-rights") << rights;
    ServerRun run(arguments);
    const quint16 port = run.waitForPort();
    QVERIFY2(port, qPrintable(run.errors()));
    auto c = signIn(port, QStringLiteral("user"), QStringLiteral("user"));
    const TTreeRights got = rootRights(*c);
    QStringList flags;
    if (got.RTree)
        flags << QStringLiteral("rtree");
    if (got.WTree)
        flags << QStringLiteral("wtree");
    if (got.RFile)
        flags << QStringLiteral("rfile");
    if (got.WFile)
        flags << QStringLiteral("wfile");
    if (got.RMyFile)
        flags << QStringLiteral("rmyfile");
    QCOMPARE(flags.join(u','), expected);
    c.reset();
    QCOMPARE(run.finish(SIGTERM), 0);
}

void TestServerProgram::refusedArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("says");
    QTest::newRow("no data folder") << QStringList{} << "--data";
    QTest::newRow("port out of range") << QStringList{"--data", "@", "--port", "70000"} << "--port";
    QTest::newRow("port not a number") << QStringList{"--data", "@", "--http-port", "eighty"} << "--http-port";
    QTest::newRow("address") << QStringList{"--data", "@", "--listen", "localhost:211"} << "--listen";
    QTest::newRow("unknown right") << QStringList{"--data", "@", "--default-rights", "rtree,fly"} << "fly";
    QTest::newRow("demo and administrator") << QStringList{"--data", "@", "--demo", "--init-admin", "x"} << "--demo";
    QTest::newRow("stray argument") << QStringList{"--data", "@", "extra"} << "extra";
}

void TestServerProgram::refusedArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, says);
    QTemporaryDir dir;
    arguments.replaceInStrings(QStringLiteral("@"), dir.path());
    ServerRun run(arguments, QByteArray());
    QCOMPARE(run.finish(), 1);
    QVERIFY2(run.errors().contains(says), qPrintable(run.errors()));
    QVERIFY(!run.output().contains(QStringLiteral("serving")));
}

void TestServerProgram::portInUse()
{
    QTemporaryDir dir;
    TestStore firstStore;
    TestStore secondStore;
    ServerRun first(serve(firstStore, dir.path() + QStringLiteral("/a")));
    const quint16 port = first.waitForPort();
    QVERIFY(port);
    ServerRun second(secondStore.programArguments(dir.path() + QStringLiteral("/b"))
                     + QStringList{QStringLiteral("--port"), QString::number(port), QStringLiteral("--http-port"),
                                   QStringLiteral("0")});
    QCOMPARE(second.finish(), 1);
    QVERIFY(!second.errors().isEmpty());
    QCOMPARE(first.finish(SIGTERM), 0);
}

QTEST_GUILESS_MAIN(TestServerProgram)
#include "tst_serverprogram.moc"
