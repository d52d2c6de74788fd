#include "qirademofiller.h"
#include "qiraserverhost.h"
#include "qiraservermethods.h"
#include "qirasqlstore.h"
#include "zxbase.h"
#include "zxerror.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QGuiApplication>
#include <QHostAddress>
#include <QMutex>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

int s_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(s_signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop, so that the server closes its connections
// and waits for running calls before the store is closed.
void quitOnSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, s_signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(s_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(s_signalPipe[0], &byte, 1);
        app.quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void say(const QString &text)
{
    std::fputs(qPrintable(text + u'\n'), stdout);
    std::fflush(stdout);
}

[[noreturn]] void fail(const QString &text)
{
    std::fputs(qPrintable(QStringLiteral("qira-server: ") + text + u'\n'), stderr);
    std::exit(1);
}

int portOption(const QCommandLineParser &parser, const QString &name)
{
    bool ok = false;
    const int port = parser.value(name).toInt(&ok);
    if (!ok || port < 0 || port > 65535)
        fail(QStringLiteral("--%1 must be a port number from 0 to 65535, not \"%2\"").arg(name, parser.value(name)));
    return port;
}

// "rtree,rfile" and the like; "none" for no right at all.
void setDefaultRights(const QString &text, TQiraStoreOptions &options)
{
    options.defaultRTree = options.defaultWTree = options.defaultAdmTree = false;
    options.defaultRFile = options.defaultWFile = options.defaultRMyFile = false;
    if (text.trimmed() == QStringLiteral("none"))
        return;
    for (const QString &part : text.split(u',', Qt::SkipEmptyParts)) {
        const QString flag = part.trimmed().toLower();
        if (flag == QStringLiteral("rtree"))
            options.defaultRTree = true;
        else if (flag == QStringLiteral("wtree"))
            options.defaultWTree = true;
        else if (flag == QStringLiteral("admtree"))
            options.defaultAdmTree = true;
        else if (flag == QStringLiteral("rfile"))
            options.defaultRFile = true;
        else if (flag == QStringLiteral("wfile"))
            options.defaultWFile = true;
        else if (flag == QStringLiteral("rmyfile"))
            options.defaultRMyFile = true;
        else
            fail(QStringLiteral("--default-rights: unknown right \"%1\" (known: rtree, wtree, admtree, rfile, wfile, "
                                "rmyfile, or none)")
                     .arg(part.trimmed()));
    }
}

// One line of standard input; typed without echo when it comes from a terminal.
QString readPassword(const QString &prompt)
{
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    termios saved = {};
    if (terminal) {
        std::fputs(qPrintable(prompt), stderr);
        std::fflush(stderr);
        ::tcgetattr(STDIN_FILENO, &saved);
        termios silent = saved;
        silent.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSANOW, &silent);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::fputs("\n", stderr);
    }
    return QString::fromStdString(line);
}

int initAdministrator(TQiraSqlStore &store, const QString &login)
{
    const QString password = readPassword(QStringLiteral("Password for %1: ").arg(login));
    if (ZxTrim(password).isEmpty())
        fail(QStringLiteral("--init-admin: the password is empty (give it on standard input)"));
    if (::isatty(STDIN_FILENO) == 1 && readPassword(QStringLiteral("Repeat it: ")) != password)
        fail(QStringLiteral("--init-admin: the two passwords differ"));
    // The same digest a client sends: the password is never stored or sent as typed.
    if (!store.bootstrapAdministrator(login, TextMD5(password)))
        fail(QStringLiteral("--init-admin: a user \"%1\" exists already").arg(ZxTrim(login)));
    say(QStringLiteral("Administrator \"%1\" created in %2.").arg(ZxTrim(login), store.dataDir()));
    return 0;
}

void fillDemo(TQiraSqlStore &store)
{
    const QList<TQiraDemoFiller::Account> accounts = TQiraDemoFiller::fill(store);
    if (accounts.isEmpty()) {
        say(QStringLiteral("--demo: the store already has users; the demonstration fills only a new store."));
        return;
    }
    say(QStringLiteral("Demonstration store filled. These accounts are for the DEMO ONLY:"));
    for (const TQiraDemoFiller::Account &account : accounts)
        say(QStringLiteral("  login %1  password %2  role %3").arg(account.login, account.password, account.role));
    say(QStringLiteral("Never keep real documents in a demo store, or change both passwords first."));
}

} // namespace

int main(int argc, char **argv)
{
    // QImage text needs fonts and fonts need a QGuiApplication; the server has no screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qira-server"));
    QCoreApplication::setApplicationVersion(TQiraServerMethods::Version());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The Qira document server."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("data"), QStringLiteral("The store's data folder (created when missing)."), QStringLiteral("DIR")},
        {QStringLiteral("pg"),
         QStringLiteral("Keep the database in PostgreSQL instead of SQLite: a libpq connection string such as "
                        "\"host=/run/postgresql dbname=qira\". The content stays in --data."),
         QStringLiteral("CONNINFO")},
        {QStringLiteral("pg-schema"), QStringLiteral("The PostgreSQL schema of the store's tables (the default search path)."),
         QStringLiteral("SCHEMA")},
        {QStringLiteral("port"), QStringLiteral("TCP port (211; 0 takes any free port)."), QStringLiteral("PORT"),
         QStringLiteral("211")},
        {QStringLiteral("http-port"), QStringLiteral("HTTP port (8211; 0 switches HTTP off)."), QStringLiteral("PORT"),
         QStringLiteral("8211")},
        {QStringLiteral("listen"), QStringLiteral("Address to listen on (127.0.0.1; 0.0.0.0 for every interface)."),
         QStringLiteral("ADDRESS"), QStringLiteral("127.0.0.1")},
        {QStringLiteral("demo"), QStringLiteral("Fill a new store with the demonstration and print its demo accounts.")},
        {QStringLiteral("init-admin"),
         QStringLiteral("Create an administrator with this login, the password read from standard input, and exit."),
         QStringLiteral("LOGIN")},
        {QStringLiteral("default-rights"),
         QStringLiteral("Rights on branches without grants: a comma list of rtree, wtree, admtree, rfile, wfile, "
                        "rmyfile, or none (rtree,rfile)."),
         QStringLiteral("RIGHTS"), QStringLiteral("rtree,rfile")},
    });
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        fail(QStringLiteral("unexpected argument \"%1\" (see --help)").arg(parser.positionalArguments().first()));
    if (!parser.isSet(QStringLiteral("data")))
        fail(QStringLiteral("--data DIR is required: the folder that holds the store (see --help)"));
    if (parser.isSet(QStringLiteral("pg-schema")) && !parser.isSet(QStringLiteral("pg")))
        fail(QStringLiteral("--pg-schema needs --pg"));
    if (parser.isSet(QStringLiteral("pg")) && parser.value(QStringLiteral("pg")).trimmed().isEmpty())
        fail(QStringLiteral("--pg: the connection string is empty"));
    if (parser.isSet(QStringLiteral("demo")) && parser.isSet(QStringLiteral("init-admin")))
        fail(QStringLiteral("--demo and --init-admin do not go together"));

    TZxServerOptions serverOptions;
    if (!serverOptions.Address.setAddress(parser.value(QStringLiteral("listen"))))
        fail(QStringLiteral("--listen: \"%1\" is not an IP address").arg(parser.value(QStringLiteral("listen"))));
    serverOptions.TcpPort = portOption(parser, QStringLiteral("port"));
    const int httpPort = portOption(parser, QStringLiteral("http-port"));
    serverOptions.HttpPort = httpPort == 0 ? -1 : httpPort;

    TQiraStoreOptions storeOptions;
    setDefaultRights(parser.value(QStringLiteral("default-rights")), storeOptions);

    std::unique_ptr<TQiraSqlStore> store;
    try {
        if (parser.isSet(QStringLiteral("pg")))
            store = TQiraSqlStore::openPostgres(parser.value(QStringLiteral("pg")), parser.value(QStringLiteral("data")),
                                                storeOptions, parser.value(QStringLiteral("pg-schema")));
        else
            store = TQiraSqlStore::openSqlite(parser.value(QStringLiteral("data")), storeOptions);
        if (parser.isSet(QStringLiteral("init-admin")))
            return initAdministrator(*store, parser.value(QStringLiteral("init-admin")));
        if (parser.isSet(QStringLiteral("demo")))
            fillDemo(*store);
        else if (store->isEmpty())
            say(QStringLiteral("The store has no users, so nobody can sign in: create the first administrator with "
                               "--init-admin LOGIN."));
    } catch (const EZxError &error) {
        fail(QStringLiteral("%1: %2").arg(error.className(), error.message()));
    }

    QMutex logLock;
    TQiraServerHost host(*store, serverOptions, [&logLock](const TZxCallLog &log) {
        const QString line = QDateTime::currentDateTime().toString(Qt::ISODateWithMs) + u' ' + log.Line();
        QMutexLocker lock(&logLock);
        say(line);
    });
    try {
        host.Start();
    } catch (const EZxError &error) {
        QString hint;
        if (serverOptions.TcpPort > 0 && serverOptions.TcpPort < 1024)
            hint = QStringLiteral(" (ports below 1024 need root or CAP_NET_BIND_SERVICE; try --port 2110)");
        fail(error.message() + hint);
    }
    quitOnSignals(app);
    const QString address = serverOptions.Address.toString();
    say(QStringLiteral("qira-server %1 serving %2: tcp %3:%4, http %5")
            .arg(TQiraServerMethods::Version(), store->dataDir(), address)
            .arg(host.TcpPort())
            .arg(host.HttpPort() ? QStringLiteral("%1:%2").arg(address).arg(host.HttpPort()) : QStringLiteral("off")));
    const int result = app.exec();
    say(QStringLiteral("Stopping: closing connections and waiting for running calls."));
    host.Stop();
    store.reset();
    say(QStringLiteral("Stopped."));
    return result;
}
