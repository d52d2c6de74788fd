#pragma once

#include "zxfielddef.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>

class TZxDataset;

// One column of a dataset seen through its current row. Fields belong to their dataset
// and are replaced whenever it loads new columns (a load or SetFields): do not keep a
// TZxField across a load.
class TZxField
{
public:
    TZxField(const TZxField &) = delete;
    TZxField &operator=(const TZxField &) = delete;

    const TZxFieldDef &Def() const;
    const QString &FieldName() const { return Def().Name; }
    TZxFieldType DataType() const { return Def().Type; }
    bool ReadOnly() const { return Def().isReadOnly(); }
    int Index() const { return m_index; }

    // The current row's value; null (an invalid QVariant) when the dataset is empty.
    QVariant Value() const;
    // Only in Edit or Insert state, never on a read-only column; the value is coerced to
    // the column's kind (TZxFieldDef::Coerce). Throws EZxDatasetError or EConvertError.
    void SetValue(const QVariant &value);
    void Clear() { SetValue(QVariant()); }
    bool IsNull() const { return !Value().isValid(); }
    // The value the current row was loaded with; null for an inserted row.
    QVariant OldValue() const;

    // Null reads as an empty text, 0, false or an invalid date-time; a text that is not
    // a number throws EConvertError.
    QString AsString() const;
    qint64 AsInteger() const;
    double AsFloat() const;
    bool AsBoolean() const;
    QDateTime AsDateTime() const;
    QByteArray AsBytes() const;

    // A display hint for blob columns that hold pictures; not carried by images and
    // reset by every load. Throws EZxDatasetError for other column types.
    bool IsPicture() const { return m_picture; }
    void SetPicture(bool picture);

private:
    friend class TZxDataset;
    TZxField(TZxDataset *dataset, int index) : m_dataset(dataset), m_index(index) {}

    TZxDataset *m_dataset;
    int m_index;
    bool m_picture = false;
};
