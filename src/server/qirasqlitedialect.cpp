#include "qirasqlitedialect.h"

#include "qiraerrors.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

TQiraSqliteDialect::TQiraSqliteDialect(QString databaseFile, int busyTimeoutMs)
    : m_file(std::move(databaseFile)), m_busyTimeoutMs(busyTimeoutMs)
{
}

QString TQiraSqliteDialect::driverName() const { return QStringLiteral("QSQLITE"); }

void TQiraSqliteDialect::configure(QSqlDatabase &db) const
{
    db.setDatabaseName(m_file);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_busyTimeoutMs));
}

void TQiraSqliteDialect::afterOpen(QSqlDatabase &db) const
{
    const QStringList pragmas{
        QStringLiteral("PRAGMA journal_mode=WAL"),
        QStringLiteral("PRAGMA foreign_keys=ON"),
        QStringLiteral("PRAGMA synchronous=FULL"),
        QStringLiteral("PRAGMA busy_timeout=%1").arg(m_busyTimeoutMs),
    };
    for (const QString &pragma : pragmas) {
        QSqlQuery query(db);
        if (!query.exec(pragma))
            throw EQiraStoreError(QStringLiteral("%1: %2").arg(pragma, query.lastError().text()));
    }
}

QStringList TQiraSqliteDialect::beginWrite() const { return {QStringLiteral("BEGIN IMMEDIATE")}; }

QString TQiraSqliteDialect::expandDdl(const QString &ddl) const
{
    QString text = ddl;
    text.replace(QStringLiteral("{DATETIME}"), QStringLiteral("VARCHAR(23)"));
    text.replace(QStringLiteral("{BLOB}"), QStringLiteral("BLOB"));
    text.replace(QStringLiteral("{ROWID}"), QStringLiteral("INTEGER PRIMARY KEY"));
    text.replace(QStringLiteral("{PATH}"), QStringLiteral("VARCHAR(1000)"));
    return text;
}

// Without statistics the planner may prefer the deletion-mark index and sort a whole
// branch; the list queries know which index serves them.
QString TQiraSqliteDialect::indexHint(const QString &indexName) const
{
    return QStringLiteral(" INDEXED BY ") + indexName;
}

QString TQiraSqliteDialect::explainPrefix() const { return QStringLiteral("EXPLAIN QUERY PLAN "); }

QVariant TQiraSqliteDialect::toDb(const QDateTime &value) const { return dateTimeToText(value); }

QDateTime TQiraSqliteDialect::dateTimeFromDb(const QVariant &value) const { return dateTimeFromText(value); }
