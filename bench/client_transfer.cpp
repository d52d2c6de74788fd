// The client's chunked transfer against a local qira-server, beside common tools doing
// the same work on the same machine in the same run:
//   download: GetBigFile into a new local file  vs  curl from nginx into a new file;
//   upload:   SendFileToServer (MD5, change bracket, chunks)  vs  md5sum + curl to a
//             local sink that reads every byte.
// Prints MB/s and ratios; asserts nothing.
//
//   bench_client_transfer [--size MiB] [--runs N] [--server PATH] [--nginx PATH] [--curl PATH]
#include "dmqiraclientdatas.h"
#include "qiraclientview.h"
#include "qiraserverclass.h"
#include "zxbase.h"
#include "zxdataset.h"
#include "zxinifile.h"
#include "zxroot.h"
#include "zxstoredproc.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

#ifndef QIRA_SERVER_BINARY
#define QIRA_SERVER_BINARY "qira-server"
#endif

namespace {

class BenchView : public TQiraClientView
{
public:
    void ShowMess(bool) override {}
    QString SelectedTreeID() const override { return branch; }
    QString branch;
};

void say(const QString &text)
{
    std::fputs(qPrintable(text + u'\n'), stdout);
    std::fflush(stdout);
}

[[noreturn]] void fail(const QString &text)
{
    std::fputs(qPrintable(QStringLiteral("bench_client_transfer: ") + text + u'\n'), stderr);
    std::exit(1);
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool waitForPort(quint16 port, QProcess &process)
{
    for (int i = 0; i < 200; ++i) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(100))
            return true;
        if (process.state() == QProcess::NotRunning)
            return false;
        QThread::msleep(50);
    }
    return false;
}

QString md5Of(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(&file);
    return QString::fromLatin1(hash.result().toHex());
}

void writeRandomFile(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("cannot write %1").arg(path));
    QRandomGenerator generator(20250311);
    QByteArray block(4 << 20, Qt::Uninitialized);
    for (qint64 written = 0; written < size;) {
        generator.fillRange(reinterpret_cast<quint32 *>(block.data()), int(block.size() / 4));
        const qint64 part = qMin<qint64>(block.size(), size - written);
        file.write(block.constData(), part);
        written += part;
    }
}

// Runs a program to its end; the wall time in seconds, or -1 when it failed.
double runTimed(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    if (!process.waitForFinished(600000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return -1;
    return clock.nsecsElapsed() / 1e9;
}

// An HTTP sink on a thread of its own: reads each request with its whole body, then
// answers 204. Counts what it read, so that a baseline cannot skip the bytes.
class Sink
{
public:
    Sink()
    {
        std::atomic<quint16> bound{0};
        m_thread = std::thread([this, &bound] {
            QTcpServer server;
            server.listen(QHostAddress::LocalHost, 0);
            bound = server.serverPort();
            while (!m_stop) {
                if (!server.waitForNewConnection(50))
                    continue;
                while (QTcpSocket *socket = server.nextPendingConnection()) {
                    serve(*socket);
                    delete socket;
                }
            }
        });
        while (bound == 0)
            QThread::msleep(5);
        m_port = bound;
    }
    ~Sink()
    {
        m_stop = true;
        m_thread.join();
    }
    quint16 port() const { return m_port; }
    qint64 lastBody() const { return m_lastBody; }

private:
    void serve(QTcpSocket &socket)
    {
        QByteArray head;
        while (!head.contains("\r\n\r\n")) {
            if (!socket.waitForReadyRead(10000))
                return;
            head += socket.readAll();
        }
        const qsizetype end = head.indexOf("\r\n\r\n") + 4;
        qint64 length = 0;
        for (const QByteArray &line : head.left(end).split('\n'))
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        qint64 body = head.size() - end;
        char buffer[1 << 16];
        while (body < length) {
            if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(10000))
                break;
            body += socket.read(buffer, sizeof buffer);
        }
        m_lastBody = body;
        socket.write("HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n");
        socket.waitForBytesWritten(5000);
        socket.disconnectFromHost();
    }

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_lastBody{0};
    quint16 m_port = 0;
};

// CPU seconds a process has used so far (user and system).
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // fields 14 and 15 of the line, counted after the command name
    return fields.size() > 12 ? (fields.at(11).toDouble() + fields.at(12).toDouble()) / double(sysconf(_SC_CLK_TCK)) : 0;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

QString rate(qint64 bytes, double seconds)
{
    return seconds > 0 ? QString::number(bytes / 1e6 / seconds, 'f', 1) + QStringLiteral(" MB/s") : QStringLiteral("failed");
}

QString runs(const QList<double> &seconds)
{
    QStringList parts;
    for (double s : seconds)
        parts.append(QString::number(s * 1000, 'f', 0) + QStringLiteral(" ms"));
    return parts.join(QStringLiteral(", "));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto option = [&args](const QString &name, const QString &fallback) {
        const qsizetype at = args.indexOf(name);
        return at >= 0 && at + 1 < args.size() ? args.at(at + 1) : fallback;
    };
    const qint64 size = option(QStringLiteral("--size"), QStringLiteral("256")).toLongLong() * 1048576;
    const int repeat = qMax(1, option(QStringLiteral("--runs"), QStringLiteral("3")).toInt());
    const QString serverBinary = option(QStringLiteral("--server"), QString::fromUtf8(QIRA_SERVER_BINARY));
    const QString nginx = option(QStringLiteral("--nginx"), QStringLiteral("/usr/sbin/nginx"));
    const QString curl = option(QStringLiteral("--curl"), QStringLiteral("curl"));
    const QString md5sum = QStringLiteral("md5sum");

    QTemporaryDir work;
    SetSettingsFilePath(work.filePath(QStringLiteral("client.ini")));
    const QString www = work.filePath(QStringLiteral("www"));
    QDir().mkpath(www);
    const QString source = www + QStringLiteral("/source.bin");
    say(QStringLiteral("Writing a %1 MiB file of random bytes...").arg(size / 1048576));
    writeRandomFile(source, size);
    const QString sourceMd5 = md5Of(source);

    // --- the document server -------------------------------------------------------------
    const quint16 qiraPort = freePort();
    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.setStandardOutputFile(work.filePath(QStringLiteral("server.log")));
    server.start(serverBinary, {QStringLiteral("--data"), work.filePath(QStringLiteral("data")), QStringLiteral("--demo"),
                                QStringLiteral("--port"), QString::number(qiraPort), QStringLiteral("--http-port"),
                                QStringLiteral("0")});
    if (!waitForPort(qiraPort, server))
        fail(QStringLiteral("qira-server (%1) did not start").arg(serverBinary));

    Tzxroot root;
    root.Init();
    BenchView view;
    TdmQiraClientDatas data(&view);
    TConnectDs connect;
    connect.Server = QStringLiteral("127.0.0.1");
    connect.Port = qiraPort;
    connect.Protocol = QStringLiteral("TCP");
    connect.User = QStringLiteral("admin");
    connect.Password = QStringLiteral("admin");
    connect.DirProj = work.filePath(QStringLiteral("repository"));
    if (!data.Auth(connect))
        fail(QStringLiteral("cannot sign in to qira-server"));
    // A branch and a file row of our own to send the content to.
    view.branch = NewID();
    TZxStoredProc insNode(&data.cnQiraCli, QiraMethod(QStringLiteral("InsNode")));
    insNode.AddParam(QStringLiteral("NewTreeID"), TZxParamType::String).SetString(view.branch);
    insNode.AddParam(QStringLiteral("ParentTreeID"), TZxParamType::String).SetString(QString());
    insNode.AddParam(QStringLiteral("NodeText"), TZxParamType::String).SetString(QStringLiteral("Замер"));
    insNode.ExecProc();
    data.FilterQira.TreeID = view.branch;
    data.GetFiles(false);
    data.iqFiles->Append();
    const QString fileId = data.CurrentFileID();
    data.iqFiles->FieldByName(QStringLiteral("filename")).SetValue(QStringLiteral("source"));
    data.iqFiles->FieldByName(QStringLiteral("fileext")).SetValue(QStringLiteral("bin"));
    data.iqFiles->Post();

    // --- nginx and the sink --------------------------------------------------------------
    const quint16 nginxPort = freePort();
    const QString prefix = work.filePath(QStringLiteral("nginx"));
    QDir().mkpath(prefix + QStringLiteral("/tmp"));
    QFile conf(prefix + QStringLiteral("/nginx.conf"));
    conf.open(QIODevice::WriteOnly);
    conf.write(QStringLiteral("daemon off;\nmaster_process off;\nworker_processes 1;\npid %1/nginx.pid;\n"
                              "error_log %1/error.log;\nevents { worker_connections 16; }\n"
                              "http {\n access_log off;\n sendfile on;\n client_body_temp_path %1/tmp;\n"
                              " proxy_temp_path %1/tmp;\n fastcgi_temp_path %1/tmp;\n uwsgi_temp_path %1/tmp;\n"
                              " scgi_temp_path %1/tmp;\n"
                              " server { listen 127.0.0.1:%2; root %3; }\n}\n")
                   .arg(prefix)
                   .arg(nginxPort)
                   .arg(www)
                   .toUtf8());
    conf.close();
    QProcess web;
    web.setProcessChannelMode(QProcess::ForwardedChannels);
    web.start(nginx, {QStringLiteral("-p"), prefix, QStringLiteral("-c"), prefix + QStringLiteral("/nginx.conf")});
    const bool haveNginx = waitForPort(nginxPort, web);
    if (!haveNginx)
        say(QStringLiteral("nginx (%1) did not start: its figures are left out").arg(nginx));
    Sink sink;

    // --- upload ----------------------------------------------------------------------------
    QList<double> clientUp;
    QList<double> toolUp;
    for (int run = 0; run < repeat; ++run) {
        QElapsedTimer clock;
        clock.start();
        data.SendFileToServer(fileId, source, QString());
        clientUp.append(clock.nsecsElapsed() / 1e9);
        if (data.mtErrors->RecordCount() > 0)
            fail(QStringLiteral("the upload reported: ") + data.mtErrors->FieldByName(QStringLiteral("MessErr")).AsString());

        const double digest = runTimed(md5sum, {source});
        const double send = runTimed(curl, {QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("-H"), QStringLiteral("Expect:"),
                                            QStringLiteral("-T"), source,
                                            QStringLiteral("http://127.0.0.1:%1/sink").arg(sink.port())});
        toolUp.append(digest < 0 || send < 0 || sink.lastBody() != size ? -1 : digest + send);
    }

    // Where an upload spends its time: the same steps one by one.
    QElapsedTimer step;
    step.start();
    const QString digest = FileMD5(source);
    const double md5Seconds = step.nsecsElapsed() / 1e9;
    const QString change = GetQiraHistoryJson(UploadHistoryInfo(fileId, digest, size));
    const auto bracket = [&data, &change](const char *method) {
        TZxStoredProc sp(&data.cnQiraCli, QiraMethod(QString::fromLatin1(method)));
        sp.AddParam(QStringLiteral("FileHistInfo"), TZxParamType::String).SetString(change);
        sp.ExecProc();
    };
    bracket("NewChange");
    const double serverCpu = cpuSeconds(server.processId());
    const double clientCpu = cpuSeconds(QCoreApplication::applicationPid());
    step.restart();
    data.PutBigFile(source, fileId);
    const double chunkSeconds = step.nsecsElapsed() / 1e9;
    const double serverChunkCpu = cpuSeconds(server.processId()) - serverCpu;
    const double clientChunkCpu = cpuSeconds(QCoreApplication::applicationPid()) - clientCpu;
    step.restart();
    bracket("EndChange");
    const double endSeconds = step.nsecsElapsed() / 1e9;

    // --- download --------------------------------------------------------------------------
    QList<double> clientDown;
    QList<double> toolDown;
    bool same = true;
    for (int run = 0; run < repeat; ++run) {
        const QString target = work.filePath(QStringLiteral("fetched-%1.bin").arg(run));
        QElapsedTimer clock;
        clock.start();
        const bool complete = data.GetBigFile(target, fileId, size, true);
        clientDown.append(complete ? clock.nsecsElapsed() / 1e9 : -1);
        same = same && md5Of(target) == sourceMd5;
        QFile::remove(target);

        if (haveNginx) {
            const QString copy = work.filePath(QStringLiteral("curl-%1.bin").arg(run));
            toolDown.append(runTimed(curl, {QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("-o"), copy,
                                            QStringLiteral("http://127.0.0.1:%1/source.bin").arg(nginxPort)}));
            if (QFileInfo(copy).size() != size)
                toolDown.last() = -1;
            QFile::remove(copy);
        }
    }

    web.terminate();
    web.waitForFinished(5000);
    data.cnQiraCli.Close();
    server.terminate();
    server.waitForFinished(10000);

    const double cu = median(clientUp);
    const double tu = median(toolUp);
    const double cd = median(clientDown);
    const double td = median(toolDown);
    say(QStringLiteral("File: %1 MiB (%2 bytes), %3 runs each, medians").arg(size / 1048576).arg(size).arg(repeat));
    say(QStringLiteral("Download  client GetBigFile from qira-server:   %1  (%2)%3")
            .arg(rate(size, cd), runs(clientDown), same ? QString() : QStringLiteral("  CONTENT DIFFERS")));
    if (haveNginx)
        say(QStringLiteral("Download  curl from nginx:                      %1  (%2)").arg(rate(size, td), runs(toolDown)));
    say(QStringLiteral("Upload    client SendFileToServer to qira-server: %1  (%2)").arg(rate(size, cu), runs(clientUp)));
    say(QStringLiteral("Upload    md5sum + curl to a local sink:        %1  (%2)").arg(rate(size, tu), runs(toolUp)));
    say(QStringLiteral("Upload    steps: client MD5 %1 ms, chunks to the server %2 ms (%3; CPU: client %4 ms, "
                       "server %5 ms), EndChange %6 ms")
            .arg(md5Seconds * 1000, 0, 'f', 0)
            .arg(chunkSeconds * 1000, 0, 'f', 0)
            .arg(rate(size, chunkSeconds))
            .arg(clientChunkCpu * 1000, 0, 'f', 0)
            .arg(serverChunkCpu * 1000, 0, 'f', 0)
            .arg(endSeconds * 1000, 0, 'f', 0));
    if (haveNginx && cd > 0 && td > 0)
        say(QStringLiteral("Download ratio client/curl: %1 (time %2x)").arg(td / cd, 0, 'f', 2).arg(cd / td, 0, 'f', 2));
    if (cu > 0 && tu > 0)
        say(QStringLiteral("Upload ratio client/tools:  %1 (time %2x)").arg(tu / cu, 0, 'f', 2).arg(cu / tu, 0, 'f', 2));
    return 0;
}
