#pragma once

#include "zxdataset.h"
#include "zxfielddef.h"
#include "zxtable.h"

#include <QDateTime>
#include <QList>
#include <QVariantList>

// Column sets of the server's tables, as the tests use them.
namespace Fixtures {

using F = TZxFieldFlag;

inline QList<TZxFieldDef> filesFields()
{
    return {
        TZxFieldDef::Text(QStringLiteral("fileid"), 100, F::Key),
        TZxFieldDef::Text(QStringLiteral("treeid"), 100),
        TZxFieldDef::Int32(QStringLiteral("ordnum"), F::Nullable | F::ReadOnly | F::AutoIncrement),
        TZxFieldDef::Text(QStringLiteral("typefileid"), 100),
        TZxFieldDef::LongText(QStringLiteral("filename"), 1365),
        TZxFieldDef::Text(QStringLiteral("fileext"), 100),
        TZxFieldDef::Text(QStringLiteral("md5_file"), 100),
        TZxFieldDef::Text(QStringLiteral("statid"), 100),
        TZxFieldDef::Text(QStringLiteral("docn"), 100),
        TZxFieldDef::DateTime(QStringLiteral("docdate")),
        TZxFieldDef::Text(QStringLiteral("typedocid"), 100),
        TZxFieldDef::Text(QStringLiteral("kodf"), 100),
        TZxFieldDef::Decimal(QStringLiteral("sumdoc"), 15, 3),
        TZxFieldDef::Text(QStringLiteral("comment_file"), 333),
        TZxFieldDef::Text(QStringLiteral("usercreate"), 200),
        TZxFieldDef::DateTime(QStringLiteral("datecreate")),
        TZxFieldDef::Text(QStringLiteral("userupdate"), 200),
        TZxFieldDef::Timestamp(QStringLiteral("dateupdate"), F::Nullable | F::RowVersion),
        TZxFieldDef::Decimal(QStringLiteral("size_file"), 15, 3),
        TZxFieldDef::Text(QStringLiteral("site_history"), 100),
        TZxFieldDef::Text(QStringLiteral("working_user"), 200),
        TZxFieldDef::Timestamp(QStringLiteral("date_working"), F::Nullable | F::RowVersion),
        TZxFieldDef::Int32(QStringLiteral("del")),
        TZxFieldDef::Int64(QStringLiteral("count_history")),
    };
}

// The file list with the columns a preview request adds.
inline QList<TZxFieldDef> filesWithPreviewFields()
{
    QList<TZxFieldDef> fields = filesFields();
    fields << TZxFieldDef::Blob(QStringLiteral("blob_pic")) << TZxFieldDef::DateTime(QStringLiteral("file_datecreate"))
           << TZxFieldDef::DateTime(QStringLiteral("file_dateupdate"));
    return fields;
}

inline QList<TZxFieldDef> treeRightFields()
{
    return {
        TZxFieldDef::Text(QStringLiteral("tree_rightid"), 100, F::Key),
        TZxFieldDef::Text(QStringLiteral("TreeID"), 100),
        TZxFieldDef::Text(QStringLiteral("username"), 200),
        TZxFieldDef::Text(QStringLiteral("login"), 200),
        TZxFieldDef::Text(QStringLiteral("fio"), 300),
        TZxFieldDef::Text(QStringLiteral("roleid"), 100),
        TZxFieldDef::Text(QStringLiteral("rolename"), 200),
        TZxFieldDef::Int32(QStringLiteral("admtree")),
        TZxFieldDef::Int32(QStringLiteral("rtree")),
        TZxFieldDef::Int32(QStringLiteral("wtree")),
        TZxFieldDef::Int32(QStringLiteral("rfile")),
        TZxFieldDef::Int32(QStringLiteral("wfile")),
        TZxFieldDef::Int32(QStringLiteral("rmyfile")),
        TZxFieldDef::Text(QStringLiteral("comment_right"), 333),
    };
}

inline QList<TZxFieldDef> usersFields(TZxFieldFlags activeFlags = F::Nullable)
{
    return {
        TZxFieldDef::Text(QStringLiteral("user_id"), 100, F::Key),
        TZxFieldDef::Text(QStringLiteral("login"), 200),
        TZxFieldDef::Text(QStringLiteral("Roleid"), 100),
        TZxFieldDef::Int32(QStringLiteral("active"), activeFlags),
        TZxFieldDef::Text(QStringLiteral("password"), 32),
        TZxFieldDef::Text(QStringLiteral("commentrole"), 333),
        TZxFieldDef::Text(QStringLiteral("name"), 100),
        TZxFieldDef::Text(QStringLiteral("firstname"), 100),
        TZxFieldDef::Text(QStringLiteral("middlename"), 100),
        TZxFieldDef::Text(QStringLiteral("company"), 200),
        TZxFieldDef::Text(QStringLiteral("jobtitle"), 200),
        TZxFieldDef::DateTime(QStringLiteral("last_datetime")),
        TZxFieldDef::Text(QStringLiteral("email"), 200),
        TZxFieldDef::Text(QStringLiteral("phone"), 50),
        TZxFieldDef::Int32(QStringLiteral("order_ins")),
    };
}

// A file-list row: the given identifier, name and amount, everything else filled with
// plausible values of every column type.
inline QVariantList fileRow(const QString &fileid, const QString &filename, const QString &sumdoc)
{
    const QDateTime created(QDate(2024, 3, 5), QTime(14, 7, 9, 123));
    return {fileid,
            QStringLiteral("a0000000000000000000000000000001"),
            7,
            QStringLiteral("doc"),
            filename,
            QStringLiteral("docx"),
            QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"),
            QStringLiteral("1"),
            QStringLiteral("№ 15/2024"),
            QDateTime(QDate(2024, 2, 29), QTime(0, 0)),
            QStringLiteral("contract"),
            QStringLiteral("K-1"),
            sumdoc,
            QStringLiteral("Примечание"),
            QStringLiteral("иванов"),
            created,
            QVariant(),
            QVariant(),
            QStringLiteral("12.500"),
            QVariant(),
            QString(),
            QVariant(),
            0,
            qlonglong(3)};
}

inline TZxTable filesTable()
{
    TZxTable table;
    table.Name = QStringLiteral("iqFiles");
    table.Fields = filesFields();
    table.Rows << fileRow(QStringLiteral("f1"), QStringLiteral("Договор поставки"), QStringLiteral("1500.000"))
               << fileRow(QStringLiteral("f2"), QStringLiteral("Счёт"), QStringLiteral("0.100"))
               << fileRow(QStringLiteral("f3"), QStringLiteral("Акт сверки"), QStringLiteral("-42.005"));
    return table;
}

// A dataset named iqFiles holding filesTable(), with an empty change log.
inline void loadFiles(TZxDataset &dataset)
{
    dataset.SetTableName(QStringLiteral("iqFiles"));
    dataset.LoadFromTable(filesTable());
}

inline QStringList columnValues(TZxDataset &dataset, const QString &name)
{
    QStringList values;
    for (int row = 0; row < dataset.RecordCount(); ++row)
        values << dataset.RowValue(row, dataset.FieldByName(name).Index()).toString();
    return values;
}

} // namespace Fixtures
