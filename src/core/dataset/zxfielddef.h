#pragma once

#include <QFlags>
#include <QList>
#include <QString>
#include <QVariant>

// The column types a dataset and its images know. In memory every value is a QVariant
// of one fixed kind per type (see TZxFieldDef::Coerce); a null is an invalid QVariant.
enum class TZxFieldType {
    Text,      // QString, at most Size characters (0: no limit)
    LongText,  // QString, at most Size characters (0: no limit)
    Int32,     // int
    Int64,     // qlonglong
    Decimal,   // QString in canonical form: "-123.450", exactly Scale fraction digits
    DateTime,  // QDateTime in local time, milliseconds kept
    Timestamp, // as DateTime; the server's stamp columns
    Boolean,   // bool
    Blob,      // QByteArray
};

enum class TZxFieldFlag {
    Key = 0x01,           // locates the row when changes are applied
    ReadOnly = 0x02,      // the client never sets it
    RowVersion = 0x04,    // changes on every update; lets the server detect lost updates
    Nullable = 0x08,      // the server accepts null
    AutoIncrement = 0x10, // the server assigns it
};
Q_DECLARE_FLAGS(TZxFieldFlags, TZxFieldFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TZxFieldFlags)

// The definition of one column: what images carry as its metadata.
struct TZxFieldDef
{
    QString Name;
    TZxFieldType Type = TZxFieldType::Text;
    int Size = 0;      // Text and LongText only
    int Precision = 0; // Decimal only: all digits, 1 to MaxPrecision
    int Scale = 0;     // Decimal only: digits after the point, 0 to Precision
    TZxFieldFlags Flags;

    static constexpr int MaxPrecision = 38;
    static constexpr int MaxSize = 1 << 30;

    // Most columns accept null, so the makers default to Nullable.
    static TZxFieldDef Text(const QString &name, int size, TZxFieldFlags flags = TZxFieldFlag::Nullable);
    static TZxFieldDef LongText(const QString &name, int size = 0,
                                TZxFieldFlags flags = TZxFieldFlag::Nullable);
    static TZxFieldDef Int32(const QString &name, TZxFieldFlags flags = TZxFieldFlag::Nullable);
    static TZxFieldDef Int64(const QString &name, TZxFieldFlags flags = TZxFieldFlag::Nullable);
    static TZxFieldDef Decimal(const QString &name, int precision, int scale,
                               TZxFieldFlags flags = TZxFieldFlag::Nullable);
    static TZxFieldDef DateTime(const QString &name, TZxFieldFlags flags = TZxFieldFlag::Nullable);
    static TZxFieldDef Timestamp(const QString &name, TZxFieldFlags flags = TZxFieldFlag::Nullable);
    static TZxFieldDef Boolean(const QString &name, TZxFieldFlags flags = TZxFieldFlag::Nullable);
    static TZxFieldDef Blob(const QString &name, TZxFieldFlags flags = TZxFieldFlag::Nullable);

    bool isReadOnly() const { return Flags.testFlag(TZxFieldFlag::ReadOnly); }
    bool isKey() const { return Flags.testFlag(TZxFieldFlag::Key); }

    // Throws EZxDatasetError when the definition itself is unusable (blank name, a size
    // on a number, a scale above the precision...).
    void Validate() const;

    // The value in this column's in-memory kind. An invalid or null QVariant is null; so
    // is a blank text for every type but the two text types. Numbers out of range, texts
    // longer than Size, decimals with too many integer digits, invalid dates and texts
    // with broken surrogate pairs throw EConvertError; decimals with more fraction digits
    // than Scale are rounded half away from zero.
    QVariant Coerce(const QVariant &value) const;

    bool operator==(const TZxFieldDef &other) const = default;
};

// The names used in images and messages: "text", "longtext", "int32", "int64",
// "decimal", "datetime", "timestamp", "boolean", "blob".
QString ZxFieldTypeName(TZxFieldType type);
// Throws EZxDatasetError for an unknown name.
TZxFieldType ZxFieldTypeFromName(const QString &name);

// The index of the column whose name equals name without regard to case, or -1.
qsizetype ZxFieldIndex(const QList<TZxFieldDef> &fields, const QString &name);

// The canonical decimal text of text at the given precision and scale. Strict reading
// (images) takes only [-]digits[.digits] with at most scale fraction digits; lenient
// reading (values set by code and users) also takes surrounding spaces, a leading "+",
// "," as the separator and an exponent, and rounds extra fraction digits. Throws
// EConvertError.
QString ZxNormalizeDecimal(QStringView text, int precision, int scale, bool strict);

// Date-times in images: UTC, RFC 3339, milliseconds: "2024-03-05T11:07:09.123Z".
QString ZxDateTimeToImageText(const QDateTime &dateTime);
// Takes "Z" or a "+hh:mm"/"-hh:mm" offset and 0 to 3 fraction digits; gives local time,
// or an invalid QDateTime for anything else.
QDateTime ZxDateTimeFromImageText(QStringView text);
