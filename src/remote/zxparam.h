#pragma once

#include "zxparamtype.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>

// One named, typed parameter of a remote call, with its direction and value. A value is
// either null or of the parameter's type: the setters convert what they are given to
// that type, the readers convert the value to what the caller asks for, and both raise
// EConvertError when a conversion makes no sense. A null reads as an empty text, 0,
// false, an invalid date-time and no bytes.
class TZxParam
{
public:
    TZxParam() = default;
    TZxParam(QString name, TZxParamType type, TZxParamDir dir);

    const QString &Name() const { return m_name; }
    TZxParamType DataType() const { return m_type; }
    TZxParamDir Direction() const { return m_dir; }

    bool IsNull() const { return !m_value.isValid(); }
    void Clear() { m_value = QVariant(); }
    // Null, or a QString, qint32, qint64, bool, QDateTime or QByteArray after the type.
    const QVariant &Value() const { return m_value; }
    // Takes a value that is already of the type (the wire decoder's path); a value of
    // another kind raises EConvertError.
    void SetTypedValue(TZxParamType type, const QVariant &value);

    void SetString(const QString &value);
    void SetInteger(qint32 value);
    void SetLargeInt(qint64 value);
    void SetBoolean(bool value);
    // An invalid date-time sets null.
    void SetDateTime(const QDateTime &value);
    void SetBytes(const QByteArray &value);

    QString AsString() const;
    qint32 AsInteger() const;
    qint64 AsLargeInt() const;
    bool AsBoolean() const;
    // In local time.
    QDateTime AsDateTime() const;
    QByteArray AsBytes() const;

private:
    [[noreturn]] void refuse(const QString &what) const;
    qint64 integerFromText(const QString &text) const;
    qint32 narrowed(qint64 value) const;

    QString m_name;
    TZxParamType m_type = TZxParamType::String;
    TZxParamDir m_dir = TZxParamDir::Input;
    QVariant m_value;
};
