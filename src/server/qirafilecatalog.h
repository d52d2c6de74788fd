#pragma once

#include "qirastoretypes.h"

#include <QList>
#include <QString>

// The columns of the file list as clients see them, with what each may take part in:
// sorting, filtering, being written by a client. The column names are those of the
// server's files table, so "f." + name is valid SQL there.
class TQiraFileCatalog
{
public:
    enum class Kind { Text, Integer, Decimal, DateTime };

    struct Entry
    {
        TQiraColumn column;
        Kind kind = Kind::Text;
        bool sortable = true;
        bool filterable = true;
        bool clientWritable = false;
    };

    // iqFiles in its column order, then the file's own dates.
    static const QList<Entry> &entries();
    // Exact, lower-case name; nullptr when the column is unknown.
    static const Entry *find(const QString &name);
    static QList<TQiraColumn> listColumns(bool withPreview);
};
