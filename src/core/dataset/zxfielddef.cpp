#include "zxfielddef.h"

#include "zxdataseterror.h"
#include "zxerror.h"

#include <QDateTime>
#include <QTimeZone>

#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

namespace {

TZxFieldDef makeDef(const QString &name, TZxFieldType type, TZxFieldFlags flags)
{
    TZxFieldDef def;
    def.Name = name;
    def.Type = type;
    def.Flags = flags;
    return def;
}

EConvertError convertError(const TZxFieldDef &def, const QString &what)
{
    return EConvertError(QStringLiteral("Поле '%1': %2").arg(def.Name, what));
}

QString shown(const QVariant &value)
{
    QString text = value.toString();
    if (text.size() > 40)
        text = text.left(40) + QStringLiteral("…");
    return QStringLiteral("'%1' (%2)").arg(text, QString::fromLatin1(value.typeName()));
}

bool isIntegerKind(int typeId)
{
    switch (typeId) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

bool isFloatKind(int typeId)
{
    return typeId == QMetaType::Double || typeId == QMetaType::Float;
}

bool isTextKind(int typeId)
{
    return typeId == QMetaType::QString || typeId == QMetaType::QChar;
}

// A whole number from any integral, floating or text variant; nullopt for other kinds,
// an error for a fraction or a value outside the 64-bit range.
std::optional<qint64> wholeNumber(const TZxFieldDef &def, const QVariant &value)
{
    const int typeId = value.typeId();
    if (typeId == QMetaType::ULongLong || typeId == QMetaType::ULong) {
        const qulonglong unsignedValue = value.toULongLong();
        if (unsignedValue > qulonglong(std::numeric_limits<qint64>::max()))
            throw convertError(def, QStringLiteral("число %1 вне допустимого диапазона").arg(unsignedValue));
        return qint64(unsignedValue);
    }
    if (isIntegerKind(typeId) || typeId == QMetaType::Bool)
        return value.toLongLong();
    if (isFloatKind(typeId)) {
        const double number = value.toDouble();
        if (!std::isfinite(number) || std::trunc(number) != number)
            throw convertError(def, QStringLiteral("%1 не является целым числом").arg(shown(value)));
        // 2^63 is exactly representable; anything at or above it does not fit.
        if (number < -9223372036854775808.0 || number >= 9223372036854775808.0)
            throw convertError(def, QStringLiteral("число %1 вне допустимого диапазона").arg(shown(value)));
        return qint64(number);
    }
    if (isTextKind(typeId)) {
        bool ok = false;
        const qint64 number = value.toString().trimmed().toLongLong(&ok, 10);
        if (!ok)
            throw convertError(def, QStringLiteral("%1 не является целым числом").arg(shown(value)));
        return number;
    }
    return std::nullopt;
}

QVariant coerceInteger(const TZxFieldDef &def, const QVariant &value)
{
    const std::optional<qint64> number = wholeNumber(def, value);
    if (!number)
        throw convertError(def, QStringLiteral("%1 нельзя записать в целочисленное поле").arg(shown(value)));
    if (def.Type == TZxFieldType::Int64)
        return QVariant::fromValue(qlonglong(*number));
    if (*number < std::numeric_limits<qint32>::min() || *number > std::numeric_limits<qint32>::max())
        throw convertError(def, QStringLiteral("число %1 не помещается в 32 бита").arg(*number));
    return QVariant::fromValue(int(*number));
}

QVariant coerceBoolean(const TZxFieldDef &def, const QVariant &value)
{
    const int typeId = value.typeId();
    if (typeId == QMetaType::Bool)
        return QVariant::fromValue(value.toBool());
    if (isTextKind(typeId)) {
        const QString text = value.toString().trimmed().toLower();
        if (text == QStringLiteral("true") || text == QStringLiteral("1"))
            return QVariant::fromValue(true);
        if (text == QStringLiteral("false") || text == QStringLiteral("0"))
            return QVariant::fromValue(false);
        throw convertError(def, QStringLiteral("%1 не является логическим значением").arg(shown(value)));
    }
    if (isIntegerKind(typeId) || isFloatKind(typeId)) {
        const std::optional<qint64> number = wholeNumber(def, value);
        if (number && (*number == 0 || *number == 1))
            return QVariant::fromValue(*number == 1);
        throw convertError(def, QStringLiteral("%1 не является логическим значением (0 или 1)").arg(shown(value)));
    }
    throw convertError(def, QStringLiteral("%1 нельзя записать в логическое поле").arg(shown(value)));
}

QVariant coerceText(const TZxFieldDef &def, const QVariant &value)
{
    if (value.typeId() == QMetaType::QByteArray || !value.canConvert<QString>())
        throw convertError(def, QStringLiteral("%1 нельзя записать в текстовое поле").arg(shown(value)));
    const QString text = value.typeId() == QMetaType::QDateTime
                             ? value.toDateTime().toString(Qt::ISODateWithMs)
                             : value.toString();
    if (def.Size > 0 && text.size() > def.Size)
        throw convertError(def, QStringLiteral("текст из %1 символов длиннее допустимых %2")
                                    .arg(text.size())
                                    .arg(def.Size));
    if (!QStringView(text).isValidUtf16())
        throw convertError(def, QStringLiteral("текст содержит непарный суррогатный символ"));
    return QVariant::fromValue(text);
}

QVariant coerceDecimal(const TZxFieldDef &def, const QVariant &value)
{
    const int typeId = value.typeId();
    QString text;
    if (isTextKind(typeId)) {
        text = value.toString();
    } else if (isFloatKind(typeId)) {
        const double number = value.toDouble();
        if (!std::isfinite(number))
            throw convertError(def, QStringLiteral("%1 не является конечным числом").arg(shown(value)));
        // The shortest text that reads back as the same double: 0.1 stays "0.1".
        text = QString::number(number, 'g', QLocale::FloatingPointShortest);
    } else if (isIntegerKind(typeId)) {
        text = typeId == QMetaType::ULongLong || typeId == QMetaType::ULong
                   ? QString::number(value.toULongLong())
                   : QString::number(value.toLongLong());
    } else {
        throw convertError(def, QStringLiteral("%1 нельзя записать в десятичное поле").arg(shown(value)));
    }
    try {
        return QVariant::fromValue(ZxNormalizeDecimal(text, def.Precision, def.Scale, false));
    } catch (const EConvertError &error) {
        throw convertError(def, error.message());
    }
}

// Local-time conversions are costly, so only the two edge years pay for one: an offset
// never moves a date-time from 0002..9998 out of 0001..9999.
bool inImageRange(const QDateTime &dateTime)
{
    const int ownYear = dateTime.date().year();
    if (ownYear > 1 && ownYear < 9999)
        return true;
    const int year = dateTime.toUTC().date().year();
    return year >= 1 && year <= 9999;
}

QDateTime parseDateTimeText(const QString &text)
{
    QDateTime parsed = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!parsed.isValid())
        parsed = ZxDateTimeFromImageText(text);
    if (parsed.isValid())
        return parsed;
    // What people type into a grid.
    static const QStringList forms = {QStringLiteral("dd.MM.yyyy HH:mm:ss.zzz"),
                                      QStringLiteral("dd.MM.yyyy HH:mm:ss"),
                                      QStringLiteral("dd.MM.yyyy HH:mm"),
                                      QStringLiteral("dd.MM.yyyy")};
    for (const QString &form : forms) {
        parsed = QDateTime::fromString(text, form);
        if (parsed.isValid())
            return parsed;
    }
    return {};
}

QVariant coerceDateTime(const TZxFieldDef &def, const QVariant &value)
{
    QDateTime dateTime;
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        dateTime = value.toDateTime();
        break;
    case QMetaType::QDate:
        dateTime = value.toDate().startOfDay();
        break;
    case QMetaType::QString:
        dateTime = parseDateTimeText(value.toString().trimmed());
        break;
    default:
        throw convertError(def, QStringLiteral("%1 нельзя записать в поле даты и времени").arg(shown(value)));
    }
    if (!dateTime.isValid())
        throw convertError(def, QStringLiteral("%1 не является датой и временем").arg(shown(value)));
    if (!inImageRange(dateTime))
        throw convertError(def, QStringLiteral("дата %1 вне диапазона 0001–9999 годов")
                                    .arg(dateTime.toString(Qt::ISODate)));
    return QVariant::fromValue(dateTime.timeSpec() == Qt::LocalTime ? dateTime : dateTime.toLocalTime());
}

QVariant coerceBlob(const TZxFieldDef &def, const QVariant &value)
{
    if (value.typeId() != QMetaType::QByteArray)
        throw convertError(def, QStringLiteral("%1 нельзя записать в двоичное поле").arg(shown(value)));
    return value;
}

int digitsOf(QStringView text, qsizetype from, qsizetype count)
{
    int number = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        number = number * 10 + (c - u'0');
    }
    return number;
}

} // namespace

TZxFieldDef TZxFieldDef::Text(const QString &name, int size, TZxFieldFlags flags)
{
    TZxFieldDef def = makeDef(name, TZxFieldType::Text, flags);
    def.Size = size;
    return def;
}

TZxFieldDef TZxFieldDef::LongText(const QString &name, int size, TZxFieldFlags flags)
{
    TZxFieldDef def = makeDef(name, TZxFieldType::LongText, flags);
    def.Size = size;
    return def;
}

TZxFieldDef TZxFieldDef::Int32(const QString &name, TZxFieldFlags flags)
{
    return makeDef(name, TZxFieldType::Int32, flags);
}

TZxFieldDef TZxFieldDef::Int64(const QString &name, TZxFieldFlags flags)
{
    return makeDef(name, TZxFieldType::Int64, flags);
}

TZxFieldDef TZxFieldDef::Decimal(const QString &name, int precision, int scale, TZxFieldFlags flags)
{
    TZxFieldDef def = makeDef(name, TZxFieldType::Decimal, flags);
    def.Precision = precision;
    def.Scale = scale;
    return def;
}

TZxFieldDef TZxFieldDef::DateTime(const QString &name, TZxFieldFlags flags)
{
    return makeDef(name, TZxFieldType::DateTime, flags);
}

TZxFieldDef TZxFieldDef::Timestamp(const QString &name, TZxFieldFlags flags)
{
    return makeDef(name, TZxFieldType::Timestamp, flags);
}

TZxFieldDef TZxFieldDef::Boolean(const QString &name, TZxFieldFlags flags)
{
    return makeDef(name, TZxFieldType::Boolean, flags);
}

TZxFieldDef TZxFieldDef::Blob(const QString &name, TZxFieldFlags flags)
{
    return makeDef(name, TZxFieldType::Blob, flags);
}

void TZxFieldDef::Validate() const
{
    const QString shownName = QStringLiteral("'%1'").arg(Name);
    if (Name.trimmed().isEmpty())
        throw EZxDatasetError(QStringLiteral("Столбец без имени"));
    if (!QStringView(Name).isValidUtf16())
        throw EZxDatasetError(QStringLiteral("Имя столбца %1 содержит непарный суррогатный символ").arg(shownName));
    const bool isText = Type == TZxFieldType::Text || Type == TZxFieldType::LongText;
    if (isText && (Size < 0 || Size > MaxSize))
        throw EZxDatasetError(QStringLiteral("Столбец %1: недопустимая длина %2").arg(shownName).arg(Size));
    if (!isText && Size != 0)
        throw EZxDatasetError(QStringLiteral("Столбец %1 типа %2 не имеет длины").arg(shownName, ZxFieldTypeName(Type)));
    if (Type == TZxFieldType::Decimal) {
        if (Precision < 1 || Precision > MaxPrecision || Scale < 0 || Scale > Precision)
            throw EZxDatasetError(QStringLiteral("Столбец %1: недопустимые точность %2 и масштаб %3")
                                      .arg(shownName)
                                      .arg(Precision)
                                      .arg(Scale));
    } else if (Precision != 0 || Scale != 0) {
        throw EZxDatasetError(QStringLiteral("Столбец %1 типа %2 не имеет точности и масштаба")
                                  .arg(shownName, ZxFieldTypeName(Type)));
    }
    const TZxFieldFlags known = TZxFieldFlag::Key | TZxFieldFlag::ReadOnly | TZxFieldFlag::RowVersion
                                | TZxFieldFlag::Nullable | TZxFieldFlag::AutoIncrement;
    if ((Flags & ~known) != TZxFieldFlags())
        throw EZxDatasetError(QStringLiteral("Столбец %1: неизвестные признаки").arg(shownName));
}

QVariant TZxFieldDef::Coerce(const QVariant &value) const
{
    if (!value.isValid() || value.isNull())
        return {};
    const bool isText = Type == TZxFieldType::Text || Type == TZxFieldType::LongText;
    if (!isText && isTextKind(value.typeId()) && value.toString().trimmed().isEmpty())
        return {};
    switch (Type) {
    case TZxFieldType::Text:
    case TZxFieldType::LongText:
        return coerceText(*this, value);
    case TZxFieldType::Int32:
    case TZxFieldType::Int64:
        return coerceInteger(*this, value);
    case TZxFieldType::Decimal:
        return coerceDecimal(*this, value);
    case TZxFieldType::DateTime:
    case TZxFieldType::Timestamp:
        return coerceDateTime(*this, value);
    case TZxFieldType::Boolean:
        return coerceBoolean(*this, value);
    case TZxFieldType::Blob:
        return coerceBlob(*this, value);
    }
    return {};
}

QString ZxFieldTypeName(TZxFieldType type)
{
    switch (type) {
    case TZxFieldType::Text:
        return QStringLiteral("text");
    case TZxFieldType::LongText:
        return QStringLiteral("longtext");
    case TZxFieldType::Int32:
        return QStringLiteral("int32");
    case TZxFieldType::Int64:
        return QStringLiteral("int64");
    case TZxFieldType::Decimal:
        return QStringLiteral("decimal");
    case TZxFieldType::DateTime:
        return QStringLiteral("datetime");
    case TZxFieldType::Timestamp:
        return QStringLiteral("timestamp");
    case TZxFieldType::Boolean:
        return QStringLiteral("boolean");
    case TZxFieldType::Blob:
        return QStringLiteral("blob");
    }
    return {};
}

TZxFieldType ZxFieldTypeFromName(const QString &name)
{
    static const TZxFieldType all[] = {TZxFieldType::Text,     TZxFieldType::LongText, TZxFieldType::Int32,
                                       TZxFieldType::Int64,    TZxFieldType::Decimal,  TZxFieldType::DateTime,
                                       TZxFieldType::Timestamp, TZxFieldType::Boolean, TZxFieldType::Blob};
    for (const TZxFieldType type : all) {
        if (ZxFieldTypeName(type) == name)
            return type;
    }
    throw EZxDatasetError(QStringLiteral("Неизвестный тип столбца '%1'").arg(name));
}

qsizetype ZxFieldIndex(const QList<TZxFieldDef> &fields, const QString &name)
{
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (fields[i].Name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString ZxNormalizeDecimal(QStringView text, int precision, int scale, bool strict)
{
    const auto refuse = [&](const QString &why) {
        return EConvertError(QStringLiteral("'%1' не является десятичным числом: %2")
                                 .arg(text.left(40).toString(), why));
    };
    if (!strict)
        text = text.trimmed();
    qsizetype pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == u'-' || (!strict && text[pos] == u'+'))) {
        negative = text[pos] == u'-';
        ++pos;
    }
    QString digits; // integer and fraction digits without the point
    qsizetype integerDigits = 0;
    qsizetype fractionDigits = 0;
    bool seenPoint = false;
    for (; pos < text.size(); ++pos) {
        const QChar c = text[pos];
        if (c.unicode() >= u'0' && c.unicode() <= u'9') {
            digits += c;
            (seenPoint ? fractionDigits : integerDigits) += 1;
        } else if (!seenPoint && (c == u'.' || (!strict && c == u','))) {
            seenPoint = true;
        } else {
            break;
        }
    }
    if (integerDigits == 0 || (seenPoint && fractionDigits == 0)) {
        // Lenient reading also takes ".5" and "5."; strict reading wants both sides.
        if (strict || digits.isEmpty())
            throw refuse(QStringLiteral("ожидались цифры"));
    }
    qint64 exponent = 0;
    if (!strict && pos < text.size() && (text[pos] == u'e' || text[pos] == u'E')) {
        ++pos;
        bool negativeExponent = false;
        if (pos < text.size() && (text[pos] == u'-' || text[pos] == u'+')) {
            negativeExponent = text[pos] == u'-';
            ++pos;
        }
        const qsizetype start = pos;
        while (pos < text.size() && text[pos].unicode() >= u'0' && text[pos].unicode() <= u'9'
               && pos - start < 6)
            exponent = exponent * 10 + (text[pos++].unicode() - u'0');
        if (pos == start)
            throw refuse(QStringLiteral("ожидался порядок"));
        if (negativeExponent)
            exponent = -exponent;
    }
    if (pos != text.size())
        throw refuse(QStringLiteral("лишние символы"));
    if (strict && fractionDigits > scale)
        throw refuse(QStringLiteral("больше %1 знаков после точки").arg(scale));

    // value = digits * 10^(exponent - fractionDigits); bring it to exactly `scale` places.
    const qint64 shift = exponent - fractionDigits + scale;
    qsizetype firstSignificant = 0;
    while (firstSignificant < digits.size() && digits[firstSignificant] == u'0')
        ++firstSignificant;
    const qint64 significant = digits.size() - firstSignificant;
    const qint64 maxIntegerDigits = precision - scale;
    if (significant > 0 && significant + shift - scale > maxIntegerDigits)
        throw refuse(QStringLiteral("больше %1 знаков до точки").arg(maxIntegerDigits));
    QString scaled = digits.mid(firstSignificant);
    if (shift > 0) {
        if (!scaled.isEmpty())
            scaled += QString(qsizetype(shift), u'0');
    } else if (shift < 0) {
        const qint64 dropped = -shift;
        bool roundUp = false;
        if (dropped <= scaled.size()) {
            roundUp = scaled[scaled.size() - dropped] >= u'5';
            scaled.chop(qsizetype(dropped));
        } else {
            scaled.clear();
        }
        if (roundUp) {
            qsizetype i = scaled.size() - 1;
            while (i >= 0 && scaled[i] == u'9')
                scaled[i--] = u'0';
            if (i >= 0)
                scaled[i] = QChar(scaled[i].unicode() + 1);
            else
                scaled.prepend(u'1');
            if (scaled.size() - scale > maxIntegerDigits)
                throw refuse(QStringLiteral("больше %1 знаков до точки").arg(maxIntegerDigits));
        }
    }
    if (scaled.size() <= scale)
        scaled = QString(scale + 1 - scaled.size(), u'0') + scaled;
    const bool isZero = scaled.count(u'0') == scaled.size();
    QString result;
    if (negative && !isZero)
        result += u'-';
    result += QStringView(scaled).left(scaled.size() - scale);
    if (scale > 0) {
        result += u'.';
        result += QStringView(scaled).right(scale);
    }
    return result;
}

QString ZxDateTimeToImageText(const QDateTime &dateTime)
{
    const QDateTime utc = dateTime.timeSpec() == Qt::UTC ? dateTime : dateTime.toUTC();
    const QDate date = utc.date();
    const QTime time = utc.time();
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", date.year(), date.month(), date.day(),
                  time.hour(), time.minute(), time.second(), time.msec());
    return QString::fromLatin1(text);
}

QDateTime ZxDateTimeFromImageText(QStringView text)
{
    // YYYY-MM-DDTHH:MM:SS[.f[f[f]]](Z|+hh:mm|-hh:mm)
    if (text.size() < 20 || text[4] != u'-' || text[7] != u'-' || text[10] != u'T' || text[13] != u':'
        || text[16] != u':')
        return {};
    const int year = digitsOf(text, 0, 4);
    const int month = digitsOf(text, 5, 2);
    const int day = digitsOf(text, 8, 2);
    const int hour = digitsOf(text, 11, 2);
    const int minute = digitsOf(text, 14, 2);
    const int second = digitsOf(text, 17, 2);
    qsizetype pos = 19;
    int msec = 0;
    if (text[pos] == u'.') {
        const qsizetype start = ++pos;
        while (pos < text.size() && pos - start < 3 && text[pos].unicode() >= u'0'
               && text[pos].unicode() <= u'9')
            ++pos;
        const qsizetype count = pos - start;
        if (count == 0)
            return {};
        msec = digitsOf(text, start, count) * (count == 1 ? 100 : count == 2 ? 10 : 1);
    }
    int offsetSeconds = 0;
    if (pos < text.size() && text[pos] == u'Z' && pos + 1 == text.size()) {
        offsetSeconds = 0;
    } else if (pos + 6 == text.size() && (text[pos] == u'+' || text[pos] == u'-') && text[pos + 3] == u':') {
        const int offsetHours = digitsOf(text, pos + 1, 2);
        const int offsetMinutes = digitsOf(text, pos + 4, 2);
        if (offsetHours < 0 || offsetHours > 23 || offsetMinutes < 0 || offsetMinutes > 59)
            return {};
        offsetSeconds = (offsetHours * 60 + offsetMinutes) * 60 * (text[pos] == u'-' ? -1 : 1);
    } else {
        return {};
    }
    if (year < 1 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return {};
    const QDate date(year, month, day);
    const QTime time(hour, minute, second, msec);
    if (!date.isValid() || !time.isValid())
        return {};
    const QDateTime utc = QDateTime(date, time, QTimeZone::utc()).addSecs(-offsetSeconds);
    if (!inImageRange(utc))
        return {};
    return utc.toLocalTime();
}
