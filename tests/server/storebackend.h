#pragma once

#include "qirapostgresdialect.h"
#include "qirasqlstore.h"
#include "zxbase.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <cstdio>
#include <cstdlib>
#include <memory>

// Which database the server tests run on. QIRA_TEST_BACKEND=pg runs them on the
// PostgreSQL database named by the connection string in QIRA_TEST_PG, each store in a
// schema of its own that is dropped afterwards; anything else runs them on SQLite.
namespace StoreBackend {

inline bool onPostgres() { return qgetenv("QIRA_TEST_BACKEND") == "pg"; }

inline QString connectionString() { return QString::fromLocal8Bit(qgetenv("QIRA_TEST_PG")); }

// A PostgreSQL run without a database is skipped as a whole (ctest's skip code), so
// that developers without PostgreSQL still run the suite.
inline bool checkAvailable()
{
    if (onPostgres() && connectionString().isEmpty()) {
        std::fputs("SKIP: PostgreSQL tests need QIRA_TEST_PG (a libpq connection string); "
                   "scripts/test.sh starts a throw-away cluster and sets it\n",
                   stdout);
        std::exit(77);
    }
    return true;
}
inline const bool available = checkAvailable();

} // namespace StoreBackend

// A store of the chosen backend; the PostgreSQL schema lives as long as this object.
class TestStore
{
public:
    TestStore() : m_schema(QStringLiteral("t_") + NewID().left(16).toLower().remove(u'-')) {}
    TestStore(const TestStore &) = delete;
    TestStore &operator=(const TestStore &) = delete;
    ~TestStore()
    {
        if (!m_used)
            return;
        const QString name = QStringLiteral("drop-") + m_schema;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            db.setConnectOptions(StoreBackend::connectionString());
            if (db.open()) {
                QSqlQuery(db).exec(QStringLiteral("SET client_min_messages TO warning"));
                QSqlQuery(db).exec(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE")
                                       .arg(TQiraPostgresDialect::quotedSchema(m_schema)));
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }

    // Opens (or opens again) the store whose content is in dataDir.
    std::unique_ptr<TQiraSqlStore> open(const QString &dataDir, TQiraStoreOptions options = {})
    {
        if (!StoreBackend::onPostgres())
            return TQiraSqlStore::openSqlite(dataDir, std::move(options));
        m_used = true;
        return TQiraSqlStore::openPostgres(StoreBackend::connectionString(), dataDir, std::move(options), m_schema);
    }

    QString schema() const { return m_schema; }

    // What qira-server is started with for this store: its content folder and, on
    // PostgreSQL, the database and this schema.
    QStringList programArguments(const QString &dataDir)
    {
        QStringList arguments{QStringLiteral("--data"), dataDir};
        if (StoreBackend::onPostgres()) {
            m_used = true;
            arguments << QStringLiteral("--pg") << StoreBackend::connectionString() << QStringLiteral("--pg-schema")
                      << m_schema;
        }
        return arguments;
    }

private:
    QString m_schema;
    bool m_used = false;
};
