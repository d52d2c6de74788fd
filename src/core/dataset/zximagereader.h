#pragma once

#include "zxfielddef.h"
#include "zximageformat.h"
#include "zxrowchange.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariantList>
#include <memory>

class QCborStreamReader;

// Reads a dataset image or a change stream one table and one row at a time, checking
// every byte: the structure, the column definitions, each value against its column and
// the limits. Anything else throws EZxImageError naming what was wrong and where, and
// the reader is then unusable.
//
//   TZxImageReader reader(bytes);
//   while (reader.NextTable()) {
//       QVariantList row;
//       while (reader.NextRow(row)) ...;        // images
//   }
//
// Rows of a table left unread are still read and checked by the next NextTable, so a
// document is accepted only when all of it is well formed.
class TZxImageReader
{
public:
    explicit TZxImageReader(const QByteArray &data, const TZxImageLimits &limits = {});
    ~TZxImageReader();
    TZxImageReader(const TZxImageReader &) = delete;
    TZxImageReader &operator=(const TZxImageReader &) = delete;

    TZxImageKind Kind() const { return m_kind; }

    // Moves to the next table; false (and the whole document checked) after the last.
    bool NextTable();
    const QString &TableName() const { return m_tableName; }
    const QList<TZxFieldDef> &Fields() const { return m_fields; }

    // The next row of the current table of an image; false after its last row.
    bool NextRow(QVariantList &values);
    // The next change of the current table of a change stream; false after its last.
    bool NextChange(TZxRowChange &change);

private:
    enum class Phase { Tables, Rows, Done };

    [[noreturn]] void fail(const QString &what) const;
    [[noreturn]] void wrongType(const TZxFieldDef &def) const;
    void check() const;
    void advance();
    bool hasNext();
    void enterArray(const QString &what);
    void enterMap(const QString &what);
    void leave();
    qint64 remaining() const;
    QString readText(const QString &what, qint64 maxLength);
    QByteArray readBytes(const QString &what);
    qint64 readInteger(const QString &what);
    void expectKey(const QString &key);
    QString readKey();

    void readHeader();
    TZxFieldDef readColumn();
    QVariant readValue(const TZxFieldDef &def);
    QVariantList readRow(const QString &what);
    void countValues(qsizetype count);
    void finishTable();
    void finishDocument();

    QByteArray m_data;
    TZxImageLimits m_limits;
    std::unique_ptr<QCborStreamReader> m_reader;
    TZxImageKind m_kind = TZxImageKind::Image;
    Phase m_phase = Phase::Tables;
    int m_tableCount = 0;
    qint64 m_valueCount = 0;
    qint64 m_rowNumber = 0;
    qsizetype m_column = -1; // the value being read, for messages
    QList<QString> m_tableNames; // case-folded
    QString m_tableName;
    QList<TZxFieldDef> m_fields;
};
