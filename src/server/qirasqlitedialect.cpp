#include "qirasqlitedialect.h"

#include "qiraerrors.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {

// Local time, fixed width, so that text comparison is time order.
const QString StoredFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

} // namespace

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

QString TQiraSqliteDialect::beginWrite() const { return QStringLiteral("BEGIN IMMEDIATE"); }

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

QVariant TQiraSqliteDialect::toDb(const QDateTime &value) const
{
    if (!value.isValid())
        return QVariant(QMetaType(QMetaType::QString));
    return value.toLocalTime().toString(StoredFormat);
}

QDateTime TQiraSqliteDialect::dateTimeFromDb(const QVariant &value) const
{
    if (value.isNull() || !value.isValid())
        return {};
    const QString text = value.toString();
    // The stored form is fixed; reading it by hand is many times quicker than a
    // format parser, which shows on every page of a list.
    const auto digits = [&text](int from, int count, int &out) {
        out = 0;
        for (int i = from; i < from + count; ++i) {
            const QChar c = text.at(i);
            if (c < u'0' || c > u'9')
                return false;
            out = out * 10 + (c.unicode() - u'0');
        }
        return true;
    };
    int y, mo, d, h, mi, sec, ms;
    if (text.size() == 23 && text.at(4) == u'-' && text.at(7) == u'-' && text.at(10) == u' ' && text.at(13) == u':'
        && text.at(16) == u':' && text.at(19) == u'.' && digits(0, 4, y) && digits(5, 2, mo) && digits(8, 2, d)
        && digits(11, 2, h) && digits(14, 2, mi) && digits(17, 2, sec) && digits(20, 3, ms)) {
        const QDateTime parsed(QDate(y, mo, d), QTime(h, mi, sec, ms));
        if (parsed.isValid())
            return parsed;
    }
    QDateTime parsed = QDateTime::fromString(text, StoredFormat);
    if (!parsed.isValid())
        parsed = QDateTime::fromString(text, Qt::ISODateWithMs);
    return parsed;
}
