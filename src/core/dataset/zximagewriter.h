#pragma once

#include "zxfielddef.h"
#include "zximageformat.h"
#include "zxrowchange.h"

#include <QByteArray>
#include <QCborStreamWriter>
#include <QList>
#include <QSet>
#include <memory>

// Writes a dataset image or a change stream table by table, row by row, so that a
// server can stream rows from its storage without building a table first. Every value
// goes through its column's TZxFieldDef::Coerce, so what is written always reads back.
//
//   TZxImageWriter writer(TZxImageKind::Image, 1);
//   writer.BeginTable("iqFiles", fields, rows.size());
//   for (const QVariantList &row : rows) writer.WriteRow(row);
//   writer.EndTable();
//   QByteArray bytes = writer.Finish();
//
// Counts given as -1 are written as indefinite-length arrays. Misuse (a row of the
// wrong width, more rows than announced, rows in a change stream) throws
// EZxDatasetError; a value its column cannot hold throws EConvertError.
class TZxImageWriter
{
public:
    TZxImageWriter(TZxImageKind kind, qsizetype tableCount = -1);
    ~TZxImageWriter();
    TZxImageWriter(const TZxImageWriter &) = delete;
    TZxImageWriter &operator=(const TZxImageWriter &) = delete;

    void BeginTable(const QString &name, const QList<TZxFieldDef> &fields, qsizetype rowCount = -1);
    void WriteRow(const QVariantList &values);
    void WriteChange(const TZxRowChange &change);
    void EndTable();
    QByteArray Finish();

private:
    QVariantList coerceRow(const QVariantList &values) const;
    void emitRow(const QVariantList &coerced);
    void countRow();

    TZxImageKind m_kind;
    QByteArray m_bytes;
    std::unique_ptr<QCborStreamWriter> m_writer;
    qsizetype m_tableCount;
    qsizetype m_tablesWritten = 0;
    bool m_inTable = false;
    bool m_finished = false;
    QSet<QString> m_tableNames; // case-folded
    QString m_tableName;
    QList<TZxFieldDef> m_fields;
    qsizetype m_rowCount = -1;
    qsizetype m_rowsWritten = 0;
};
