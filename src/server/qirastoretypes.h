#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <functional>

// Plain records that the storage facade takes and returns. The remote binding turns
// them into dataset images and change streams; nothing here knows the wire format.

// The signed-in user of one connection, as the store completed it at sign-in.
struct TQiraSession
{
    QString login;
    QString userId;
    QString roleId;
    QString roleName;
    QDateTime signedInAt;

    // Administrators are exactly the roles "-1" and "1".
    bool isAdmin() const;
};

enum class TQiraColumnType { Text, LongText, Int32, Int64, Decimal, DateTime, Timestamp, Boolean, Blob };

struct TQiraColumn
{
    QString name;
    TQiraColumnType type = TQiraColumnType::Text;
    int size = 0;      // characters, for text columns
    int precision = 0; // decimal columns
    int scale = 0;
    bool key = false;
    bool readOnly = false;
    bool rowVersion = false;
    bool nullable = true;
};

// A table as the store returns it: named, typed columns and rows of values in column
// order. A null value is an invalid QVariant.
struct TQiraRowSet
{
    QString tableName;
    QList<TQiraColumn> columns;
    QList<QVariantList> rows;

    int columnIndex(const QString &name) const; // without regard to case; -1 when absent
    QVariant value(int row, const QString &column) const;
};

// One changed row of a change stream. Column names match without regard to case.
struct TQiraRowChange
{
    enum class State { Inserted, Modified, Deleted };
    State state = State::Modified;
    QVariantMap original; // the row's values as the client loaded them (key values at least)
    QVariantMap values;   // the new values; empty for a deleted row

    // The value of a column in values (or, for a deleted row, in original), looked up
    // without regard to case; invalid when absent.
    QVariant newValue(const QString &column) const;
    QVariant originalValue(const QString &column) const;
    bool hasNewValue(const QString &column) const;
    // True when the column is among the new values and differs from the original one
    // (a column without an original value counts as changed).
    bool changes(const QString &column) const;
};

struct TQiraFileCount
{
    qint64 rows = 0;
    double totalKb = 0; // sum of the files' sizes in kilobytes
};

// Settings of one store.
struct TQiraStoreOptions
{
    // Rights of a branch on whose path no branch has grants.
    bool defaultRTree = true;
    bool defaultWTree = false;
    bool defaultAdmTree = false;
    bool defaultRFile = true;
    bool defaultWFile = false;
    bool defaultRMyFile = false;
    // Iterations of the password hash for new passwords; stored hashes keep their own.
    int passwordIterations = 100000;
    // The server's clock; QDateTime::currentDateTime when empty.
    std::function<QDateTime()> clock;
};

// A file's bytes position for one transfer.
struct TQiraFileContent
{
    QString fileId;
    QString contentKey; // empty when the file has no version yet
    qint64 sizeBytes = 0;
};
