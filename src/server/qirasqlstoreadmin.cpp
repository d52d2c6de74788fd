// Users, roles, branch grants, the exclusion list and the query texts of TQiraSqlStore.
#include "qirasqlstore.h"
#include "qirasqlstoretransaction.h"

#include "qiraerrors.h"
#include "qirapasswordhash.h"
#include "zxbase.h"

#include <QHash>

namespace {

TQiraColumn column(const char *name, TQiraColumnType type, int size = 0)
{
    TQiraColumn c;
    c.name = QString::fromLatin1(name);
    c.type = type;
    c.size = size;
    return c;
}

void addStamps(QList<TQiraColumn> &columns)
{
    columns << column("usercreate", TQiraColumnType::Text, 200) << column("datecreate", TQiraColumnType::DateTime)
            << column("userupdate", TQiraColumnType::Text, 200) << column("dateupdate", TQiraColumnType::Timestamp);
}

void markKey(QList<TQiraColumn> &columns)
{
    columns.first().key = true;
    columns.first().nullable = false;
}

QString keyOf(const TQiraRowChange &change, const QString &key)
{
    QString value;
    if (change.state != TQiraRowChange::State::Inserted)
        value = ZxTrim(change.originalValue(key).toString());
    if (value.isEmpty())
        value = ZxTrim(change.newValue(key).toString());
    return value;
}

} // namespace

QVariant TQiraSqlStore::adminValue(const AdminColumn &c, const QVariant &value) const
{
    const bool null = !value.isValid() || value.isNull();
    switch (c.kind) {
    case 'i':
        return null ? QVariant(QMetaType(QMetaType::LongLong)) : QVariant(value.toLongLong());
    case 'f': {
        const qlonglong flag = null ? 0 : value.toLongLong();
        if (flag != 0 && flag != 1)
            throw EQiraRequestError(QStringLiteral("Значение столбца %1 должно быть 0 или 1").arg(c.name));
        return flag;
    }
    case 'd':
        return toDb(null ? QDateTime() : value.toDateTime());
    default: {
        if (null)
            return nullText();
        const QString text = value.toString();
        if (c.size > 0 && text.size() > c.size)
            throw EQiraRequestError(QStringLiteral("Значение столбца %1 длиннее %2 знаков").arg(c.name).arg(c.size));
        return text;
    }
    }
}

void TQiraSqlStore::applyTableChanges(const TQiraSession &session, const QString &table, const QString &key,
                                      const QList<AdminColumn> &columns, const QList<TQiraRowChange> &changes,
                                      const std::function<void(const TQiraRowChange &, const QString &, bool)> &check,
                                      const std::function<void(const TQiraRowChange &, const QString &)> &after)
{
    Transaction tx(*this);
    for (const TQiraRowChange &change : changes) {
        QString id = keyOf(change, key);
        if (id.isEmpty() && change.state == TQiraRowChange::State::Inserted)
            id = NewID();
        if (id.isEmpty())
            throw EQiraRequestError(QStringLiteral("Не указан ключ %1 изменяемой записи").arg(key));
        if (id.size() > 100)
            throw EQiraRequestError(QStringLiteral("Ключ %1 длиннее 100 знаков").arg(key));
        QSqlQuery found = exec(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2 = ?").arg(table, key), {id});
        const bool exists = found.next() && found.value(0).toLongLong() > 0;
        found = QSqlQuery();
        check(change, id, exists);
        const QVariant stamp = toDb(now());
        if (change.state == TQiraRowChange::State::Deleted) {
            if (exists)
                exec(QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(table, key), {id});
            continue;
        }
        if (!exists) {
            if (change.state == TQiraRowChange::State::Modified)
                throw EQiraRequestError(QStringLiteral("Запись %1 = \"%2\" не найдена").arg(key, id));
            QStringList names{key};
            QVariantList values{id};
            for (const AdminColumn &c : columns) {
                if (!change.hasNewValue(c.name))
                    continue;
                names.append(c.name);
                values.append(adminValue(c, change.newValue(c.name)));
            }
            names << QStringLiteral("usercreate") << QStringLiteral("datecreate") << QStringLiteral("userupdate")
                  << QStringLiteral("dateupdate");
            values << session.login << stamp << session.login << stamp;
            QStringList marks;
            for (qsizetype i = 0; i < names.size(); ++i)
                marks.append(QStringLiteral("?"));
            exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, names.join(u','), marks.join(u',')), values);
            if (after)
                after(change, id);
            continue;
        }
        QStringList sets;
        QVariantList values;
        for (const AdminColumn &c : columns) {
            if (!change.changes(c.name))
                continue;
            sets.append(c.name + QStringLiteral(" = ?"));
            values.append(adminValue(c, change.newValue(c.name)));
        }
        sets << QStringLiteral("userupdate = ?") << QStringLiteral("dateupdate = ?");
        values << session.login << stamp << id;
        exec(QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?").arg(table, sets.join(QStringLiteral(", ")), key), values);
        if (after)
            after(change, id);
    }
    tx.commit();
}

// --- users ---------------------------------------------------------------------------------

TQiraRowSet TQiraSqlStore::users(const TQiraSession &session)
{
    requireAdmin(session, QStringLiteral("Список пользователей"));
    QList<TQiraColumn> columns{column("user_id", TQiraColumnType::Text, 100), column("login", TQiraColumnType::Text, 200),
                               column("Roleid", TQiraColumnType::Text, 100), column("active", TQiraColumnType::Int32),
                               column("password", TQiraColumnType::Text, 100),
                               column("commentrole", TQiraColumnType::Text, 333), column("name", TQiraColumnType::Text, 200),
                               column("firstname", TQiraColumnType::Text, 200),
                               column("middlename", TQiraColumnType::Text, 200),
                               column("company", TQiraColumnType::Text, 200), column("jobtitle", TQiraColumnType::Text, 200),
                               column("last_datetime", TQiraColumnType::DateTime),
                               column("email", TQiraColumnType::Text, 200), column("phone", TQiraColumnType::Text, 100),
                               column("order_ins", TQiraColumnType::Int32)};
    addStamps(columns);
    columns.append(column("rolename", TQiraColumnType::Text, 200));
    columns.last().readOnly = true;
    markKey(columns);
    // The password column is there for setting a new one; it never carries one out.
    QSqlQuery query = exec(QStringLiteral("SELECT u.user_id, u.login, u.roleid, u.active, NULL, u.commentrole, u.name,"
                                          " u.firstname, u.middlename, u.company, u.jobtitle, u.last_datetime, u.email,"
                                          " u.phone, u.order_ins, u.usercreate, u.datecreate, u.userupdate, u.dateupdate,"
                                          " r.rolename FROM users u LEFT JOIN roles r ON r.roleid = u.roleid"
                                          " ORDER BY u.order_ins, u.login"));
    return readRows(query, QStringLiteral("iqUsers"), columns);
}

void TQiraSqlStore::applyUserChanges(const TQiraSession &session, const QList<TQiraRowChange> &changes)
{
    requireAdmin(session, QStringLiteral("Изменение пользователей"));
    const QList<AdminColumn> columns{{QStringLiteral("login"), 't', 200},       {QStringLiteral("roleid"), 't', 100},
                                     {QStringLiteral("active"), 'f', 0},        {QStringLiteral("commentrole"), 't', 333},
                                     {QStringLiteral("name"), 't', 200},        {QStringLiteral("firstname"), 't', 200},
                                     {QStringLiteral("middlename"), 't', 200},  {QStringLiteral("company"), 't', 200},
                                     {QStringLiteral("jobtitle"), 't', 200},    {QStringLiteral("email"), 't', 200},
                                     {QStringLiteral("phone"), 't', 100},       {QStringLiteral("order_ins"), 'i', 0}};
    // Hashing is slow on purpose; done before the write lock is taken.
    QHash<const TQiraRowChange *, TQiraPasswordHash> passwords;
    for (const TQiraRowChange &change : changes) {
        if (change.state == TQiraRowChange::State::Deleted)
            continue;
        const QVariant password = change.newValue(QStringLiteral("password"));
        const QString digest = password.isNull() ? QString() : ZxTrim(password.toString());
        if (digest.isEmpty())
            continue;
        if (!TQiraPasswordHash::isDigest(digest))
            throw EQiraRequestError(QStringLiteral("Пароль должен быть задан MD5-дайджестом (32 строчные шестнадцатеричные цифры)"));
        passwords.insert(&change, TQiraPasswordHash::create(digest, m_options.passwordIterations));
    }
    const auto check = [&](const TQiraRowChange &change, const QString &id, bool exists) {
        const bool self = id == session.userId;
        if (change.state == TQiraRowChange::State::Deleted) {
            if (self)
                throw EQiraRequestError(QStringLiteral("Нельзя удалить собственную учетную запись"));
            if (exists) {
                QSqlQuery login = exec(QStringLiteral("SELECT login FROM users WHERE user_id = ?"), {id});
                if (login.next())
                    exec(QStringLiteral("DELETE FROM tree_rights WHERE username = ?"), {login.value(0).toString()});
            }
            return;
        }
        if (change.changes(QStringLiteral("login")) || !exists) {
            const QString login = ZxTrim(change.newValue(QStringLiteral("login")).toString());
            if (login.isEmpty())
                throw EQiraRequestError(QStringLiteral("Не указан логин пользователя"));
            if (login != change.newValue(QStringLiteral("login")).toString())
                throw EQiraRequestError(QStringLiteral("Логин \"%1\" не должен начинаться или кончаться пробелами").arg(login));
            QSqlQuery taken = exec(QStringLiteral("SELECT COUNT(*) FROM users WHERE login = ? AND user_id <> ?"), {login, id});
            if (taken.next() && taken.value(0).toLongLong() > 0)
                throw EQiraRequestError(QStringLiteral("Логин \"%1\" уже занят").arg(login));
        }
        if (self) {
            const bool deactivates = change.changes(QStringLiteral("active"))
                                     && change.newValue(QStringLiteral("active")).toLongLong() == 0;
            const QString role = change.newValue(QStringLiteral("roleid")).toString();
            const bool demotes = change.changes(QStringLiteral("roleid")) && role != QStringLiteral("-1")
                                 && role != QStringLiteral("1");
            if (deactivates || demotes)
                throw EQiraRequestError(QStringLiteral("Нельзя отключить собственную учетную запись или лишить себя прав администратора"));
        }
    };
    const auto after = [&](const TQiraRowChange &change, const QString &id) {
        const auto hash = passwords.constFind(&change);
        if (hash != passwords.constEnd())
            exec(QStringLiteral("UPDATE users SET pw_salt = ?, pw_hash = ?, pw_iterations = ? WHERE user_id = ?"),
                 {hash->salt, hash->hash, hash->iterations, id});
    };
    applyTableChanges(session, QStringLiteral("users"), QStringLiteral("user_id"), columns, changes, check, after);
}

// --- roles ---------------------------------------------------------------------------------

TQiraRowSet TQiraSqlStore::roles(const TQiraSession &session)
{
    requireAdmin(session, QStringLiteral("Список ролей"));
    QList<TQiraColumn> columns{column("roleid", TQiraColumnType::Text, 100), column("rolename", TQiraColumnType::Text, 200),
                               column("order_roles", TQiraColumnType::Int32),
                               column("commentrole", TQiraColumnType::Text, 333), column("active", TQiraColumnType::Int32),
                               column("pubrole", TQiraColumnType::Int32)};
    addStamps(columns);
    markKey(columns);
    QSqlQuery query = exec(QStringLiteral("SELECT roleid, rolename, order_roles, commentrole, active, pubrole, usercreate,"
                                          " datecreate, userupdate, dateupdate FROM roles ORDER BY order_roles, rolename"));
    return readRows(query, QStringLiteral("iqRoles"), columns);
}

void TQiraSqlStore::applyRoleChanges(const TQiraSession &session, const QList<TQiraRowChange> &changes)
{
    requireAdmin(session, QStringLiteral("Изменение ролей"));
    const QList<AdminColumn> columns{{QStringLiteral("rolename"), 't', 200}, {QStringLiteral("order_roles"), 'i', 0},
                                     {QStringLiteral("commentrole"), 't', 333}, {QStringLiteral("active"), 'f', 0},
                                     {QStringLiteral("pubrole"), 'f', 0}};
    const auto check = [&](const TQiraRowChange &change, const QString &id, bool) {
        const bool builtIn = id == QStringLiteral("-1") || id == QStringLiteral("1");
        if (builtIn && change.state == TQiraRowChange::State::Deleted)
            throw EQiraRequestError(QStringLiteral("Роль администратора \"%1\" удалить нельзя").arg(id));
        if (builtIn && change.changes(QStringLiteral("active")) && change.newValue(QStringLiteral("active")).toLongLong() == 0)
            throw EQiraRequestError(QStringLiteral("Роль администратора \"%1\" отключить нельзя").arg(id));
    };
    applyTableChanges(session, QStringLiteral("roles"), QStringLiteral("roleid"), columns, changes, check, {});
}

// --- branch grants -------------------------------------------------------------------------

TQiraRowSet TQiraSqlStore::treeGrants(const TQiraSession &session, const QString &treeId)
{
    requireAdmin(session, QStringLiteral("Права на ветвь"));
    const Branch branch = branchOrThrow(ZxTrim(treeId));
    QList<TQiraColumn> columns{column("tree_rightid", TQiraColumnType::Text, 100), column("TreeID", TQiraColumnType::Text, 100),
                               column("username", TQiraColumnType::Text, 200), column("login", TQiraColumnType::Text, 200),
                               column("fio", TQiraColumnType::Text, 602), column("roleid", TQiraColumnType::Text, 100),
                               column("rolename", TQiraColumnType::Text, 200), column("admtree", TQiraColumnType::Int32),
                               column("rtree", TQiraColumnType::Int32), column("wtree", TQiraColumnType::Int32),
                               column("rfile", TQiraColumnType::Int32), column("wfile", TQiraColumnType::Int32),
                               column("rmyfile", TQiraColumnType::Int32),
                               column("comment_right", TQiraColumnType::Text, 333)};
    addStamps(columns);
    markKey(columns);
    QSqlQuery query = exec(QStringLiteral("SELECT t.tree_rightid, t.treeid, t.username, u.login,"
                                          " u.name, u.firstname, u.middlename, t.roleid, r.rolename, t.admtree, t.rtree,"
                                          " t.wtree, t.rfile, t.wfile, t.rmyfile, t.comment_right, t.usercreate,"
                                          " t.datecreate, t.userupdate, t.dateupdate FROM tree_rights t"
                                          " LEFT JOIN users u ON u.login = t.username"
                                          " LEFT JOIN roles r ON r.roleid = t.roleid"
                                          " WHERE t.treeid = ? ORDER BY t.datecreate, t.tree_rightid"),
                           {branch.treeId});
    TQiraRowSet set;
    set.tableName = QStringLiteral("iqTreeright");
    set.columns = columns;
    while (query.next()) {
        QVariantList row;
        const auto text = [&query](int i) { return query.value(i).isNull() ? QVariant() : QVariant(query.value(i).toString()); };
        row << text(0) << text(1) << text(2) << text(3);
        const QString fio = query.value(4).toString() + u' ' + query.value(5).toString() + u' ' + query.value(6).toString();
        row << (query.value(3).isNull() ? QVariant() : QVariant(fio));
        row << text(7) << text(8);
        for (int i = 9; i <= 14; ++i)
            row << query.value(i).toInt();
        row << text(15) << text(16);
        const QDateTime created = m_dialect->dateTimeFromDb(query.value(17));
        row << (created.isValid() ? QVariant(created) : QVariant()) << text(18);
        const QDateTime updated = m_dialect->dateTimeFromDb(query.value(19));
        row << (updated.isValid() ? QVariant(updated) : QVariant());
        set.rows.append(row);
    }
    return set;
}

void TQiraSqlStore::applyGrantChanges(const TQiraSession &session, const QList<TQiraRowChange> &changes)
{
    requireAdmin(session, QStringLiteral("Изменение прав на ветви"));
    const QList<AdminColumn> columns{{QStringLiteral("treeid"), 't', 100},  {QStringLiteral("username"), 't', 200},
                                     {QStringLiteral("roleid"), 't', 100},  {QStringLiteral("admtree"), 'f', 0},
                                     {QStringLiteral("rtree"), 'f', 0},     {QStringLiteral("wtree"), 'f', 0},
                                     {QStringLiteral("rfile"), 'f', 0},     {QStringLiteral("wfile"), 'f', 0},
                                     {QStringLiteral("rmyfile"), 'f', 0},   {QStringLiteral("comment_right"), 't', 333}};
    const auto check = [&](const TQiraRowChange &change, const QString &, bool exists) {
        if (change.state == TQiraRowChange::State::Deleted)
            return;
        if (!exists || change.changes(QStringLiteral("treeid"))) {
            const QString treeId = ZxTrim(change.newValue(QStringLiteral("treeid")).toString());
            if (treeId.isEmpty())
                throw EQiraRequestError(QStringLiteral("Не указана ветвь права (TreeID)"));
            branchOrThrow(treeId);
        }
    };
    applyTableChanges(session, QStringLiteral("tree_rights"), QStringLiteral("tree_rightid"), columns, changes, check, {});
}

// --- exclusion list ------------------------------------------------------------------------

TQiraRowSet TQiraSqlStore::tabuFiles(const TQiraSession &)
{
    QList<TQiraColumn> columns{column("tabuid", TQiraColumnType::Text, 100), column("tabuname", TQiraColumnType::Text, 1000),
                               column("del", TQiraColumnType::Int32)};
    addStamps(columns);
    markKey(columns);
    QSqlQuery query = exec(QStringLiteral("SELECT tabuid, tabuname, del, usercreate, datecreate, userupdate, dateupdate"
                                          " FROM tabu_files ORDER BY tabuname"));
    return readRows(query, QStringLiteral("iqTabuFiles"), columns);
}

void TQiraSqlStore::applyTabuChanges(const TQiraSession &session, const QList<TQiraRowChange> &changes)
{
    requireAdmin(session, QStringLiteral("Изменение списка исключений"));
    const QList<AdminColumn> columns{{QStringLiteral("tabuname"), 't', 1000}, {QStringLiteral("del"), 'f', 0}};
    applyTableChanges(session, QStringLiteral("tabu_files"), QStringLiteral("tabuid"), columns, changes,
                      [](const TQiraRowChange &, const QString &, bool) {}, {});
}

// --- query texts ---------------------------------------------------------------------------

QString TQiraSqlStore::sqlText(const QString &tableName) const
{
    if (tableName.compare(QStringLiteral("iqFiles"), Qt::CaseInsensitive) == 0
        || tableName.compare(QStringLiteral("iqFileList"), Qt::CaseInsensitive) == 0)
        return QStringLiteral(
            "SELECT f.fileid, f.treeid, f.ordnum, f.typefileid, f.filename, f.fileext, f.md5_file,\n"
            "       f.statid, f.docn, f.docdate, f.typedocid, f.kodf, f.sumdoc, f.comment_file,\n"
            "       f.usercreate, f.datecreate, f.userupdate, f.dateupdate, f.size_file,\n"
            "       f.site_history, f.working_user, f.date_working, f.del, f.count_history,\n"
            "       f.file_datecreate, f.file_dateupdate\n"
            "       -- , p.blob_pic when previews are asked for\n"
            "FROM files f\n"
            "     -- LEFT JOIN previews p ON p.fileid = f.fileid\n"
            "WHERE f.treepath = :branch_path            -- one branch, or\n"
            "      -- f.treepath >= :path AND f.treepath < :path_end  for the branch and its sub-branches\n"
            "  AND f.del = 0                            -- unless deleted files are shown\n"
            "  -- AND the branches the user may read, AND the filter's terms\n"
            "ORDER BY f.filename, f.del, f.ordnum       -- the requested order\n"
            "LIMIT :rows OFFSET :page * :rows");
    if (tableName.compare(QStringLiteral("iqUsers"), Qt::CaseInsensitive) == 0)
        return QStringLiteral(
            "SELECT u.user_id, u.login, u.roleid AS Roleid, u.active, NULL AS password, u.commentrole,\n"
            "       u.name, u.firstname, u.middlename, u.company, u.jobtitle, u.last_datetime,\n"
            "       u.email, u.phone, u.order_ins, u.usercreate, u.datecreate, u.userupdate,\n"
            "       u.dateupdate, r.rolename\n"
            "FROM users u\n"
            "     LEFT JOIN roles r ON r.roleid = u.roleid\n"
            "ORDER BY u.order_ins, u.login");
    if (tableName.compare(QStringLiteral("iqRoles"), Qt::CaseInsensitive) == 0)
        return QStringLiteral(
            "SELECT roleid, rolename, order_roles, commentrole, active, pubrole,\n"
            "       usercreate, datecreate, userupdate, dateupdate\n"
            "FROM roles\n"
            "ORDER BY order_roles, rolename");
    if (tableName.compare(QStringLiteral("iqTreeright"), Qt::CaseInsensitive) == 0)
        return QStringLiteral(
            "SELECT t.tree_rightid, t.treeid AS TreeID, t.username, u.login,\n"
            "       u.name || ' ' || u.firstname || ' ' || u.middlename AS fio,\n"
            "       t.roleid, r.rolename, t.admtree, t.rtree, t.wtree, t.rfile, t.wfile,\n"
            "       t.rmyfile, t.comment_right, t.usercreate, t.datecreate, t.userupdate, t.dateupdate\n"
            "FROM tree_rights t\n"
            "     LEFT JOIN users u ON u.login = t.username\n"
            "     LEFT JOIN roles r ON r.roleid = t.roleid\n"
            "WHERE t.treeid = :treeid\n"
            "ORDER BY t.datecreate, t.tree_rightid");
    if (tableName.compare(QStringLiteral("iqHistory"), Qt::CaseInsensitive) == 0)
        return QStringLiteral(
            "SELECT histid, fileid, ordnum, usercreate, datecreate, size_file, md5_file,\n"
            "       file_datecreate, file_dateupdate\n"
            "FROM versions\n"
            "WHERE fileid = :fileid\n"
            "ORDER BY ordnum");
    return {};
}
