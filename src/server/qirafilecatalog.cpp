#include "qirafilecatalog.h"

namespace {

using Kind = TQiraFileCatalog::Kind;
using Entry = TQiraFileCatalog::Entry;

Entry entry(const char *name, TQiraColumnType type, Kind kind, int size, bool writable)
{
    Entry e;
    e.column.name = QString::fromLatin1(name);
    e.column.type = type;
    e.column.size = size;
    e.kind = kind;
    e.clientWritable = writable;
    if (type == TQiraColumnType::Decimal) {
        e.column.precision = 15;
        e.column.scale = 3;
    }
    return e;
}

QList<Entry> makeEntries()
{
    using T = TQiraColumnType;
    QList<Entry> list{
        entry("fileid", T::Text, Kind::Text, 100, true),
        entry("treeid", T::Text, Kind::Text, 100, true),
        entry("ordnum", T::Int32, Kind::Integer, 0, false),
        entry("typefileid", T::Text, Kind::Text, 100, true),
        entry("filename", T::LongText, Kind::Text, 1365, true),
        entry("fileext", T::Text, Kind::Text, 100, true),
        entry("md5_file", T::Text, Kind::Text, 100, false),
        entry("statid", T::Text, Kind::Text, 100, true),
        entry("docn", T::Text, Kind::Text, 100, true),
        entry("docdate", T::DateTime, Kind::DateTime, 0, true),
        entry("typedocid", T::Text, Kind::Text, 100, true),
        entry("kodf", T::Text, Kind::Text, 100, true),
        entry("sumdoc", T::Decimal, Kind::Decimal, 0, true),
        entry("comment_file", T::Text, Kind::Text, 333, true),
        entry("usercreate", T::Text, Kind::Text, 200, false),
        entry("datecreate", T::DateTime, Kind::DateTime, 0, false),
        entry("userupdate", T::Text, Kind::Text, 200, false),
        entry("dateupdate", T::Timestamp, Kind::DateTime, 0, false),
        entry("size_file", T::Decimal, Kind::Decimal, 0, false),
        entry("site_history", T::Text, Kind::Text, 100, true),
        entry("working_user", T::Text, Kind::Text, 200, true),
        entry("date_working", T::Timestamp, Kind::DateTime, 0, false),
        entry("del", T::Int32, Kind::Integer, 0, true),
        entry("count_history", T::Int64, Kind::Integer, 0, false),
        entry("file_datecreate", T::DateTime, Kind::DateTime, 0, true),
        entry("file_dateupdate", T::DateTime, Kind::DateTime, 0, true),
    };
    for (Entry &e : list) {
        if (e.column.name == QStringLiteral("fileid")) {
            e.column.key = true;
            e.column.nullable = false;
        }
        if (e.column.name == QStringLiteral("ordnum"))
            e.column.readOnly = true;
        // Columns the client's grid cannot show are not offered for sorting; each
        // sortable column costs two indexes.
        static const QStringList hidden{QStringLiteral("treeid"), QStringLiteral("typefileid"),
                                        QStringLiteral("statid"), QStringLiteral("typedocid"),
                                        QStringLiteral("kodf"), QStringLiteral("site_history")};
        if (hidden.contains(e.column.name))
            e.sortable = false;
        if (e.column.name == QStringLiteral("dateupdate") || e.column.name == QStringLiteral("date_working"))
            e.column.rowVersion = true;
    }
    return list;
}

} // namespace

const QList<Entry> &TQiraFileCatalog::entries()
{
    static const QList<Entry> list = makeEntries();
    return list;
}

const Entry *TQiraFileCatalog::find(const QString &name)
{
    for (const Entry &e : entries())
        if (e.column.name == name)
            return &e;
    return nullptr;
}

QList<TQiraColumn> TQiraFileCatalog::listColumns(bool withPreview)
{
    QList<TQiraColumn> columns;
    for (const Entry &e : entries())
        columns.append(e.column);
    if (withPreview) {
        TQiraColumn pic;
        pic.name = QStringLiteral("blob_pic");
        pic.type = TQiraColumnType::Blob;
        pic.readOnly = true;
        columns.append(pic);
    }
    return columns;
}
