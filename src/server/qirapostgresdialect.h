#pragma once

#include "qirasqldialect.h"

// PostgreSQL through the QPSQL driver. The connection string is libpq's "key=value"
// form and is handed to the driver whole; schema, when given, is where the store's
// tables live (created when missing), so that several stores can share one database.
class TQiraPostgresDialect : public TQiraSqlDialect
{
public:
    explicit TQiraPostgresDialect(QString connectionString, QString schema = {});

    QString driverName() const override;
    void configure(QSqlDatabase &db) const override;
    void afterOpen(QSqlDatabase &db) const override;
    QStringList beginWrite() const override;
    QString expandDdl(const QString &ddl) const override;
    QString indexHint(const QString &indexName) const override;
    QString explainPrefix() const override;
    QVariant toDb(const QDateTime &value) const override;
    QDateTime dateTimeFromDb(const QVariant &value) const override;

    QString schema() const { return m_schema; }
    // The schema name quoted as an identifier; throws EQiraStoreError for a name that
    // is not letters, digits and underscores.
    static QString quotedSchema(const QString &schema);

private:
    QString m_connection;
    QString m_schema;
};
