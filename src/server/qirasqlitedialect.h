#pragma once

#include "qirasqldialect.h"

// SQLite through the QSQLITE driver: one file, WAL journal, foreign keys, a busy timeout
// so that concurrent writers wait for each other.
class TQiraSqliteDialect : public TQiraSqlDialect
{
public:
    explicit TQiraSqliteDialect(QString databaseFile, int busyTimeoutMs = 15000);

    QString driverName() const override;
    void configure(QSqlDatabase &db) const override;
    void afterOpen(QSqlDatabase &db) const override;
    QStringList beginWrite() const override;
    QString expandDdl(const QString &ddl) const override;
    QString indexHint(const QString &indexName) const override;
    QString explainPrefix() const override;
    QVariant toDb(const QDateTime &value) const override;
    QDateTime dateTimeFromDb(const QVariant &value) const override;

private:
    QString m_file;
    int m_busyTimeoutMs;
};
