// The file list of a large store: GetFiles pages and GetKolRows through the server, each
// beside the same query run directly on the SQLite file in the same run. 1,000,000
// files in 1,000 branches plus one branch of 100,000, filled with bulk SQL in the
// store's schema. Prints figures; asserts nothing.
#include "qirafilecatalog.h"
#include "qiraserverclass.h"
#include "qiraserverhost.h"
#include "qirasqlstore.h"
#include "zxbase.h"
#include "zxconnection.h"
#include "zxstoredproc.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <stdexcept>

namespace {

constexpr int Branches = 1000;
constexpr int FilesPerBranch = 1000;
constexpr int BigBranchFiles = 100000;
constexpr int TotalFiles = Branches * FilesPerBranch + BigBranchFiles;
constexpr qint64 PageRows = 50;
const QString LikeText = QStringLiteral("сверк");

void run(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        throw std::runtime_error(qPrintable(query.lastError().text() + u'\n' + sql));
}

QString branchId(int n) { return n > Branches ? QStringLiteral("big") : QStringLiteral("b%1").arg(n, 4, 10, QChar(u'0')); }

// Branches 1..1000 and the big one, paths in the store's form (base 36 segments), and
// the files: names in scattered order, one in seven an act (what the "like" filter
// finds), one in fifty marked deleted. The sort indexes are dropped for the load and
// built again afterwards.
void fill(const QString &databaseFile, double &rowsSeconds, double &indexSeconds)
{
    QElapsedTimer clock;
    clock.start();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-fill"));
        db.setDatabaseName(databaseFile);
        if (!db.open())
            throw std::runtime_error(qPrintable(db.lastError().text()));
        run(db, QStringLiteral("PRAGMA synchronous=OFF"));
        run(db, QStringLiteral("PRAGMA cache_size=-400000"));
        QStringList indexes;
        {
            QSqlQuery query(db);
            query.exec(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'index' AND tbl_name = 'files'"
                                      " AND sql IS NOT NULL"));
            while (query.next())
                indexes.append(query.value(1).toString());
        }
        for (const QString &ddl : indexes)
            run(db, QStringLiteral("DROP INDEX ") + ddl.section(u' ', 2, 2));
        run(db, QStringLiteral("BEGIN"));
        QSqlQuery branch(db);
        branch.prepare(QStringLiteral("INSERT INTO branches (treeid, parent_treeid, treename, del, node_no, treepath,"
                                      " usercreate, datecreate, userupdate, dateupdate)"
                                      " VALUES (?, NULL, ?, 0, ?, ?, 'bench', '2024-01-01 09:00:00.000', 'bench',"
                                      " '2024-01-01 09:00:00.000')"));
        run(db, QStringLiteral("CREATE TEMP TABLE bmap (idx INTEGER PRIMARY KEY, treeid TEXT, treepath TEXT)"));
        QSqlQuery map(db);
        map.prepare(QStringLiteral("INSERT INTO bmap (idx, treeid, treepath) VALUES (?, ?, ?)"));
        for (int n = 1; n <= Branches + 1; ++n) {
            const QString path = QString::number(n, 36) + u'/';
            branch.addBindValue(branchId(n));
            branch.addBindValue(n > Branches ? QStringLiteral("Большая ветвь") : QStringLiteral("Ветвь %1").arg(n));
            branch.addBindValue(n);
            branch.addBindValue(path);
            if (!branch.exec())
                throw std::runtime_error(qPrintable(branch.lastError().text()));
            map.addBindValue(n - 1);
            map.addBindValue(branchId(n));
            map.addBindValue(path);
            if (!map.exec())
                throw std::runtime_error(qPrintable(map.lastError().text()));
        }
        run(db, QStringLiteral("UPDATE qira_meta SET value = '") + QString::number(Branches + 1)
                    + QStringLiteral("' WHERE name = 'node_seq'"));
        // Spelled out with replace: the statement's own "%" signs would confuse arg().
        QString files = QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < {LAST})"
            " INSERT INTO files (fileid, treeid, treepath, filename, fileext, md5_file, docn, sumdoc,"
            " comment_file, usercreate, datecreate, userupdate, dateupdate, size_file, del, count_history,"
            " size_bytes)"
            " SELECT printf('%032x', n.i), m.treeid, m.treepath,"
            " 'Документ ' || printf('%07d', (n.i * 7919) % {TOTAL})"
            "   || CASE WHEN n.i % 7 = 0 THEN ' акт сверки' ELSE ' счёт' END,"
            " 'pdf', printf('%032x', n.i * 31), printf('%d', n.i % 5000), (n.i % 100000) / 10.0,"
            " 'примечание', 'bench', '2024-01-02 10:00:00.000', 'bench', '2024-01-02 10:00:00.000',"
            " (n.i % 4096) / 4.0, CASE WHEN n.i % 50 = 0 THEN 1 ELSE 0 END, 1, n.i % 4096 * 256"
            " FROM n JOIN bmap m ON m.idx = CASE WHEN n.i < {SMALL} THEN n.i / {PER} ELSE {BIG} END");
        files.replace(QStringLiteral("{LAST}"), QString::number(TotalFiles - 1))
            .replace(QStringLiteral("{TOTAL}"), QString::number(TotalFiles))
            .replace(QStringLiteral("{SMALL}"), QString::number(Branches * FilesPerBranch))
            .replace(QStringLiteral("{PER}"), QString::number(FilesPerBranch))
            .replace(QStringLiteral("{BIG}"), QString::number(Branches));
        run(db, files);
        run(db, QStringLiteral("COMMIT"));
        rowsSeconds = double(clock.restart()) / 1000.0;
        for (const QString &ddl : indexes)
            run(db, ddl);
        run(db, QStringLiteral("ANALYZE"));
        indexSeconds = double(clock.elapsed()) / 1000.0;
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-fill"));
}

// Median of several runs after one to warm the caches.
double medianMs(int runs, const std::function<void()> &step)
{
    step();
    QList<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        step();
        times.append(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

struct Request
{
    QString scope;  // what the list covers
    QString treeId; // empty: all branches
    bool like = false;
};

// The page as the client asks for it, for the wire.
TQiraFilter filterOf(const Request &request, qint64 page)
{
    TQiraFilter filter;
    filter.TreeID = request.treeId;
    filter.IsShowAll = request.treeId.isEmpty();
    filter.CurrentPage = page;
    filter.KolRows = PageRows;
    filter.order = QStringLiteral("f.filename");
    if (request.like)
        AddWhereLike(QStringLiteral("f.filename"), LikeText, filter.filter);
    return filter;
}

// The same request written straight against the database.
QString directWhere(const Request &request, QVariantList &params)
{
    QStringList terms;
    if (!request.treeId.isEmpty()) {
        terms.append(QStringLiteral("f.treepath = (SELECT treepath FROM branches WHERE treeid = ?)"));
        params.append(request.treeId);
    }
    terms.append(QStringLiteral("f.del < 1"));
    if (request.like) {
        terms.append(QStringLiteral("f.filename LIKE ? ESCAPE '\\'"));
        params.append(u'%' + LikeText + u'%');
    }
    return QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
}

qint64 directRows(QSqlDatabase &db, const QString &sql, const QVariantList &params)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(sql);
    for (const QVariant &param : params)
        query.addBindValue(param);
    if (!query.exec())
        throw std::runtime_error(qPrintable(query.lastError().text()));
    qint64 rows = 0;
    const int columns = int(TQiraFileCatalog::entries().size());
    while (query.next()) {
        for (int i = 0; i < columns; ++i)
            query.value(i);
        ++rows;
    }
    return rows;
}

void printRow(const QString &what, double wire, double direct)
{
    // Padded as text: the labels hold Cyrillic, which printf would count in bytes.
    std::printf("%s %10.2f %10.2f %7.1f\n", qPrintable(what.leftJustified(62)), wire, direct,
                direct > 0 ? wire / direct : 0.0);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    TQiraStoreOptions options;
    options.passwordIterations = 1000;
    auto store = TQiraSqlStore::openSqlite(dir.path(), options);
    store->bootstrapAdministrator(QStringLiteral("bench"), TextMD5(QStringLiteral("bench")));

    double rowsSeconds = 0;
    double indexSeconds = 0;
    fill(dir.path() + QStringLiteral("/qira.db"), rowsSeconds, indexSeconds);
    std::printf("fill: %d files in %d branches: rows %.1f s, indexes %.1f s\n", TotalFiles, Branches + 1, rowsSeconds,
                indexSeconds);

    TZxServerOptions serverOptions;
    serverOptions.Address = QHostAddress::LocalHost;
    serverOptions.TcpPort = 0;
    serverOptions.HttpPort = -1;
    TQiraServerHost host(*store, serverOptions);
    host.Start();
    TZxConnection connection;
    connection.Params() = {QStringLiteral("DriverID=DS"), QStringLiteral("Port=") + QString::number(host.TcpPort()),
                           QStringLiteral("Server=127.0.0.1"), QStringLiteral("Protocol=tcp/ip"),
                           QStringLiteral("User_Name=bench"), QStringLiteral("Password=") + TextMD5(QStringLiteral("bench"))};
    connection.Open();

    QSqlDatabase direct = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-direct"));
    direct.setDatabaseName(dir.path() + QStringLiteral("/qira.db"));
    direct.open();

    QStringList columns;
    for (const TQiraFileCatalog::Entry &entry : TQiraFileCatalog::entries())
        columns.append(QStringLiteral("f.") + entry.column.name);
    const QString select = QStringLiteral("SELECT ") + columns.join(QStringLiteral(", ")) + QStringLiteral(" FROM files f");

    std::printf("%-62s %10s %10s %7s\n", "request (page of 50, sorted by name)", "wire ms", "direct ms", "ratio");
    const QList<Request> requests{
        {QStringLiteral("branch of 1000"), branchId(500), false},
        {QStringLiteral("branch of 1000"), branchId(500), true},
        {QStringLiteral("branch of 100000"), branchId(Branches + 1), false},
        {QStringLiteral("branch of 100000"), branchId(Branches + 1), true},
        {QStringLiteral("all 1100000"), QString(), false},
        {QStringLiteral("all 1100000"), QString(), true},
    };
    for (const Request &request : requests) {
        const QString label = request.scope + (request.like ? QStringLiteral(", like '%%1%'").arg(LikeText) : QString());
        const int runs = request.treeId.isEmpty() ? 3 : 15;

        TZxStoredProc count(&connection, QiraMethod(QStringLiteral("GetKolRows")));
        count.AddParam(QStringLiteral("QiraFilter"), TZxParamType::String).SetString(GetQiraFilterJson(filterOf(request, 0)));
        const double countWire = medianMs(runs, [&] { count.ExecProc(); });
        const qint64 rows = count.ParamByName(ZxReturnValueName).AsString().toLongLong();
        QVariantList countParams;
        const QString countSql = QStringLiteral("SELECT COUNT(*), SUM(f.size_file) FROM files f") + directWhere(request, countParams);
        const double countDirect = medianMs(runs, [&] { directRows(direct, countSql, countParams); });
        printRow(QStringLiteral("GetKolRows %1 (%2 rows)").arg(label).arg(rows), countWire, countDirect);

        const qint64 lastPage = rows > 0 ? (rows - 1) / PageRows : 0;
        for (const qint64 page : {qint64(0), lastPage}) {
            TZxStoredProc files(&connection, QiraMethod(QStringLiteral("GetFiles")));
            files.AddParam(QStringLiteral("QiraFilter"), TZxParamType::String)
                .SetString(GetQiraFilterJson(filterOf(request, page)));
            const double wire = medianMs(runs, [&] { files.ExecProc(); });
            QVariantList params;
            const QString order = request.treeId.isEmpty() ? QStringLiteral(" ORDER BY f.filename, f.del, f.treepath, f.ordnum")
                                                           : QStringLiteral(" ORDER BY f.filename, f.del, f.ordnum");
            const QString sql = select + directWhere(request, params) + order + QStringLiteral(" LIMIT ? OFFSET ?");
            params << PageRows << page * PageRows;
            const double plain = medianMs(runs, [&] { directRows(direct, sql, params); });
            printRow(QStringLiteral("GetFiles %1, %2 page").arg(label, page == 0 ? QStringLiteral("first") : QStringLiteral("last")),
                     wire, plain);
        }
    }
    direct.close();
    direct = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("bench-direct"));
    connection.Close();
    host.Stop();
    return 0;
}
