#pragma once

#include <QStringList>

class QSqlDatabase;
class TQiraSqlDialect;

// The store's schema and its versioned migrations. Each migration runs once, in its own
// transaction, and records the version it reaches in qira_meta.
class TQiraSchema
{
public:
    static int latestVersion();
    // Brings the database to the latest version. Throws EQiraStoreError; a failed
    // migration leaves the database at the version before it.
    static void migrate(QSqlDatabase &db, const TQiraSqlDialect &dialect);
    static int currentVersion(QSqlDatabase &db);

    // The columns of the file list that have an index of their own for each scope.
    static QStringList sortIndexedColumns();
};
