#include "qiraschema.h"

#include "qiraerrors.h"
#include "qirafilecatalog.h"
#include "qirasqldialect.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {

QStringList version1()
{
    QStringList ddl{
        QStringLiteral("CREATE TABLE branches ("
                       " treeid VARCHAR(100) NOT NULL PRIMARY KEY,"
                       " parent_treeid VARCHAR(100) REFERENCES branches (treeid),"
                       " treename VARCHAR(1365) NOT NULL,"
                       " del INTEGER NOT NULL DEFAULT 0,"
                       " node_no BIGINT NOT NULL UNIQUE,"
                       " treepath {PATH} NOT NULL UNIQUE,"
                       " usercreate VARCHAR(200), datecreate {DATETIME},"
                       " userupdate VARCHAR(200), dateupdate {DATETIME})"),
        QStringLiteral("CREATE INDEX branches_parent ON branches (parent_treeid, treename)"),
        QStringLiteral("CREATE TABLE files ("
                       " ordnum {ROWID},"
                       " fileid VARCHAR(100) NOT NULL UNIQUE,"
                       " treeid VARCHAR(100) NOT NULL,"
                       " treepath {PATH} NOT NULL,"
                       " typefileid VARCHAR(100),"
                       " filename VARCHAR(1365),"
                       " fileext VARCHAR(100),"
                       " md5_file VARCHAR(100),"
                       " statid VARCHAR(100),"
                       " docn VARCHAR(100),"
                       " docdate {DATETIME},"
                       " typedocid VARCHAR(100),"
                       " kodf VARCHAR(100),"
                       " sumdoc NUMERIC(15,3),"
                       " comment_file VARCHAR(333),"
                       " usercreate VARCHAR(200), datecreate {DATETIME},"
                       " userupdate VARCHAR(200), dateupdate {DATETIME},"
                       " size_file NUMERIC(15,3),"
                       " site_history VARCHAR(100),"
                       " working_user VARCHAR(200),"
                       " date_working {DATETIME},"
                       " del INTEGER NOT NULL DEFAULT 0,"
                       " count_history BIGINT NOT NULL DEFAULT 0,"
                       " file_datecreate {DATETIME},"
                       " file_dateupdate {DATETIME},"
                       " size_bytes BIGINT NOT NULL DEFAULT 0,"
                       " content_key VARCHAR(64))"),
        QStringLiteral("CREATE TABLE versions ("
                       " histid VARCHAR(100) NOT NULL PRIMARY KEY,"
                       " fileid VARCHAR(100) NOT NULL REFERENCES files (fileid) ON DELETE CASCADE,"
                       " ordnum BIGINT NOT NULL,"
                       " usercreate VARCHAR(200), datecreate {DATETIME},"
                       " md5_file VARCHAR(100),"
                       " size_file NUMERIC(15,3),"
                       " size_bytes BIGINT NOT NULL,"
                       " content_key VARCHAR(64) NOT NULL,"
                       " file_datecreate {DATETIME}, file_dateupdate {DATETIME})"),
        QStringLiteral("CREATE UNIQUE INDEX versions_file ON versions (fileid, ordnum)"),
        QStringLiteral("CREATE INDEX versions_content ON versions (content_key)"),
        QStringLiteral("CREATE TABLE previews ("
                       " fileid VARCHAR(100) NOT NULL PRIMARY KEY REFERENCES files (fileid) ON DELETE CASCADE,"
                       " blob_pic {BLOB}, datecreate {DATETIME})"),
        QStringLiteral("CREATE TABLE roles ("
                       " roleid VARCHAR(100) NOT NULL PRIMARY KEY,"
                       " rolename VARCHAR(200), order_roles INTEGER, commentrole VARCHAR(333),"
                       " active INTEGER NOT NULL DEFAULT 1, pubrole INTEGER NOT NULL DEFAULT 0,"
                       " usercreate VARCHAR(200), datecreate {DATETIME},"
                       " userupdate VARCHAR(200), dateupdate {DATETIME})"),
        QStringLiteral("CREATE TABLE users ("
                       " user_id VARCHAR(100) NOT NULL PRIMARY KEY,"
                       " login VARCHAR(200) NOT NULL UNIQUE,"
                       " roleid VARCHAR(100),"
                       " active INTEGER NOT NULL DEFAULT 1,"
                       " pw_salt {BLOB}, pw_hash {BLOB}, pw_iterations INTEGER,"
                       " commentrole VARCHAR(333), name VARCHAR(200), firstname VARCHAR(200),"
                       " middlename VARCHAR(200), company VARCHAR(200), jobtitle VARCHAR(200),"
                       " last_datetime {DATETIME}, email VARCHAR(200), phone VARCHAR(100),"
                       " order_ins INTEGER,"
                       " usercreate VARCHAR(200), datecreate {DATETIME},"
                       " userupdate VARCHAR(200), dateupdate {DATETIME})"),
        QStringLiteral("CREATE TABLE tree_rights ("
                       " tree_rightid VARCHAR(100) NOT NULL PRIMARY KEY,"
                       " treeid VARCHAR(100) NOT NULL REFERENCES branches (treeid) ON DELETE CASCADE,"
                       " username VARCHAR(200), roleid VARCHAR(100),"
                       " admtree INTEGER NOT NULL DEFAULT 0, rtree INTEGER NOT NULL DEFAULT 0,"
                       " wtree INTEGER NOT NULL DEFAULT 0, rfile INTEGER NOT NULL DEFAULT 0,"
                       " wfile INTEGER NOT NULL DEFAULT 0, rmyfile INTEGER NOT NULL DEFAULT 0,"
                       " comment_right VARCHAR(333),"
                       " usercreate VARCHAR(200), datecreate {DATETIME},"
                       " userupdate VARCHAR(200), dateupdate {DATETIME})"),
        QStringLiteral("CREATE INDEX tree_rights_tree ON tree_rights (treeid)"),
        QStringLiteral("CREATE TABLE tabu_files ("
                       " tabuid VARCHAR(100) NOT NULL PRIMARY KEY,"
                       " tabuname VARCHAR(1000),"
                       " del INTEGER NOT NULL DEFAULT 0,"
                       " usercreate VARCHAR(200), datecreate {DATETIME},"
                       " userupdate VARCHAR(200), dateupdate {DATETIME})"),
        QStringLiteral("INSERT INTO qira_meta (name, value) VALUES ('node_seq', '0')"),
        QStringLiteral("INSERT INTO roles (roleid, rolename, order_roles, active, pubrole)"
                       " VALUES ('-1', 'Главный администратор', 1, 1, 0)"),
        QStringLiteral("INSERT INTO roles (roleid, rolename, order_roles, active, pubrole)"
                       " VALUES ('1', 'Администратор', 2, 1, 0)"),
        QStringLiteral("INSERT INTO roles (roleid, rolename, order_roles, active, pubrole)"
                       " VALUES ('2', 'Пользователь', 3, 1, 1)"),
    };
    // Every list request is a scan of one of these: a branch (or a subtree, as a range
    // of paths) in the order of one column, or the whole store in that order. The
    // deletion mark and the path sit in the index too, so that rows are filtered by
    // scope, deletion and rights before any table row is read.
    for (const QString &column : TQiraSchema::sortIndexedColumns()) {
        const bool isDel = column == QStringLiteral("del");
        ddl.append(QStringLiteral("CREATE INDEX files_b_%1 ON files (treepath, %2)")
                       .arg(column, isDel ? QStringLiteral("del") : column + QStringLiteral(", del")));
        ddl.append(QStringLiteral("CREATE INDEX files_a_%1 ON files (%2, treepath)")
                       .arg(column, isDel ? QStringLiteral("del") : column + QStringLiteral(", del")));
    }
    return ddl;
}

void execOrThrow(QSqlDatabase &db, const QString &statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement))
        throw EQiraStoreError(QStringLiteral("Ошибка схемы базы: %1\n%2").arg(query.lastError().text(), statement));
}

} // namespace

QStringList TQiraSchema::sortIndexedColumns()
{
    QStringList list;
    for (const TQiraFileCatalog::Entry &e : TQiraFileCatalog::entries())
        if (e.sortable)
            list.append(e.column.name);
    return list;
}

int TQiraSchema::latestVersion() { return 1; }

int TQiraSchema::currentVersion(QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT value FROM qira_meta WHERE name = 'schema_version'")))
        return 0;
    return query.next() ? query.value(0).toInt() : 0;
}

void TQiraSchema::migrate(QSqlDatabase &db, const TQiraSqlDialect &dialect)
{
    execOrThrow(db, QStringLiteral("CREATE TABLE IF NOT EXISTS qira_meta ("
                                   " name VARCHAR(100) NOT NULL PRIMARY KEY, value VARCHAR(1000))"));
    const QList<QStringList> migrations{version1()};
    int version = currentVersion(db);
    if (version > latestVersion())
        throw EQiraStoreError(QStringLiteral("База данных создана более новой версией сервера (схема %1, эта версия знает %2)")
                                  .arg(version)
                                  .arg(latestVersion()));
    while (version < latestVersion()) {
        const QStringList begin = dialect.beginWrite();
        execOrThrow(db, begin.first());
        try {
            for (qsizetype i = 1; i < begin.size(); ++i)
                execOrThrow(db, begin.at(i));
            // Another process may have migrated meanwhile.
            if (currentVersion(db) != version) {
                execOrThrow(db, QStringLiteral("COMMIT"));
                version = currentVersion(db);
                continue;
            }
            for (const QString &statement : migrations.at(version))
                execOrThrow(db, dialect.expandDdl(statement));
            QSqlQuery mark(db);
            mark.prepare(version == 0
                             ? QStringLiteral("INSERT INTO qira_meta (name, value) VALUES ('schema_version', ?)")
                             : QStringLiteral("UPDATE qira_meta SET value = ? WHERE name = 'schema_version'"));
            mark.addBindValue(QString::number(version + 1));
            if (!mark.exec())
                throw EQiraStoreError(mark.lastError().text());
            execOrThrow(db, QStringLiteral("COMMIT"));
        } catch (...) {
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            throw;
        }
        ++version;
    }
}
