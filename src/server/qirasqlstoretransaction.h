#pragma once

#include "qiraerrors.h"
#include "qirasqlstore.h"

#include <QSqlError>

// A write transaction: begun so that it holds the write lock from the start, rolled
// back unless committed.
class TQiraSqlStore::Transaction
{
public:
    explicit Transaction(TQiraSqlStore &store) : m_store(store)
    {
        const QStringList begin = m_store.m_dialect->beginWrite();
        run(begin.first());
        try {
            for (qsizetype i = 1; i < begin.size(); ++i)
                run(begin.at(i));
        } catch (...) {
            QSqlQuery(m_store.db()).exec(QStringLiteral("ROLLBACK"));
            throw;
        }
    }
    ~Transaction()
    {
        if (!m_done) {
            QSqlQuery rollback(m_store.db());
            rollback.exec(QStringLiteral("ROLLBACK"));
        }
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    void commit()
    {
        run(QStringLiteral("COMMIT"));
        m_done = true;
    }

private:
    // Transaction control is sent as it is: PostgreSQL cannot prepare it.
    void run(const QString &sql)
    {
        QSqlQuery query(m_store.db());
        if (!query.exec(sql))
            throw EQiraStoreError(QStringLiteral("Ошибка базы данных: %1").arg(query.lastError().text()));
    }

    TQiraSqlStore &m_store;
    bool m_done = false;
};
