#include "zxfield.h"

#include "zxdataset.h"
#include "zxdataseterror.h"
#include "zxerror.h"

const TZxFieldDef &TZxField::Def() const
{
    return m_dataset->FieldDefs().at(m_index);
}

QVariant TZxField::Value() const
{
    return m_dataset->currentValue(m_index);
}

void TZxField::SetValue(const QVariant &value)
{
    m_dataset->setCurrentValue(m_index, value);
}

QVariant TZxField::OldValue() const
{
    return m_dataset->currentOriginalValue(m_index);
}

QString TZxField::AsString() const
{
    const QVariant value = Value();
    if (!value.isValid())
        return {};
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime().toString(Qt::ISODateWithMs);
    return value.toString();
}

qint64 TZxField::AsInteger() const
{
    const QVariant value = Value();
    if (!value.isValid())
        return 0;
    bool ok = false;
    const qint64 number = value.typeId() == QMetaType::QString ? value.toString().trimmed().toLongLong(&ok)
                                                                : value.toLongLong(&ok);
    if (!ok)
        throw EConvertError(QStringLiteral("Поле '%1': '%2' не является целым числом").arg(FieldName(), AsString()));
    return number;
}

double TZxField::AsFloat() const
{
    const QVariant value = Value();
    if (!value.isValid())
        return 0;
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok)
        throw EConvertError(QStringLiteral("Поле '%1': '%2' не является числом").arg(FieldName(), AsString()));
    return number;
}

bool TZxField::AsBoolean() const
{
    const QVariant value = Value();
    return value.isValid() && value.toBool();
}

QDateTime TZxField::AsDateTime() const
{
    const QVariant value = Value();
    return value.typeId() == QMetaType::QDateTime ? value.toDateTime() : QDateTime();
}

QByteArray TZxField::AsBytes() const
{
    const QVariant value = Value();
    return value.typeId() == QMetaType::QByteArray ? value.toByteArray() : QByteArray();
}

void TZxField::SetPicture(bool picture)
{
    if (picture && DataType() != TZxFieldType::Blob)
        throw EZxDatasetError(QStringLiteral("Поле '%1' типа %2 не может быть картинкой")
                                  .arg(FieldName(), ZxFieldTypeName(DataType())));
    if (m_picture == picture)
        return;
    m_picture = picture;
    emit m_dataset->fieldHintChanged(m_index);
}
