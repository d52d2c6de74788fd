#include "zxparam.h"

#include "qirainfo.h"
#include "zxbase.h"
#include "zxerror.h"

#include <limits>

namespace {

QString typeText(TZxParamType type) { return ZxParamTypeName(type); }

QString boolText(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }

std::optional<bool> boolFromText(const QString &text)
{
    const QString trimmed = ZxTrim(text);
    if (trimmed.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0 || trimmed == u'1')
        return true;
    if (trimmed.compare(QStringLiteral("false"), Qt::CaseInsensitive) == 0 || trimmed == u'0')
        return false;
    return std::nullopt;
}

QDateTime dateTimeFromText(const QString &text)
{
    return QDateTime::fromString(ZxTrim(text), Qt::ISODateWithMs);
}

// The metatype a non-null value of the type is held as.
int storageType(TZxParamType type)
{
    switch (type) {
    case TZxParamType::String:
        return QMetaType::QString;
    case TZxParamType::Int32:
        return QMetaType::Int;
    case TZxParamType::Int64:
        return QMetaType::LongLong;
    case TZxParamType::Boolean:
        return QMetaType::Bool;
    case TZxParamType::Timestamp:
        return QMetaType::QDateTime;
    case TZxParamType::Blob:
        return QMetaType::QByteArray;
    }
    return QMetaType::UnknownType;
}

} // namespace

TZxParam::TZxParam(QString name, TZxParamType type, TZxParamDir dir)
    : m_name(std::move(name)), m_type(type), m_dir(dir)
{
}

void TZxParam::refuse(const QString &what) const
{
    throw EConvertError(QStringLiteral("Параметр \"%1\" типа %2: %3").arg(m_name, typeText(m_type), what));
}

qint64 TZxParam::integerFromText(const QString &text) const
{
    bool ok = false;
    const qint64 value = ZxTrim(text).toLongLong(&ok, 10);
    if (!ok)
        refuse(QStringLiteral("'%1' не является целым числом").arg(text));
    return value;
}

qint32 TZxParam::narrowed(qint64 value) const
{
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        refuse(QStringLiteral("%1 не помещается в 32-битное целое").arg(value));
    return qint32(value);
}

void TZxParam::SetTypedValue(TZxParamType type, const QVariant &value)
{
    if (value.isValid() && value.typeId() != storageType(type))
        throw EConvertError(QStringLiteral("Параметр \"%1\": значение не относится к типу %2")
                                .arg(m_name, typeText(type)));
    m_type = type;
    m_value = value;
}

void TZxParam::SetString(const QString &value)
{
    switch (m_type) {
    case TZxParamType::String:
        m_value = value;
        return;
    case TZxParamType::Int32:
        m_value = narrowed(integerFromText(value));
        return;
    case TZxParamType::Int64:
        m_value = integerFromText(value);
        return;
    case TZxParamType::Boolean:
        if (const auto flag = boolFromText(value)) {
            m_value = *flag;
            return;
        }
        refuse(QStringLiteral("'%1' не является логическим значением").arg(value));
    case TZxParamType::Timestamp: {
        const QDateTime dateTime = dateTimeFromText(value);
        if (!dateTime.isValid())
            refuse(QStringLiteral("'%1' не является датой и временем").arg(value));
        m_value = dateTime;
        return;
    }
    case TZxParamType::Blob:
        m_value = value.toUtf8();
        return;
    }
}

void TZxParam::SetInteger(qint32 value) { SetLargeInt(value); }

void TZxParam::SetLargeInt(qint64 value)
{
    switch (m_type) {
    case TZxParamType::String:
        m_value = QString::number(value);
        return;
    case TZxParamType::Int32:
        m_value = narrowed(value);
        return;
    case TZxParamType::Int64:
        m_value = value;
        return;
    case TZxParamType::Boolean:
        m_value = value != 0;
        return;
    case TZxParamType::Timestamp:
    case TZxParamType::Blob:
        refuse(QStringLiteral("целое число сюда не записывается"));
    }
}

void TZxParam::SetBoolean(bool value)
{
    switch (m_type) {
    case TZxParamType::String:
        m_value = boolText(value);
        return;
    case TZxParamType::Int32:
        m_value = qint32(value ? 1 : 0);
        return;
    case TZxParamType::Int64:
        m_value = qint64(value ? 1 : 0);
        return;
    case TZxParamType::Boolean:
        m_value = value;
        return;
    case TZxParamType::Timestamp:
    case TZxParamType::Blob:
        refuse(QStringLiteral("логическое значение сюда не записывается"));
    }
}

void TZxParam::SetDateTime(const QDateTime &value)
{
    if (!value.isValid()) {
        Clear();
        return;
    }
    switch (m_type) {
    case TZxParamType::String:
        m_value = IsoDateTimeWithOffset(value);
        return;
    case TZxParamType::Timestamp:
        m_value = value;
        return;
    default:
        refuse(QStringLiteral("дата и время сюда не записываются"));
    }
}

void TZxParam::SetBytes(const QByteArray &value)
{
    if (m_type != TZxParamType::Blob)
        refuse(QStringLiteral("двоичные данные сюда не записываются"));
    m_value = value;
}

QString TZxParam::AsString() const
{
    if (IsNull())
        return {};
    switch (m_type) {
    case TZxParamType::String:
        return m_value.toString();
    case TZxParamType::Int32:
    case TZxParamType::Int64:
        return QString::number(m_value.toLongLong());
    case TZxParamType::Boolean:
        return boolText(m_value.toBool());
    case TZxParamType::Timestamp:
        return IsoDateTimeWithOffset(m_value.toDateTime().toLocalTime());
    case TZxParamType::Blob:
        break;
    }
    refuse(QStringLiteral("двоичные данные не читаются как текст"));
}

qint32 TZxParam::AsInteger() const { return narrowed(AsLargeInt()); }

qint64 TZxParam::AsLargeInt() const
{
    if (IsNull())
        return 0;
    switch (m_type) {
    case TZxParamType::String:
        return integerFromText(m_value.toString());
    case TZxParamType::Int32:
    case TZxParamType::Int64:
        return m_value.toLongLong();
    case TZxParamType::Boolean:
        return m_value.toBool() ? 1 : 0;
    case TZxParamType::Timestamp:
    case TZxParamType::Blob:
        break;
    }
    refuse(QStringLiteral("значение не читается как целое число"));
}

bool TZxParam::AsBoolean() const
{
    if (IsNull())
        return false;
    switch (m_type) {
    case TZxParamType::String:
        if (const auto flag = boolFromText(m_value.toString()))
            return *flag;
        refuse(QStringLiteral("'%1' не является логическим значением").arg(m_value.toString()));
    case TZxParamType::Int32:
    case TZxParamType::Int64:
        return m_value.toLongLong() != 0;
    case TZxParamType::Boolean:
        return m_value.toBool();
    case TZxParamType::Timestamp:
    case TZxParamType::Blob:
        break;
    }
    refuse(QStringLiteral("значение не читается как логическое"));
}

QDateTime TZxParam::AsDateTime() const
{
    if (IsNull())
        return {};
    if (m_type == TZxParamType::Timestamp)
        return m_value.toDateTime().toLocalTime();
    if (m_type == TZxParamType::String) {
        const QDateTime dateTime = dateTimeFromText(m_value.toString());
        if (!dateTime.isValid())
            refuse(QStringLiteral("'%1' не является датой и временем").arg(m_value.toString()));
        return dateTime.toLocalTime();
    }
    refuse(QStringLiteral("значение не читается как дата и время"));
}

QByteArray TZxParam::AsBytes() const
{
    if (IsNull())
        return {};
    if (m_type == TZxParamType::Blob)
        return m_value.toByteArray();
    if (m_type == TZxParamType::String)
        return m_value.toString().toUtf8();
    refuse(QStringLiteral("значение не читается как двоичные данные"));
}
