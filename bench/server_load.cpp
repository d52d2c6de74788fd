// Many users at once: N clients on loopback, each signed in on a connection of its own,
// run for a bounded time against the real server (TQiraServerHost over TQiraSqlStore,
// in this process) a weighted random mix of what users do most: list pages (GetFiles,
// GetKolRows), 1 MiB range downloads (GetFilePart) and check-ins (take the file into
// work, NewChange, chunks of PutBigFileToServer, EndChange). Every reply is checked
// against what the store was seeded with. Prints per kind of call its count, rate,
// latency percentiles and errors, then the first distinct error messages; asserts
// nothing, but exits with 1 when any call failed.
//
//   bench_server_load [--clients N] [--seconds S] [--http N] [--seed N] [--pg "conninfo"]
//
// The store is SQLite in a temporary folder unless --pg names a PostgreSQL database by
// a libpq connection string; there it lives in a schema of its own, dropped at the end.
// For figures, use a cluster that syncs to disk (the tests' throw-away cluster runs with
// fsync=off). --http N lets N of the clients call over HTTP instead of TCP.
#include "qirapostgresdialect.h"
#include "qiraserverclass.h"
#include "qiraserverhost.h"
#include "qirasqlstore.h"
#include "zxbase.h"
#include "zxconnection.h"
#include "zxdataset.h"
#include "zxerror.h"
#include "zxstoredproc.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QHash>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <latch>
#include <memory>
#include <thread>

namespace {

constexpr int Branches = 40;
constexpr int MinBranchFiles = 20;
constexpr int MaxBranchFiles = 250;
constexpr int StoredFiles = 8;
constexpr qint64 MiB = 1048576;
constexpr qint64 RangeSize = MiB;
constexpr qint64 MinChunk = 256 * 1024;
constexpr qint64 MaxChunk = 3 * MiB;
constexpr int MaxChunks = 3;
constexpr int OwnFiles = 2;
constexpr qint64 PageRows = 100;
const QString LikeText = QStringLiteral("сверк");
const QStringList SortOrders{QStringLiteral("f.filename"), QStringLiteral("f.docn"), QStringLiteral("f.sumdoc desc"),
                             QStringLiteral("f.dateupdate desc"), QStringLiteral("f.size_file"),
                             QStringLiteral("f.comment_file,f.filename")};

enum Kind {
    GetFiles,
    GetKolRows,
    GetFilePart,
    CheckIn,
    GetFileList,
    StreamPostFileList,
    NewChange,
    PutBigFileToServer,
    EndChange,
    SignIn,
    KindCount
};
// The check-in row is the whole cycle; the rows after it are its calls.
const std::array<const char *, KindCount> KindNames{"GetFiles",         "GetKolRows",           "GetFilePart",
                                                    "check-in",         "  GetFileList",        "  StreamPostFileList",
                                                    "  NewChange",      "  PutBigFileToServer", "  EndChange",
                                                    "sign-in"};
// Mix weights out of 100: GetFiles, GetKolRows, GetFilePart, check-in.
constexpr std::array<quint32, 4> Weights{45, 15, 30, 10};

struct Branch
{
    QString id;
    qint64 files = 0;
    qint64 matching = 0; // files whose name holds LikeText
};

struct StoredFile
{
    QString id;
    QByteArray bytes;
};

struct OwnFile
{
    QString id;
    qint64 versions = 0;
};

// What the clients need to know of the seeded store.
struct Setup
{
    quint16 tcpPort = 0;
    quint16 httpPort = 0;
    QList<Branch> branches;
    QList<StoredFile> stored;
    QList<QList<OwnFile>> own; // per client
    QByteArray pool;           // random bytes the uploads are cut from
};

QString loginOf(int client) { return QStringLiteral("load%1").arg(client + 1, 2, 10, QChar(u'0')); }

QByteArray randomBytes(QRandomGenerator &rng, qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    rng.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

TQiraRowChange inserted(const QVariantMap &values)
{
    TQiraRowChange row;
    row.state = TQiraRowChange::State::Inserted;
    row.values = values;
    return row;
}

// Users load01…, each with his login as password; branches with grants for role "2"
// to read and write, a few thousand files, the stored files in a branch of their own
// that the role only reads, and each client's own files for his check-ins.
Setup seed(TQiraSqlStore &store, int clients, quint32 seedValue)
{
    QRandomGenerator rng(seedValue);
    store.bootstrapAdministrator(QStringLiteral("admin"), TextMD5(QStringLiteral("admin")));
    const TQiraSession admin = store.signIn(QStringLiteral("admin"), TextMD5(QStringLiteral("admin")));

    QList<TQiraRowChange> users;
    for (int c = 0; c < clients; ++c)
        users.append(inserted({{QStringLiteral("user_id"), NewID()},
                               {QStringLiteral("login"), loginOf(c)},
                               {QStringLiteral("Roleid"), QStringLiteral("2")},
                               {QStringLiteral("active"), 1},
                               {QStringLiteral("password"), TextMD5(loginOf(c))}}));
    store.applyUserChanges(admin, users);

    const auto grant = [&](const QString &treeId, const QString &flags) {
        QVariantMap values{{QStringLiteral("tree_rightid"), NewID()},
                           {QStringLiteral("TreeID"), treeId},
                           {QStringLiteral("username"), QString()},
                           {QStringLiteral("roleid"), QStringLiteral("2")}};
        for (const char *flag : {"rtree", "wtree", "admtree", "rfile", "wfile", "rmyfile"})
            values.insert(QString::fromLatin1(flag), flags.split(u',').contains(QString::fromLatin1(flag)) ? 1 : 0);
        store.applyGrantChanges(admin, {inserted(values)});
    };
    const auto fileValues = [](const QString &treeId, const QString &name, const QString &ext) {
        return QVariantMap{{QStringLiteral("fileid"), NewID()},
                           {QStringLiteral("treeid"), treeId},
                           {QStringLiteral("filename"), name},
                           {QStringLiteral("fileext"), ext},
                           {QStringLiteral("del"), 0}};
    };

    Setup setup;
    int number = 0;
    QList<QList<TQiraRowChange>> rows(Branches);
    for (int b = 0; b < Branches; ++b) {
        Branch branch;
        branch.id = NewID();
        store.insertBranch(admin, branch.id, {}, QStringLiteral("Ветвь %1").arg(b + 1));
        grant(branch.id, QStringLiteral("rtree,rfile,wfile"));
        const int files = int(rng.bounded(MinBranchFiles, MaxBranchFiles + 1));
        for (int f = 0; f < files; ++f, ++number) {
            const bool act = rng.bounded(7) == 0;
            QVariantMap values = fileValues(
                branch.id,
                QStringLiteral("Документ %1 %2").arg(rng.bounded(100000), 5, 10, QChar(u'0')).arg(act ? QStringLiteral("акт сверки") : QStringLiteral("счёт")),
                QStringLiteral("pdf"));
            values.insert(QStringLiteral("docn"), QString::number(number % 5000));
            values.insert(QStringLiteral("sumdoc"), double(rng.bounded(10000000)) / 100.0);
            values.insert(QStringLiteral("comment_file"), QStringLiteral("примечание %1").arg(rng.bounded(50)));
            rows[b].append(inserted(values));
            branch.matching += act ? 1 : 0;
        }
        branch.files = files;
        setup.branches.append(branch);
    }
    for (int c = 0; c < clients; ++c) {
        QList<OwnFile> own;
        for (int k = 0; k < OwnFiles; ++k) {
            const int b = (c * OwnFiles + k) % Branches;
            const QVariantMap values = fileValues(setup.branches.at(b).id,
                                                  QStringLiteral("Рабочий файл %1-%2").arg(loginOf(c)).arg(k + 1),
                                                  QStringLiteral("bin"));
            rows[b].append(inserted(values));
            ++setup.branches[b].files;
            own.append({values.value(QStringLiteral("fileid")).toString(), 0});
        }
        setup.own.append(own);
    }
    for (const QList<TQiraRowChange> &branchRows : rows)
        store.applyFileChanges(admin, branchRows);

    const QString archive = NewID();
    store.insertBranch(admin, archive, {}, QStringLiteral("Архив"));
    grant(archive, QStringLiteral("rtree,rfile"));
    for (int s = 0; s < StoredFiles; ++s) {
        const QVariantMap values = fileValues(archive, QStringLiteral("Чертёж %1").arg(s + 1), QStringLiteral("dwg"));
        store.applyFileChanges(admin, {inserted(values)});
        StoredFile file{values.value(QStringLiteral("fileid")).toString(),
                        randomBytes(rng, 3 * MiB + qint64(rng.bounded(2 * int(MiB))) / 4 * 4)};
        store.storeVersion(admin, file.id, file.bytes);
        setup.stored.append(file);
    }
    setup.pool = randomBytes(rng, MaxChunk + MiB);
    return setup;
}

struct Tally
{
    std::array<QList<double>, KindCount> ms;
    std::array<qint64, KindCount> errors{};
    QStringList messages; // distinct, in order of first appearance
    QHash<QString, qint64> repeats;
    qint64 downloaded = 0;
    qint64 uploaded = 0;

    void fail(Kind kind, const QString &message)
    {
        ++errors[kind];
        if (!repeats.contains(message))
            messages.append(message);
        ++repeats[message];
    }
};

EZxError mismatch(const QString &what) { return EZxError(QStringLiteral("ELoadCheck"), what); }

// One user: a connection of his own and his random walk through the mix.
class Client
{
public:
    Client(const Setup &setup, int index, bool http, quint32 seedValue)
        : m_setup(setup), m_login(loginOf(index)), m_http(http), m_rng(seedValue + 7919 * quint32(index + 1)),
          m_own(setup.own.at(index))
    {
    }

    Tally &tally() { return m_tally; }

    bool signIn()
    {
        return step(SignIn, [&] {
            m_connection = std::make_unique<TZxConnection>();
            m_connection->Params() = {QStringLiteral("DriverID=DS"),
                                      QStringLiteral("Port=") + QString::number(m_http ? m_setup.httpPort : m_setup.tcpPort),
                                      QStringLiteral("Server=127.0.0.1"),
                                      m_http ? QStringLiteral("Protocol=http") : QStringLiteral("Protocol=tcp/ip"),
                                      QStringLiteral("User_Name=") + m_login,
                                      QStringLiteral("Password=") + TextMD5(m_login)};
            m_connection->Open();
        });
    }

    void run(qint64 milliseconds)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < milliseconds) {
            // A transport failure closes the connection; the client signs in again.
            if (!m_connection->Connected() && !step(SignIn, [&] { m_connection->Open(); }))
                continue;
            quint32 pick = m_rng.bounded(100u);
            if (pick < Weights[0])
                list();
            else if ((pick -= Weights[0]) < Weights[1])
                count();
            else if ((pick -= Weights[1]) < Weights[2])
                download();
            else
                checkIn();
        }
        m_connection->Close();
    }

private:
    // Runs one call and files its latency; then verify checks the reply (outside the
    // time). Either failing files the error instead.
    template <typename Call, typename Verify>
    bool step(Kind kind, Call &&call, Verify &&verify)
    {
        QElapsedTimer clock;
        clock.start();
        try {
            call();
            const double ms = double(clock.nsecsElapsed()) / 1e6;
            verify();
            m_tally.ms[kind].append(ms);
            return true;
        } catch (const EZxError &error) {
            m_tally.fail(kind, error.className() + QStringLiteral(": ") + error.message());
            return false;
        }
    }
    template <typename Call>
    bool step(Kind kind, Call &&call)
    {
        return step(kind, std::forward<Call>(call), [] {});
    }

    TZxStoredProc proc(const QString &method) { return TZxStoredProc(m_connection.get(), QiraMethod(method)); }

    // A page of a branch sorted by some column, now and then of the files named like
    // LikeText; expected holds how many rows the filter matches.
    TQiraFilter pageFilter(qint64 &expected, qint64 &pageRows)
    {
        const Branch &branch = m_setup.branches.at(int(m_rng.bounded(quint32(m_setup.branches.size()))));
        TQiraFilter filter;
        filter.TreeID = branch.id;
        filter.KolRows = PageRows;
        filter.order = SortOrders.at(int(m_rng.bounded(quint32(SortOrders.size()))));
        expected = branch.files;
        if (m_rng.bounded(4u) == 0) {
            AddWhereLike(QStringLiteral("f.filename"), LikeText, filter.filter);
            expected = branch.matching;
        }
        filter.CurrentPage = qint64(m_rng.bounded(quint32(qMax(qint64(1), (expected + PageRows - 1) / PageRows))));
        pageRows = qMin(PageRows, expected - filter.CurrentPage * PageRows);
        return filter;
    }

    void list()
    {
        qint64 expected = 0;
        qint64 pageRows = 0;
        const TQiraFilter filter = pageFilter(expected, pageRows);
        TZxStoredProc files = proc(QStringLiteral("GetFiles"));
        files.AddParam(QStringLiteral("QiraFilter"), TZxParamType::String).SetString(GetQiraFilterJson(filter));
        step(GetFiles, [&] { files.ExecProc(); },
             [&] {
                 TZxDataset rows(QStringLiteral("iqFiles"));
                 rows.LoadFromImage(files.ParamByName(ZxReturnValueName).AsBytes());
                 if (rows.RecordCount() != pageRows)
                     throw mismatch(QStringLiteral("GetFiles page %1 (%2) returned %3 rows, not %4")
                                        .arg(filter.CurrentPage)
                                        .arg(filter.filter.isEmpty() ? filter.order : filter.filter)
                                        .arg(rows.RecordCount())
                                        .arg(pageRows));
             });
    }

    void count()
    {
        qint64 expected = 0;
        qint64 pageRows = 0;
        const TQiraFilter filter = pageFilter(expected, pageRows);
        TZxStoredProc rows = proc(QStringLiteral("GetKolRows"));
        rows.AddParam(QStringLiteral("QiraFilter"), TZxParamType::String).SetString(GetQiraFilterJson(filter));
        step(GetKolRows, [&] { rows.ExecProc(); },
             [&] {
                 const QString answer = rows.ParamByName(ZxReturnValueName).AsString();
                 if (answer.toLongLong() != expected)
                     throw mismatch(QStringLiteral("GetKolRows answered %1, not %2").arg(answer).arg(expected));
             });
    }

    void download()
    {
        const StoredFile &file = m_setup.stored.at(int(m_rng.bounded(quint32(m_setup.stored.size()))));
        const qint64 from = qint64(m_rng.bounded(quint32(file.bytes.size() - RangeSize + 1)));
        TZxStoredProc part = proc(QStringLiteral("GetFilePart"));
        part.AddParam(QStringLiteral("FileID"), TZxParamType::String).SetString(file.id);
        part.AddParam(QStringLiteral("PosFrom"), TZxParamType::Int64).SetLargeInt(from);
        part.AddParam(QStringLiteral("PosTo"), TZxParamType::Int64).SetLargeInt(from + RangeSize - 1);
        step(GetFilePart, [&] { part.ExecProc(); },
             [&] {
                 const QByteArray bytes = part.ParamByName(ZxReturnValueName).AsBytes();
                 if (bytes.size() != RangeSize || std::memcmp(bytes.constData(), file.bytes.constData() + from, RangeSize) != 0)
                     throw mismatch(QStringLiteral("GetFilePart from %1 returned %2 bytes unlike the stored ones")
                                        .arg(from)
                                        .arg(bytes.size()));
                 m_tally.downloaded += bytes.size();
             });
    }

    // The client's check-in of one of its own files: the row is loaded and posted with
    // working_user set (taking it into work), then the change bracket around the chunks.
    void checkIn()
    {
        OwnFile &file = m_own[m_nextOwn++ % m_own.size()];
        QElapsedTimer clock;
        clock.start();
        if (takeIntoWork(file.id) && upload(file))
            m_tally.ms[CheckIn].append(double(clock.nsecsElapsed()) / 1e6);
        else
            ++m_tally.errors[CheckIn];
    }

    bool takeIntoWork(const QString &fileId)
    {
        TQiraFilter filter;
        filter.FileID = fileId;
        filter.KolRows = 1000;
        TZxStoredProc list = proc(QStringLiteral("GetFileList"));
        list.AddParam(QStringLiteral("QiraFilter"), TZxParamType::String).SetString(GetQiraFilterJson(filter));
        TZxDataset rows(QStringLiteral("iqFileList"));
        const bool listed = step(GetFileList, [&] { list.ExecProc(); },
                                 [&] {
                                     rows.LoadFromImage(list.ParamByName(ZxReturnValueName).AsBytes());
                                     if (!rows.Locate(QStringLiteral("fileid"), fileId))
                                         throw mismatch(QStringLiteral("GetFileList does not list the file %1").arg(fileId));
                                 });
        if (!listed)
            return false;
        rows.Edit();
        rows.FieldByName(QStringLiteral("working_user")).SetValue(m_login);
        rows.Post();
        TZxStoredProc post = proc(QStringLiteral("StreamPostFileList"));
        post.AddParam(QStringLiteral("AStream"), TZxParamType::Blob).SetBytes(rows.ChangeStream());
        return step(StreamPostFileList, [&] { post.ExecProc(); });
    }

    // One to three chunks of 256 KiB to 3 MiB cut from the pool, each stamped so that
    // no two versions are alike.
    bool upload(OwnFile &file)
    {
        const int chunks = 1 + int(m_rng.bounded(quint32(MaxChunks)));
        QList<QByteArray> parts;
        QCryptographicHash md5(QCryptographicHash::Md5);
        qint64 size = 0;
        for (int i = 0; i < chunks; ++i) {
            const qint64 length = MinChunk + qint64(m_rng.bounded(quint32(MaxChunk - MinChunk + 1)));
            const qint64 at = qint64(m_rng.bounded(quint32(m_setup.pool.size() - length + 1)));
            QByteArray part = m_setup.pool.mid(at, length);
            const QByteArray stamp = QStringLiteral("%1 %2 %3 %4").arg(m_login, file.id).arg(file.versions).arg(i).toLatin1();
            part.replace(0, stamp.size(), stamp);
            md5.addData(part);
            size += part.size();
            parts.append(part);
        }
        const QString digest = QString::fromLatin1(md5.result().toHex());
        const QString change = GetQiraHistoryJson(UploadHistoryInfo(file.id, digest, size));

        TZxStoredProc open = proc(QStringLiteral("NewChange"));
        open.AddParam(QStringLiteral("FileHistInfo"), TZxParamType::String).SetString(change);
        if (!step(NewChange, [&] { open.ExecProc(); }))
            return false;
        TZxStoredProc put = proc(QStringLiteral("PutBigFileToServer"));
        qint64 sent = 0;
        for (int i = 0; i < chunks; ++i) {
            const QString status = i == 0 ? QStringLiteral("Start")
                                   : (i == chunks - 1 ? QStringLiteral("End") : QStringLiteral("Process"));
            sent += parts.at(i).size();
            put.Close();
            put.AddParam(QStringLiteral("FileID"), TZxParamType::String).SetString(file.id);
            put.AddParam(QStringLiteral("Stream"), TZxParamType::Blob, TZxParamDir::InputOutput).SetBytes(parts.at(i));
            put.AddParam(QStringLiteral("FileSize"), TZxParamType::String).SetString(QString::number(size));
            put.AddParam(QStringLiteral("Status"), TZxParamType::String).SetString(status);
            const bool ok = step(PutBigFileToServer, [&] { put.ExecProc(); },
                                 [&] {
                                     const QString held = put.ParamByName(ZxReturnValueName).AsString();
                                     if (held.toLongLong() != sent)
                                         throw mismatch(QStringLiteral("PutBigFileToServer holds %1 bytes, not %2").arg(held).arg(sent));
                                 });
            if (!ok)
                return false;
        }
        TZxStoredProc close = proc(QStringLiteral("EndChange"));
        close.AddParam(QStringLiteral("FileHistInfo"), TZxParamType::String).SetString(change);
        const bool ok = step(EndChange, [&] { close.ExecProc(); },
                             [&] {
                                 const TQiraHistoryInfo recorded =
                                     DecodeQiraHistoryInfo(close.ParamByName(ZxReturnValueName).AsString());
                                 if (recorded.ordnum != file.versions + 1 || recorded.md5_file != digest)
                                     throw mismatch(QStringLiteral("EndChange recorded version %1 (%2), not %3 (%4)")
                                                        .arg(recorded.ordnum)
                                                        .arg(recorded.md5_file)
                                                        .arg(file.versions + 1)
                                                        .arg(digest));
                             });
        if (ok) {
            ++file.versions;
            m_tally.uploaded += size;
        }
        return ok;
    }

    const Setup &m_setup;
    QString m_login;
    bool m_http;
    QRandomGenerator m_rng;
    QList<OwnFile> m_own;
    std::unique_ptr<TZxConnection> m_connection;
    Tally m_tally;
    qsizetype m_nextOwn = 0;
};

double percentile(const QList<double> &sorted, double p)
{
    if (sorted.isEmpty())
        return 0;
    const qsizetype rank = qsizetype(std::ceil(p * double(sorted.size())));
    return sorted.at(qBound(qsizetype(0), rank - 1, sorted.size() - 1));
}

void dropSchema(const QString &connectionString, const QString &schema)
{
    const QString name = QStringLiteral("load-drop");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setConnectOptions(connectionString);
        if (db.open()) {
            QSqlQuery(db).exec(QStringLiteral("SET client_min_messages TO warning"));
            QSqlQuery(db).exec(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(TQiraPostgresDialect::quotedSchema(schema)));
        } else {
            std::fprintf(stderr, "could not drop schema %s\n", qPrintable(schema));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto option = [&args](const QString &name, const QString &fallback) {
        const qsizetype at = args.indexOf(name);
        return at >= 0 && at + 1 < args.size() ? args.at(at + 1) : fallback;
    };
    const int clients = qMax(1, option(QStringLiteral("--clients"), QStringLiteral("50")).toInt());
    const int seconds = qMax(1, option(QStringLiteral("--seconds"), QStringLiteral("60")).toInt());
    const int httpClients = qBound(0, option(QStringLiteral("--http"), QStringLiteral("0")).toInt(), clients);
    const quint32 seedValue = option(QStringLiteral("--seed"), QStringLiteral("1")).toUInt();
    const QString pg = option(QStringLiteral("--pg"), QString());

    QTemporaryDir dir;
    TQiraStoreOptions storeOptions;
    storeOptions.passwordIterations = 1000; // sign-in cost is not what this measures
    const QString schema = QStringLiteral("load_") + NewID().left(16);
    std::unique_ptr<TQiraSqlStore> store;
    try {
        store = pg.isEmpty() ? TQiraSqlStore::openSqlite(dir.path(), storeOptions)
                             : TQiraSqlStore::openPostgres(pg, dir.path(), storeOptions, schema);
    } catch (const EZxError &error) {
        std::fprintf(stderr, "cannot open the store: %s\n", qPrintable(error.message()));
        return 2;
    }

    QElapsedTimer seedClock;
    seedClock.start();
    Setup setup = seed(*store, clients, seedValue);
    qint64 files = StoredFiles;
    for (const Branch &branch : setup.branches)
        files += branch.files;
    const double seedSeconds = double(seedClock.elapsed()) / 1000.0;

    TZxServerOptions serverOptions;
    serverOptions.Address = QHostAddress::LocalHost;
    serverOptions.TcpPort = 0;
    serverOptions.HttpPort = httpClients > 0 ? 0 : -1;
    auto host = std::make_unique<TQiraServerHost>(*store, serverOptions);
    host->Start();
    setup.tcpPort = host->TcpPort();
    setup.httpPort = host->HttpPort();

    std::vector<std::unique_ptr<Client>> users;
    for (int c = 0; c < clients; ++c)
        users.push_back(std::make_unique<Client>(setup, c, c < httpClients, seedValue));
    // Everyone signs in first; the timed window opens for all at once.
    std::latch ready(clients + 1);
    std::vector<std::thread> threads;
    for (const auto &user : users)
        threads.emplace_back([&ready, &user, seconds] {
            const bool in = user->signIn();
            ready.arrive_and_wait();
            if (in)
                user->run(qint64(seconds) * 1000);
        });
    ready.arrive_and_wait();
    QElapsedTimer window;
    window.start();
    for (std::thread &thread : threads)
        thread.join();
    const double windowSeconds = double(window.nsecsElapsed()) / 1e9;
    host->Stop();
    host.reset();

    Tally all;
    for (const auto &user : users) {
        const Tally &t = user->tally();
        for (int k = 0; k < KindCount; ++k) {
            all.ms[k] += t.ms[k];
            all.errors[k] += t.errors[k];
        }
        for (const QString &message : t.messages)
            if (!all.repeats.contains(message))
                all.messages.append(message);
        for (auto it = t.repeats.begin(); it != t.repeats.end(); ++it)
            all.repeats[it.key()] += it.value();
        all.downloaded += t.downloaded;
        all.uploaded += t.uploaded;
    }
    for (QList<double> &times : all.ms)
        std::sort(times.begin(), times.end());

    std::printf("server load: %s, %d clients (%d tcp, %d http), %d s, seed %u, %d cores, %d server workers\n",
                pg.isEmpty() ? "sqlite" : "postgresql", clients, clients - httpClients, httpClients, seconds, seedValue,
                QThread::idealThreadCount(), serverOptions.WorkerThreads);
    std::printf("store: %lld branches, %lld files (%d stored of 3-5 MiB), %d users; seeded in %.1f s\n",
                qint64(setup.branches.size()) + 1, files, StoredFiles, clients + 1, seedSeconds);
    const QList<double> &signIns = all.ms[SignIn];
    std::printf("sign-in: %lld, p50 %.1f ms, p99 %.1f ms, errors %lld\n", qint64(signIns.size()), percentile(signIns, 0.5),
                percentile(signIns, 0.99), all.errors[SignIn]);
    std::printf("%-22s %8s %9s %9s %9s %9s %7s\n", "kind", "calls", "calls/s", "p50 ms", "p95 ms", "p99 ms", "errors");
    qint64 calls = 0;
    qint64 errors = 0;
    for (int k = 0; k < SignIn; ++k) {
        const QList<double> &times = all.ms[k];
        const qint64 n = times.size() + all.errors[k];
        std::printf("%-22s %8lld %9.1f %9.1f %9.1f %9.1f %7lld\n", KindNames[k], n, double(n) / windowSeconds,
                    percentile(times, 0.5), percentile(times, 0.95), percentile(times, 0.99), all.errors[k]);
        if (k != CheckIn) {
            calls += n;
            errors += all.errors[k];
        }
    }
    errors += all.errors[SignIn];
    std::printf("%-22s %8lld %9.1f %39lld\n", "total calls", calls, double(calls) / windowSeconds, errors);
    std::printf("window %.1f s; downloaded %.0f MiB (%.1f MiB/s), checked in %.0f MiB (%.1f MiB/s)\n", windowSeconds,
                double(all.downloaded) / MiB, double(all.downloaded) / MiB / windowSeconds, double(all.uploaded) / MiB,
                double(all.uploaded) / MiB / windowSeconds);
    if (all.messages.isEmpty())
        std::printf("errors: none\n");
    for (qsizetype i = 0; i < qMin(qsizetype(8), all.messages.size()); ++i)
        std::printf("error (%lld times): %s\n", all.repeats.value(all.messages.at(i)), qPrintable(all.messages.at(i)));
    std::fflush(stdout);

    store.reset();
    if (!pg.isEmpty())
        dropSchema(pg, schema);
    return errors > 0 ? 1 : 0;
}
