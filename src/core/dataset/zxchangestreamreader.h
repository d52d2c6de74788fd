#pragma once

#include "zximagereader.h"

// The server's side of a change stream: the changed rows of each table, one at a time,
// without loading any table. Changes come in the order they must be applied: a table's
// deletions first, then its inserted and modified rows.
//
//   TZxChangeStreamReader changes(bytes);
//   while (changes.NextTable()) {
//       const qsizetype key = changes.FieldIndex("fileid");
//       TZxRowChange change;
//       while (changes.NextChange(change)) ...;   // change.Original[key], change.Values
//   }
//
// Throws EZxImageError for bytes that are not a well-formed change stream (an image
// included).
class TZxChangeStreamReader
{
public:
    explicit TZxChangeStreamReader(const QByteArray &stream, const TZxImageLimits &limits = {});

    bool NextTable() { return m_reader.NextTable(); }
    const QString &TableName() const { return m_reader.TableName(); }
    const QList<TZxFieldDef> &Fields() const { return m_reader.Fields(); }
    // -1 when the table has no such column; names match without regard to case.
    qsizetype FieldIndex(const QString &name) const { return ZxFieldIndex(m_reader.Fields(), name); }
    bool NextChange(TZxRowChange &change) { return m_reader.NextChange(change); }

private:
    TZxImageReader m_reader;
};
