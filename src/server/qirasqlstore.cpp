#include "qirasqlstore.h"

#include "qiraerrors.h"
#include "qirapasswordhash.h"
#include "qirapostgresdialect.h"
#include "qiraschema.h"
#include "qirasqlitedialect.h"
#include "qirasqlstoretransaction.h"
#include "zxbase.h"

#include <QDir>
#include <QSqlError>
#include <QSqlRecord>
#include <QThread>

#include <atomic>

namespace {

// Connections a thread opened; closed and removed when the thread ends.
struct ThreadConnections
{
    QStringList names;
    ~ThreadConnections()
    {
        for (const QString &name : names) {
            {
                QSqlDatabase db = QSqlDatabase::database(name, false);
                db.close();
            }
            QSqlDatabase::removeDatabase(name);
        }
    }
};

thread_local ThreadConnections t_connections;
std::atomic<quint64> s_storeSerial{0};

QString base36(quint64 value)
{
    return QString::number(value, 36);
}

TQiraColumn col(const char *name, TQiraColumnType type, int size = 0)
{
    TQiraColumn c;
    c.name = QString::fromLatin1(name);
    c.type = type;
    c.size = size;
    return c;
}

} // namespace

TQiraSqlStore::TQiraSqlStore(std::unique_ptr<TQiraSqlDialect> dialect, QString dataDir, TQiraStoreOptions options)
    : m_dialect(std::move(dialect)), m_dataDir(std::move(dataDir)), m_options(std::move(options)),
      m_content(m_dataDir),
      m_connectionPrefix(QStringLiteral("qira-store-%1-").arg(s_storeSerial.fetch_add(1)))
{
}

TQiraSqlStore::~TQiraSqlStore()
{
    // Connections of this thread go now; those of other threads when they end.
    for (qsizetype i = t_connections.names.size() - 1; i >= 0; --i) {
        const QString name = t_connections.names.at(i);
        if (!name.startsWith(m_connectionPrefix))
            continue;
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        t_connections.names.removeAt(i);
    }
}

std::unique_ptr<TQiraSqlStore> TQiraSqlStore::openSqlite(const QString &dataDir, TQiraStoreOptions options)
{
    const QString absolute = QDir(dataDir).absolutePath();
    if (!QDir().mkpath(absolute))
        throw EQiraStoreError(QStringLiteral("Не удается создать папку данных \"%1\"").arg(absolute));
    auto store = std::make_unique<TQiraSqlStore>(
        std::make_unique<TQiraSqliteDialect>(absolute + QStringLiteral("/qira.db")), absolute, std::move(options));
    store->open();
    return store;
}

std::unique_ptr<TQiraSqlStore> TQiraSqlStore::openPostgres(const QString &connectionString, const QString &dataDir,
                                                         TQiraStoreOptions options, const QString &schema)
{
    const QString absolute = QDir(dataDir).absolutePath();
    if (!QDir().mkpath(absolute))
        throw EQiraStoreError(QStringLiteral("Не удается создать папку данных \"%1\"").arg(absolute));
    auto store = std::make_unique<TQiraSqlStore>(std::make_unique<TQiraPostgresDialect>(connectionString, schema),
                                                 absolute, std::move(options));
    store->open();
    return store;
}

void TQiraSqlStore::open()
{
    m_content.open();
    QSqlDatabase database = db();
    TQiraSchema::migrate(database, *m_dialect);
    collectOrphanContents();
}

QSqlDatabase TQiraSqlStore::db()
{
    const QString name = m_connectionPrefix
                         + QString::number(reinterpret_cast<quintptr>(QThread::currentThreadId()), 16);
    if (t_connections.names.contains(name))
        return QSqlDatabase::database(name, false);
    QSqlDatabase database = QSqlDatabase::addDatabase(m_dialect->driverName(), name);
    m_dialect->configure(database);
    if (!database.open()) {
        const QString reason = database.lastError().text();
        database = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        throw EQiraStoreError(QStringLiteral("Не удается открыть базу данных: %1").arg(reason));
    }
    t_connections.names.append(name);
    m_dialect->afterOpen(database);
    return database;
}

QSqlQuery TQiraSqlStore::exec(const QString &sql, const QVariantList &params)
{
    QSqlQuery query(db());
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        throw EQiraStoreError(QStringLiteral("Ошибка базы данных: %1").arg(query.lastError().text()));
    for (const QVariant &param : params)
        query.addBindValue(param);
    if (!query.exec())
        throw EQiraStoreError(QStringLiteral("Ошибка базы данных: %1").arg(query.lastError().text()));
    return query;
}

QVariant TQiraSqlStore::nullText() const { return QVariant(QMetaType(QMetaType::QString)); }

QDateTime TQiraSqlStore::now() const
{
    return m_options.clock ? m_options.clock() : QDateTime::currentDateTime();
}

bool TQiraSqlStore::isEmpty()
{
    QSqlQuery query = exec(QStringLiteral("SELECT COUNT(*) FROM users"));
    return !query.next() || query.value(0).toLongLong() == 0;
}

TQiraRowSet TQiraSqlStore::readRows(QSqlQuery &query, const QString &tableName, const QList<TQiraColumn> &columns)
{
    TQiraRowSet set;
    set.tableName = tableName;
    set.columns = columns;
    while (query.next()) {
        QVariantList row;
        row.reserve(columns.size());
        for (int i = 0; i < columns.size(); ++i) {
            const QVariant raw = query.value(i);
            if (raw.isNull() || !raw.isValid()) {
                row.append(QVariant());
                continue;
            }
            switch (columns.at(i).type) {
            case TQiraColumnType::Text:
            case TQiraColumnType::LongText:
                row.append(raw.toString());
                break;
            case TQiraColumnType::Int32:
                row.append(raw.toInt());
                break;
            case TQiraColumnType::Int64:
                row.append(raw.toLongLong());
                break;
            case TQiraColumnType::Decimal:
                row.append(raw.toDouble());
                break;
            case TQiraColumnType::DateTime:
            case TQiraColumnType::Timestamp: {
                const QDateTime value = m_dialect->dateTimeFromDb(raw);
                row.append(value.isValid() ? QVariant(value) : QVariant());
                break;
            }
            case TQiraColumnType::Boolean:
                row.append(raw.toInt() != 0);
                break;
            case TQiraColumnType::Blob:
                row.append(raw.toByteArray());
                break;
            }
        }
        set.rows.append(row);
    }
    return set;
}

// --- branches and rights ------------------------------------------------------------------

std::optional<TQiraSqlStore::Branch> TQiraSqlStore::findBranch(const QString &treeId)
{
    QSqlQuery query = exec(QStringLiteral("SELECT treeid, parent_treeid, treename, treepath, del FROM branches WHERE treeid = ?"),
                           {treeId});
    if (!query.next())
        return std::nullopt;
    Branch b;
    b.treeId = query.value(0).toString();
    b.parentId = query.value(1).toString();
    b.name = query.value(2).toString();
    b.path = query.value(3).toString();
    b.del = query.value(4).toInt();
    return b;
}

TQiraSqlStore::Branch TQiraSqlStore::branchOrThrow(const QString &treeId)
{
    const auto branch = findBranch(treeId);
    if (!branch)
        throw EQiraRequestError(QStringLiteral("Ветвь \"%1\" не найдена").arg(treeId));
    return *branch;
}

QList<TQiraRights::Grant> TQiraSqlStore::grantsFor(const QStringList &paths)
{
    QList<TQiraRights::Grant> grants;
    if (paths.isEmpty())
        return grants;
    QStringList marks;
    QVariantList params;
    for (const QString &p : paths) {
        marks.append(QStringLiteral("?"));
        params.append(p);
    }
    QSqlQuery query = exec(QStringLiteral("SELECT b.treepath, r.username, r.roleid, r.rtree, r.wtree, r.admtree,"
                                          " r.rfile, r.wfile, r.rmyfile FROM tree_rights r"
                                          " JOIN branches b ON b.treeid = r.treeid WHERE b.treepath IN (%1)")
                               .arg(marks.join(u',')),
                           params);
    while (query.next()) {
        TQiraRights::Grant g;
        g.treePath = query.value(0).toString();
        g.userName = query.value(1).toString();
        g.roleId = query.value(2).toString();
        g.flags.rtree = query.value(3).toInt() != 0;
        g.flags.wtree = query.value(4).toInt() != 0;
        g.flags.admtree = query.value(5).toInt() != 0;
        g.flags.rfile = query.value(6).toInt() != 0;
        g.flags.wfile = query.value(7).toInt() != 0;
        g.flags.rmyfile = query.value(8).toInt() != 0;
        grants.append(g);
    }
    return grants;
}

QList<TQiraRights::Grant> TQiraSqlStore::grantsAround(const QString &scopePath)
{
    QList<TQiraRights::Grant> grants = grantsFor(TQiraRights::pathAndAncestors(scopePath));
    const QString from = scopePath.isNull() ? QStringLiteral("") : scopePath;
    const QString to = scopePath.isEmpty() ? QStringLiteral("~") : TQiraRights::subtreeEnd(scopePath);
    QSqlQuery query = exec(QStringLiteral("SELECT b.treepath, r.username, r.roleid, r.rtree, r.wtree, r.admtree,"
                                          " r.rfile, r.wfile, r.rmyfile FROM tree_rights r"
                                          " JOIN branches b ON b.treeid = r.treeid"
                                          " WHERE b.treepath > ? AND b.treepath < ?"),
                           {from, to});
    while (query.next()) {
        TQiraRights::Grant g;
        g.treePath = query.value(0).toString();
        g.userName = query.value(1).toString();
        g.roleId = query.value(2).toString();
        g.flags.rtree = query.value(3).toInt() != 0;
        g.flags.wtree = query.value(4).toInt() != 0;
        g.flags.admtree = query.value(5).toInt() != 0;
        g.flags.rfile = query.value(6).toInt() != 0;
        g.flags.wfile = query.value(7).toInt() != 0;
        g.flags.rmyfile = query.value(8).toInt() != 0;
        grants.append(g);
    }
    return grants;
}

TQiraRights::Flags TQiraSqlStore::flagsAt(const TQiraSession &session, const QString &treePath)
{
    if (session.isAdmin())
        return TQiraRights::all();
    return TQiraRights::forBranch(session, treePath, grantsFor(TQiraRights::pathAndAncestors(treePath)),
                                  TQiraRights::defaults(m_options));
}

TQiraRights::Flags TQiraSqlStore::rootFlags(const TQiraSession &session) const
{
    return session.isAdmin() ? TQiraRights::all() : TQiraRights::defaults(m_options);
}

void TQiraSqlStore::requireAdmin(const TQiraSession &session, const QString &what) const
{
    if (!session.isAdmin())
        throw EQiraRightsError(QStringLiteral("%1: операция разрешена только администратору").arg(what));
}

void TQiraSqlStore::requireTreeWrite(const TQiraSession &session, const QString &treePath, const QString &what)
{
    const TQiraRights::Flags flags = treePath.isEmpty() ? rootFlags(session) : flagsAt(session, treePath);
    if (!flags.wtree)
        throw EQiraRightsError(QStringLiteral("%1: нет права изменения дерева").arg(what));
}

TTreeRights TQiraSqlStore::rights(const TQiraSession &session, const QString &treeId)
{
    const QString id = ZxTrim(treeId);
    if (id.isEmpty())
        return TQiraRights::record(id, session, rootFlags(session));
    return TQiraRights::record(id, session, flagsAt(session, branchOrThrow(id).path));
}

QString TQiraSqlStore::nextPathSegment()
{
    QSqlQuery query = exec(QStringLiteral("SELECT value FROM qira_meta WHERE name = 'node_seq'"));
    const quint64 next = (query.next() ? query.value(0).toULongLong() : 0) + 1;
    exec(QStringLiteral("UPDATE qira_meta SET value = ? WHERE name = 'node_seq'"), {QString::number(next)});
    return base36(next) + u'/';
}

namespace {

QString checkedId(const QString &text, const QString &what)
{
    const QString id = ZxTrim(text);
    if (id.isEmpty())
        throw EQiraRequestError(QStringLiteral("%1: не указан идентификатор").arg(what));
    if (id.size() > 100)
        throw EQiraRequestError(QStringLiteral("%1: идентификатор длиннее 100 знаков").arg(what));
    return id;
}

QString checkedName(const QString &text, const QString &what)
{
    const QString name = ZxTrim(text);
    if (name.isEmpty())
        throw EQiraRequestError(QStringLiteral("%1: пустое название").arg(what));
    if (name.size() > 1365)
        throw EQiraRequestError(QStringLiteral("%1: название длиннее 1365 знаков").arg(what));
    for (QChar c : name)
        if (c.unicode() < 32)
            throw EQiraRequestError(QStringLiteral("%1: в названии есть управляющие знаки").arg(what));
    return name;
}

} // namespace

TQiraRowSet TQiraSqlStore::tree(const TQiraSession &session, const QString &parentId, bool showDeleted)
{
    const QString parent = ZxTrim(parentId);
    QString parentPath;
    if (!parent.isEmpty()) {
        parentPath = branchOrThrow(parent).path;
        if (!flagsAt(session, parentPath).rtree)
            throw EQiraRightsError(QStringLiteral("Нет права чтения ветви \"%1\"").arg(parent));
    }
    const QString delCondition = showDeleted ? QString() : QStringLiteral(" AND c.del = 0");
    QString sql = QStringLiteral("SELECT b.treeid, b.parent_treeid, b.treename,"
                                 " (SELECT COUNT(*) FROM branches c WHERE c.parent_treeid = b.treeid%1),"
                                 " (SELECT COUNT(*) FROM tree_rights r WHERE r.treeid = b.treeid),"
                                 " b.del, b.usercreate, b.datecreate, b.userupdate, b.dateupdate, b.treepath"
                                 " FROM branches b WHERE ")
                      .arg(delCondition);
    QVariantList params;
    if (parent.isEmpty()) {
        sql += QStringLiteral("b.parent_treeid IS NULL");
    } else {
        sql += QStringLiteral("b.parent_treeid = ?");
        params.append(parent);
    }
    if (!showDeleted)
        sql += QStringLiteral(" AND b.del = 0");
    sql += QStringLiteral(" ORDER BY b.treename, b.node_no");
    QList<TQiraColumn> columns{col("treeid", TQiraColumnType::Text, 100),
                               col("parent_treeid", TQiraColumnType::Text, 100),
                               col("treename", TQiraColumnType::LongText, 1365),
                               col("ccount", TQiraColumnType::Int32),
                               col("kolrights", TQiraColumnType::Int32),
                               col("del", TQiraColumnType::Int32),
                               col("usercreate", TQiraColumnType::Text, 200),
                               col("datecreate", TQiraColumnType::DateTime),
                               col("userupdate", TQiraColumnType::Text, 200),
                               col("dateupdate", TQiraColumnType::Timestamp),
                               col("treepath", TQiraColumnType::Text, 1000)};
    columns.first().key = true;
    columns.first().nullable = false;
    QSqlQuery query = exec(sql, params);
    TQiraRowSet set = readRows(query, QStringLiteral("iqTree"), columns);
    const int pathColumn = int(columns.size()) - 1;
    if (!session.isAdmin()) {
        QStringList paths = TQiraRights::pathAndAncestors(parentPath);
        for (const QVariantList &row : set.rows)
            paths.append(row.at(pathColumn).toString());
        const QList<TQiraRights::Grant> grants = grantsFor(paths);
        const TQiraRights::Flags fallback = TQiraRights::defaults(m_options);
        QList<QVariantList> visible;
        for (const QVariantList &row : set.rows)
            if (TQiraRights::forBranch(session, row.at(pathColumn).toString(), grants, fallback).rtree)
                visible.append(row);
        set.rows = visible;
    }
    // The path is the server's own business.
    set.columns.removeLast();
    for (QVariantList &row : set.rows)
        row.removeLast();
    return set;
}

void TQiraSqlStore::insertBranch(const TQiraSession &session, const QString &newTreeId, const QString &parentId,
                                 const QString &name)
{
    const QString what = QStringLiteral("Создание ветви");
    const QString id = checkedId(newTreeId, what);
    const QString text = checkedName(name, what);
    const QString parent = ZxTrim(parentId);
    Transaction tx(*this);
    QString parentPath;
    if (!parent.isEmpty())
        parentPath = branchOrThrow(parent).path;
    requireTreeWrite(session, parentPath, what);
    if (findBranch(id))
        throw EQiraRequestError(QStringLiteral("%1: ветвь \"%2\" уже существует").arg(what, id));
    const QString path = parentPath + nextPathSegment();
    const QDateTime stamp = now();
    QSqlQuery seq = exec(QStringLiteral("SELECT value FROM qira_meta WHERE name = 'node_seq'"));
    seq.next();
    exec(QStringLiteral("INSERT INTO branches (treeid, parent_treeid, treename, del, node_no, treepath,"
                        " usercreate, datecreate, userupdate, dateupdate) VALUES (?, ?, ?, 0, ?, ?, ?, ?, ?, ?)"),
         {id, parent.isEmpty() ? nullText() : QVariant(parent), text, seq.value(0).toLongLong(), path,
          session.login, toDb(stamp), session.login, toDb(stamp)});
    tx.commit();
}

void TQiraSqlStore::renameBranch(const TQiraSession &session, const QString &treeId, const QString &name)
{
    const QString what = QStringLiteral("Переименование ветви");
    const QString text = checkedName(name, what);
    Transaction tx(*this);
    const Branch branch = branchOrThrow(ZxTrim(treeId));
    requireTreeWrite(session, branch.path, what);
    exec(QStringLiteral("UPDATE branches SET treename = ?, userupdate = ?, dateupdate = ? WHERE treeid = ?"),
         {text, session.login, toDb(now()), branch.treeId});
    tx.commit();
}

void TQiraSqlStore::markBranchDeleted(const TQiraSession &session, const QString &treeId, int del)
{
    const QString what = del ? QStringLiteral("Удаление ветви") : QStringLiteral("Восстановление ветви");
    if (del != 0 && del != 1)
        throw EQiraRequestError(QStringLiteral("Признак удаления ветви должен быть 0 или 1, а не %1").arg(del));
    Transaction tx(*this);
    const Branch branch = branchOrThrow(ZxTrim(treeId));
    requireTreeWrite(session, branch.path, what);
    exec(QStringLiteral("UPDATE branches SET del = ?, userupdate = ?, dateupdate = ? WHERE treeid = ?"),
         {del, session.login, toDb(now()), branch.treeId});
    tx.commit();
}

void TQiraSqlStore::purgeBranch(const TQiraSession &session, const QString &treeId)
{
    requireAdmin(session, QStringLiteral("Физическое удаление ветви"));
    Transaction tx(*this);
    const Branch branch = branchOrThrow(ZxTrim(treeId));
    const QVariantList range{branch.path, TQiraRights::subtreeEnd(branch.path)};
    QStringList keys;
    QSqlQuery used = exec(QStringLiteral("SELECT DISTINCT v.content_key FROM versions v JOIN files f ON f.fileid = v.fileid"
                                         " WHERE f.treepath >= ? AND f.treepath < ?"),
                          range);
    while (used.next())
        keys.append(used.value(0).toString());
    const QString inFiles = QStringLiteral("(SELECT fileid FROM files WHERE treepath >= ? AND treepath < ?)");
    exec(QStringLiteral("DELETE FROM versions WHERE fileid IN ") + inFiles, range);
    exec(QStringLiteral("DELETE FROM previews WHERE fileid IN ") + inFiles, range);
    exec(QStringLiteral("DELETE FROM files WHERE treepath >= ? AND treepath < ?"), range);
    exec(QStringLiteral("DELETE FROM tree_rights WHERE treeid IN"
                        " (SELECT treeid FROM branches WHERE treepath >= ? AND treepath < ?)"),
         range);
    exec(QStringLiteral("DELETE FROM branches WHERE treepath >= ? AND treepath < ?"), range);
    tx.commit();
    removeContentsIfUnused(keys);
}

void TQiraSqlStore::moveBranch(const TQiraSession &session, const QString &treeId, const QString &newParentId)
{
    const QString what = QStringLiteral("Перемещение ветви");
    const QString parent = ZxTrim(newParentId);
    Transaction tx(*this);
    const Branch branch = branchOrThrow(ZxTrim(treeId));
    QString parentPath;
    if (!parent.isEmpty()) {
        parentPath = branchOrThrow(parent).path;
        if (parentPath.startsWith(branch.path))
            throw EQiraRequestError(QStringLiteral("%1: ветвь нельзя переместить в саму себя или в свою подветвь").arg(what));
    }
    requireTreeWrite(session, branch.path, what);
    requireTreeWrite(session, parentPath, what);
    if (branch.parentId == parent)
        return;
    const qsizetype cut = branch.path.lastIndexOf(u'/', branch.path.size() - 2) + 1;
    const QString newPath = parentPath + branch.path.mid(cut);
    const QVariantList params{newPath, branch.path.size() + 1, branch.path, TQiraRights::subtreeEnd(branch.path)};
    exec(QStringLiteral("UPDATE files SET treepath = ? || substr(treepath, ?) WHERE treepath >= ? AND treepath < ?"),
         params);
    exec(QStringLiteral("UPDATE branches SET treepath = ? || substr(treepath, ?) WHERE treepath >= ? AND treepath < ?"),
         params);
    exec(QStringLiteral("UPDATE branches SET parent_treeid = ?, userupdate = ?, dateupdate = ? WHERE treeid = ?"),
         {parent.isEmpty() ? nullText() : QVariant(parent), session.login, toDb(now()), branch.treeId});
    tx.commit();
}

QString TQiraSqlStore::branchPath(const TQiraSession &session, const QString &treeId)
{
    const auto branch = findBranch(ZxTrim(treeId));
    if (!branch || !flagsAt(session, branch->path).rtree)
        return {};
    const QStringList paths = TQiraRights::pathAndAncestors(branch->path);
    QStringList marks;
    QVariantList params;
    for (const QString &p : paths) {
        marks.append(QStringLiteral("?"));
        params.append(p);
    }
    QSqlQuery query = exec(QStringLiteral("SELECT treeid, treepath FROM branches WHERE treepath IN (%1)").arg(marks.join(u',')),
                           params);
    QMap<int, QString> byDepth;
    while (query.next())
        byDepth.insert(int(query.value(1).toString().size()), query.value(0).toString());
    QStringList ids;
    for (auto it = byDepth.constEnd(); it != byDepth.constBegin();) {
        --it;
        ids.append(it.value());
    }
    return ids.join(u',');
}

QString TQiraSqlStore::findChild(const TQiraSession &session, const QString &parentId, const QString &name)
{
    const QString parent = ZxTrim(parentId);
    const QString text = ZxTrim(name);
    QSqlQuery query;
    if (parent.isEmpty()) {
        query = exec(QStringLiteral("SELECT treeid, treepath FROM branches WHERE parent_treeid IS NULL AND treename = ?"
                                    " AND del = 0 ORDER BY node_no"),
                     {text});
    } else {
        const auto branch = findBranch(parent);
        if (!branch || !flagsAt(session, branch->path).rtree)
            return {};
        query = exec(QStringLiteral("SELECT treeid, treepath FROM branches WHERE parent_treeid = ? AND treename = ?"
                                    " AND del = 0 ORDER BY node_no"),
                     {parent, text});
    }
    while (query.next()) {
        const QString id = query.value(0).toString();
        const QString path = query.value(1).toString();
        if (flagsAt(session, path).rtree)
            return id;
    }
    return {};
}

void TQiraSqlStore::removeContentsIfUnused(const QStringList &keys)
{
    for (const QString &key : keys) {
        QSqlQuery query = exec(QStringLiteral("SELECT COUNT(*) FROM versions WHERE content_key = ?"), {key});
        if (query.next() && query.value(0).toLongLong() == 0)
            m_content.remove(key);
    }
}

void TQiraSqlStore::dropContentIfUnused(const QString &key) noexcept
{
    // Under the write lock, so that no check-in of the same bytes is between finding
    // the content stored and committing its version.
    try {
        Transaction tx(*this);
        removeContentsIfUnused({key});
        tx.commit();
    } catch (const std::exception &) {
        // The database is failing too: the sweep at the next start removes it.
    }
}

void TQiraSqlStore::collectOrphanContents()
{
    // A crash between placing content and committing its version leaves it unowned.
    removeContentsIfUnused(m_content.keys());
}

// --- sign-in ---------------------------------------------------------------------------------

TQiraSession TQiraSqlStore::signIn(const QString &login, const QString &passwordDigest)
{
    const QString refused = QStringLiteral("Неверное имя пользователя или пароль");
    const QString name = ZxTrim(login);
    if (name.isEmpty() || !TQiraPasswordHash::isDigest(passwordDigest))
        throw EQiraAuthError(refused);
    QSqlQuery query = exec(QStringLiteral("SELECT u.user_id, u.login, u.roleid, u.active, u.pw_salt, u.pw_hash,"
                                          " u.pw_iterations, r.rolename, r.active FROM users u"
                                          " LEFT JOIN roles r ON r.roleid = u.roleid WHERE u.login = ?"),
                           {name});
    if (!query.next())
        throw EQiraAuthError(refused);
    TQiraPasswordHash stored;
    stored.salt = query.value(4).toByteArray();
    stored.hash = query.value(5).toByteArray();
    stored.iterations = query.value(6).toInt();
    if (!stored.verify(passwordDigest))
        throw EQiraAuthError(refused);
    if (query.value(3).toInt() == 0)
        throw EQiraAuthError(QStringLiteral("Пользователь %1 отключен. Обратитесь к администратору.").arg(name));
    TQiraSession session;
    session.userId = query.value(0).toString();
    session.login = query.value(1).toString();
    // A role that is not in force gives nothing, administrators' included.
    if (query.value(8).isNull() || query.value(8).toInt() != 0) {
        session.roleId = query.value(2).toString();
        session.roleName = query.value(7).toString();
    }
    session.signedInAt = now();
    query = QSqlQuery();
    exec(QStringLiteral("UPDATE users SET last_datetime = ? WHERE user_id = ?"), {toDb(session.signedInAt), session.userId});
    return session;
}

bool TQiraSqlStore::bootstrapAdministrator(const QString &login, const QString &passwordDigest)
{
    const QString name = ZxTrim(login);
    if (name.isEmpty())
        throw EQiraRequestError(QStringLiteral("Не указан логин администратора"));
    if (!TQiraPasswordHash::isDigest(passwordDigest))
        throw EQiraRequestError(QStringLiteral("Пароль должен быть задан MD5-дайджестом (32 строчные шестнадцатеричные цифры)"));
    Transaction tx(*this);
    QSqlQuery existing = exec(QStringLiteral("SELECT COUNT(*) FROM users WHERE login = ?"), {name});
    if (existing.next() && existing.value(0).toLongLong() > 0)
        return false;
    const TQiraPasswordHash hash = TQiraPasswordHash::create(passwordDigest, m_options.passwordIterations);
    const QDateTime stamp = now();
    exec(QStringLiteral("INSERT INTO users (user_id, login, roleid, active, pw_salt, pw_hash, pw_iterations, name,"
                        " usercreate, datecreate) VALUES (?, ?, '1', 1, ?, ?, ?, ?, ?, ?)"),
         {NewID(), name, hash.salt, hash.hash, hash.iterations, name, name, toDb(stamp)});
    tx.commit();
    return true;
}
