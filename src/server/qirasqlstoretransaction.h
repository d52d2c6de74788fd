#pragma once

#include "qirasqlstore.h"

// A write transaction: begun so that it holds the write lock from the start, rolled
// back unless committed.
class TQiraSqlStore::Transaction
{
public:
    explicit Transaction(TQiraSqlStore &store) : m_store(store) { m_store.exec(m_store.m_dialect->beginWrite()); }
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
        m_store.exec(QStringLiteral("COMMIT"));
        m_done = true;
    }

private:
    TQiraSqlStore &m_store;
    bool m_done = false;
};
