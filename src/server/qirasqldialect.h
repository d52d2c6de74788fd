#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

class QSqlDatabase;

// What differs between the SQL databases the store runs on. Statements are written in
// portable SQL; the few places that cannot be are asked of the dialect.
class TQiraSqlDialect
{
public:
    virtual ~TQiraSqlDialect() = default;

    virtual QString driverName() const = 0;
    // Connection options and the database name, before the connection opens.
    virtual void configure(QSqlDatabase &db) const = 0;
    // Session settings right after a connection opens. Throws EQiraStoreError.
    virtual void afterOpen(QSqlDatabase &db) const = 0;
    // The statements that start a transaction which will write; they take the write lock
    // at once, so that two writers queue instead of failing halfway.
    virtual QStringList beginWrite() const = 0;

    // Type words of the schema text: {DATETIME}, {BLOB}, {ROWID} (an auto-incremented
    // integer primary key), {PATH} (text compared byte by byte).
    virtual QString expandDdl(const QString &ddl) const = 0;

    // A hint that makes the planner scan the named index, placed right after the table
    // alias in FROM; empty where the planner needs none.
    virtual QString indexHint(const QString &indexName) const = 0;

    // Put before a query to have its plan described instead of run.
    virtual QString explainPrefix() const = 0;

    virtual QVariant toDb(const QDateTime &value) const = 0;
    virtual QDateTime dateTimeFromDb(const QVariant &value) const = 0;

protected:
    // Date-times as fixed-width local-time text, which sorts in time order on any database.
    static QVariant dateTimeToText(const QDateTime &value);
    static QDateTime dateTimeFromText(const QVariant &value);
};
