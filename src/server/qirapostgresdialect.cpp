#include "qirapostgresdialect.h"

#include "qiraerrors.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

TQiraPostgresDialect::TQiraPostgresDialect(QString connectionString, QString schema)
    : m_connection(std::move(connectionString)), m_schema(std::move(schema))
{
}

QString TQiraPostgresDialect::driverName() const { return QStringLiteral("QPSQL"); }

QString TQiraPostgresDialect::quotedSchema(const QString &schema)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]{0,62}$"));
    if (!plain.match(schema).hasMatch())
        throw EQiraStoreError(QStringLiteral("Недопустимое имя схемы PostgreSQL \"%1\"").arg(schema));
    return u'"' + schema + u'"';
}

// The driver appends its connect options to the libpq connection string as they are,
// so every libpq key (host, port, dbname, user, password, sslmode…) works.
void TQiraPostgresDialect::configure(QSqlDatabase &db) const { db.setConnectOptions(m_connection); }

void TQiraPostgresDialect::afterOpen(QSqlDatabase &db) const
{
    QStringList settings{QStringLiteral("SET client_encoding TO 'UTF8'"), QStringLiteral("SET client_min_messages TO warning"),
                         // Waiting writers queue on the store lock; a stuck one must not
                         // hold the others forever.
                         QStringLiteral("SET lock_timeout TO '60s'")};
    if (!m_schema.isEmpty()) {
        settings.append(QStringLiteral("CREATE SCHEMA IF NOT EXISTS %1").arg(quotedSchema(m_schema)));
        settings.append(QStringLiteral("SET search_path TO %1").arg(quotedSchema(m_schema)));
    }
    for (const QString &statement : settings) {
        QSqlQuery query(db);
        if (!query.exec(statement)) {
            // Two connections may race to create the schema; the loser finds it there.
            if (statement.startsWith(QStringLiteral("CREATE SCHEMA")))
                continue;
            throw EQiraStoreError(QStringLiteral("%1: %2").arg(statement, query.lastError().text()));
        }
    }
}

// One writer at a time, as on SQLite: every write transaction first takes the store's
// transaction-scoped advisory lock, so that read-check-write sequences (the branch
// counter, the lock of a file, the next version number) never interleave. Readers are
// not blocked; each of their statements sees committed data only.
QStringList TQiraPostgresDialect::beginWrite() const
{
    // Keyed by the schema, so that stores sharing a database do not wait for each other.
    return {QStringLiteral("BEGIN"), QStringLiteral("SELECT pg_advisory_xact_lock(20110211, hashtext(current_schema()))")};
}

QString TQiraPostgresDialect::expandDdl(const QString &ddl) const
{
    QString text = ddl;
    text.replace(QStringLiteral("{DATETIME}"), QStringLiteral("VARCHAR(23)"));
    text.replace(QStringLiteral("{BLOB}"), QStringLiteral("BYTEA"));
    text.replace(QStringLiteral("{ROWID}"), QStringLiteral("BIGSERIAL PRIMARY KEY"));
    // Paths compare byte by byte: the subtree of "a/" is the range ["a/", "a0").
    text.replace(QStringLiteral("{PATH}"), QStringLiteral("VARCHAR(1000) COLLATE \"C\""));
    return text;
}

QString TQiraPostgresDialect::indexHint(const QString &) const { return {}; }

QString TQiraPostgresDialect::explainPrefix() const { return QStringLiteral("EXPLAIN "); }

QVariant TQiraPostgresDialect::toDb(const QDateTime &value) const { return dateTimeToText(value); }

QDateTime TQiraPostgresDialect::dateTimeFromDb(const QVariant &value) const { return dateTimeFromText(value); }
