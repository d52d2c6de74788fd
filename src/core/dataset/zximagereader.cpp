#include "zximagereader.h"

#include "zxdataseterror.h"
#include "zxerror.h"

#include <QCborStreamReader>
#include <QDateTime>
#include <QSet>

#include <limits>

namespace {

QString cborTypeName(const QCborStreamReader &reader)
{
    switch (reader.type()) {
    case QCborStreamReader::UnsignedInteger:
    case QCborStreamReader::NegativeInteger:
        return QStringLiteral("целое число");
    case QCborStreamReader::ByteArray:
        return QStringLiteral("двоичная строка");
    case QCborStreamReader::String:
        return QStringLiteral("текстовая строка");
    case QCborStreamReader::Array:
        return QStringLiteral("массив");
    case QCborStreamReader::Map:
        return QStringLiteral("словарь");
    case QCborStreamReader::Tag:
        return QStringLiteral("тег %1").arg(quint64(reader.toTag()));
    case QCborStreamReader::SimpleType:
        if (reader.isNull())
            return QStringLiteral("null");
        if (reader.isBool())
            return QStringLiteral("логическое значение");
        if (reader.isUndefined())
            return QStringLiteral("undefined");
        return QStringLiteral("простое значение");
    case QCborStreamReader::Float16:
    case QCborStreamReader::Float:
    case QCborStreamReader::Double:
        return QStringLiteral("число с плавающей точкой");
    case QCborStreamReader::Invalid:
        break;
    }
    return QStringLiteral("конец данных");
}

QString typeExpectation(TZxFieldType type)
{
    switch (type) {
    case TZxFieldType::Text:
    case TZxFieldType::LongText:
        return QStringLiteral("текстовая строка");
    case TZxFieldType::Int32:
    case TZxFieldType::Int64:
        return QStringLiteral("целое число");
    case TZxFieldType::Decimal:
        return QStringLiteral("десятичное число текстом");
    case TZxFieldType::DateTime:
    case TZxFieldType::Timestamp:
        return QStringLiteral("дата и время (тег 0)");
    case TZxFieldType::Boolean:
        return QStringLiteral("логическое значение");
    case TZxFieldType::Blob:
        return QStringLiteral("двоичная строка");
    }
    return {};
}

TZxFieldFlag flagFromName(const QString &name, bool *ok)
{
    *ok = true;
    if (name == QStringLiteral("key"))
        return TZxFieldFlag::Key;
    if (name == QStringLiteral("readonly"))
        return TZxFieldFlag::ReadOnly;
    if (name == QStringLiteral("rowversion"))
        return TZxFieldFlag::RowVersion;
    if (name == QStringLiteral("nullable"))
        return TZxFieldFlag::Nullable;
    if (name == QStringLiteral("autoincrement"))
        return TZxFieldFlag::AutoIncrement;
    *ok = false;
    return TZxFieldFlag::Key;
}

constexpr qint64 MaxKeyBytes = 64;
constexpr qint64 MaxDecimalBytes = 128;
constexpr qint64 MaxDateTimeBytes = 64;

} // namespace

TZxImageReader::TZxImageReader(const QByteArray &data, const TZxImageLimits &limits)
    : m_data(data), m_limits(limits)
{
    if (m_data.isEmpty())
        throw EZxImageError(QStringLiteral("Образ набора данных пуст"));
    if (m_data.size() > m_limits.MaxBytes)
        throw EZxImageError(QStringLiteral("Образ набора данных слишком велик: %1 байт, допускается не более %2")
                                .arg(m_data.size())
                                .arg(m_limits.MaxBytes));
    m_reader = std::make_unique<QCborStreamReader>(m_data);
    readHeader();
}

TZxImageReader::~TZxImageReader() = default;

void TZxImageReader::fail(const QString &what) const
{
    QString context;
    if (!m_tableName.isEmpty()) {
        context = QStringLiteral("таблица '%1'").arg(m_tableName);
        if (m_rowNumber > 0)
            context += QStringLiteral(", строка %1").arg(m_rowNumber);
        if (m_column >= 0 && m_column < m_fields.size())
            context += QStringLiteral(", столбец '%1'").arg(m_fields[m_column].Name);
        context += QStringLiteral(": ");
    }
    throw EZxImageError(QStringLiteral("Образ набора данных повреждён: %1%2 (байт %3)")
                            .arg(context, what)
                            .arg(m_reader ? m_reader->currentOffset() : 0));
}

void TZxImageReader::check() const
{
    const QCborError error = m_reader->lastError();
    if (error == QCborError::NoError)
        return;
    switch (error.c) {
    case QCborError::EndOfFile:
        fail(QStringLiteral("данные оборвались"));
    case QCborError::InvalidUtf8String:
        fail(QStringLiteral("текст не в кодировке UTF-8"));
    case QCborError::DataTooLarge:
        fail(QStringLiteral("длина элемента больше допустимой"));
    default:
        fail(QStringLiteral("ошибка CBOR: %1").arg(error.toString()));
    }
}

void TZxImageReader::advance()
{
    m_reader->next();
    check();
}

bool TZxImageReader::hasNext()
{
    check();
    const bool more = m_reader->hasNext();
    check();
    return more;
}

qint64 TZxImageReader::remaining() const
{
    return m_data.size() - m_reader->currentOffset();
}

void TZxImageReader::enterArray(const QString &what)
{
    check();
    if (!m_reader->isArray())
        fail(QStringLiteral("%1: ожидался массив, получено: %2").arg(what, cborTypeName(*m_reader)));
    // Each element takes at least one byte, so a longer declared count is a lie.
    if (m_reader->isLengthKnown() && m_reader->length() > quint64(remaining()))
        fail(QStringLiteral("%1: объявлено %2 элементов, а данных меньше").arg(what).arg(m_reader->length()));
    m_reader->enterContainer();
    check();
}

void TZxImageReader::enterMap(const QString &what)
{
    check();
    if (!m_reader->isMap())
        fail(QStringLiteral("%1: ожидался словарь, получено: %2").arg(what, cborTypeName(*m_reader)));
    if (m_reader->isLengthKnown() && m_reader->length() > quint64(remaining() / 2))
        fail(QStringLiteral("%1: объявлено %2 ключей, а данных меньше").arg(what).arg(m_reader->length()));
    m_reader->enterContainer();
    check();
}

void TZxImageReader::leave()
{
    m_reader->leaveContainer();
    check();
}

QString TZxImageReader::readText(const QString &what, qint64 maxLength)
{
    check();
    if (!m_reader->isString())
        fail(QStringLiteral("%1: ожидалась текстовая строка, получено: %2").arg(what, cborTypeName(*m_reader)));
    // Chunked strings would hide their size until read; the format has none.
    if (!m_reader->isLengthKnown())
        fail(QStringLiteral("%1: строка неопределённой длины").arg(what));
    const quint64 length = m_reader->length();
    if (length > quint64(remaining()))
        fail(QStringLiteral("%1: объявлена строка в %2 байт, а данных меньше").arg(what).arg(length));
    if (length > quint64(maxLength))
        fail(QStringLiteral("%1: строка в %2 байт длиннее допустимых %3").arg(what).arg(length).arg(maxLength));
    QString text;
    auto chunk = m_reader->readString();
    while (chunk.status == QCborStreamReader::Ok) {
        text += chunk.data;
        chunk = m_reader->readString();
    }
    check();
    if (chunk.status != QCborStreamReader::EndOfString)
        fail(QStringLiteral("%1: строка не прочитана").arg(what));
    return text;
}

QByteArray TZxImageReader::readBytes(const QString &what)
{
    check();
    if (!m_reader->isByteArray())
        fail(QStringLiteral("%1: ожидалась двоичная строка, получено: %2").arg(what, cborTypeName(*m_reader)));
    if (!m_reader->isLengthKnown())
        fail(QStringLiteral("%1: строка неопределённой длины").arg(what));
    const quint64 length = m_reader->length();
    if (length > quint64(remaining()))
        fail(QStringLiteral("%1: объявлено %2 байт, а данных меньше").arg(what).arg(length));
    QByteArray bytes;
    bytes.reserve(qsizetype(length));
    auto chunk = m_reader->readByteArray();
    while (chunk.status == QCborStreamReader::Ok) {
        bytes += chunk.data;
        chunk = m_reader->readByteArray();
    }
    check();
    if (chunk.status != QCborStreamReader::EndOfString)
        fail(QStringLiteral("%1: строка не прочитана").arg(what));
    return bytes;
}

qint64 TZxImageReader::readInteger(const QString &what)
{
    check();
    qint64 value = 0;
    if (m_reader->isUnsignedInteger()) {
        const quint64 unsignedValue = m_reader->toUnsignedInteger();
        if (unsignedValue > quint64(std::numeric_limits<qint64>::max()))
            fail(QStringLiteral("%1: число %2 не помещается в 64 бита").arg(what).arg(unsignedValue));
        value = qint64(unsignedValue);
    } else if (m_reader->isNegativeInteger()) {
        // The absolute value; 0 stands for -2^64.
        const quint64 magnitude = quint64(m_reader->toNegativeInteger());
        constexpr quint64 minMagnitude = quint64(1) << 63;
        if (magnitude == 0 || magnitude > minMagnitude)
            fail(QStringLiteral("%1: отрицательное число не помещается в 64 бита").arg(what));
        value = magnitude == minMagnitude ? std::numeric_limits<qint64>::min() : -qint64(magnitude);
    } else {
        fail(QStringLiteral("%1: ожидалось целое число, получено: %2").arg(what, cborTypeName(*m_reader)));
    }
    advance();
    return value;
}

QString TZxImageReader::readKey()
{
    return readText(QStringLiteral("ключ"), MaxKeyBytes);
}

void TZxImageReader::expectKey(const QString &key)
{
    if (!hasNext())
        fail(QStringLiteral("нет ключа '%1'").arg(key));
    const QString found = readKey();
    if (found != key)
        fail(QStringLiteral("ожидался ключ '%1', получен '%2'").arg(key, found));
}

void TZxImageReader::readHeader()
{
    enterMap(QStringLiteral("документ"));
    if (!hasNext() || readKey() != QStringLiteral("format")
        || readText(QStringLiteral("format"), MaxKeyBytes) != ZxImageFormat::FormatName)
        fail(QStringLiteral("это не образ набора данных (нет \"format\": \"%1\")").arg(ZxImageFormat::FormatName));
    expectKey(QStringLiteral("version"));
    const qint64 version = readInteger(QStringLiteral("version"));
    if (version != ZxImageFormat::Version)
        throw EZxImageError(QStringLiteral("Версия %1 образа набора данных не поддерживается (известна версия %2)")
                                .arg(version)
                                .arg(ZxImageFormat::Version));
    expectKey(QStringLiteral("kind"));
    const QString kind = readText(QStringLiteral("kind"), MaxKeyBytes);
    if (kind == ZxImageFormat::KindImage)
        m_kind = TZxImageKind::Image;
    else if (kind == ZxImageFormat::KindChanges)
        m_kind = TZxImageKind::Changes;
    else
        fail(QStringLiteral("неизвестный вид документа '%1'").arg(kind));
    expectKey(QStringLiteral("tables"));
    enterArray(QStringLiteral("tables"));
    m_phase = Phase::Tables;
}

TZxFieldDef TZxImageReader::readColumn()
{
    enterMap(QStringLiteral("столбец %1").arg(m_fields.size() + 1));
    TZxFieldDef def;
    QSet<QString> seen;
    while (hasNext()) {
        const QString key = readKey();
        if (seen.contains(key))
            fail(QStringLiteral("ключ '%1' столбца повторяется").arg(key));
        seen.insert(key);
        if (key == QStringLiteral("name")) {
            def.Name = readText(QStringLiteral("имя столбца"), qint64(m_limits.MaxNameLength) * 3);
        } else if (key == QStringLiteral("type")) {
            const QString typeName = readText(QStringLiteral("тип столбца"), MaxKeyBytes);
            try {
                def.Type = ZxFieldTypeFromName(typeName);
            } catch (const EZxDatasetError &error) {
                fail(error.message());
            }
        } else if (key == QStringLiteral("size") || key == QStringLiteral("precision")
                   || key == QStringLiteral("scale")) {
            const qint64 number = readInteger(key);
            if (number < 0 || number > std::numeric_limits<int>::max())
                fail(QStringLiteral("недопустимое значение '%1': %2").arg(key).arg(number));
            (key == QStringLiteral("size") ? def.Size : key == QStringLiteral("precision") ? def.Precision
                                                                                          : def.Scale) = int(number);
        } else if (key == QStringLiteral("flags")) {
            enterArray(QStringLiteral("flags"));
            while (hasNext()) {
                const QString name = readText(QStringLiteral("признак"), MaxKeyBytes);
                bool ok = false;
                const TZxFieldFlag flag = flagFromName(name, &ok);
                if (!ok)
                    fail(QStringLiteral("неизвестный признак столбца '%1'").arg(name));
                def.Flags |= flag;
            }
            leave();
        } else {
            fail(QStringLiteral("неизвестный ключ столбца '%1'").arg(key));
        }
    }
    leave();
    if (!seen.contains(QStringLiteral("name")) || !seen.contains(QStringLiteral("type")))
        fail(QStringLiteral("у столбца %1 нет имени или типа").arg(m_fields.size() + 1));
    if (def.Name.size() > m_limits.MaxNameLength)
        fail(QStringLiteral("имя столбца длиннее %1 символов").arg(m_limits.MaxNameLength));
    const bool isText = def.Type == TZxFieldType::Text || def.Type == TZxFieldType::LongText;
    const bool isDecimal = def.Type == TZxFieldType::Decimal;
    if (seen.contains(QStringLiteral("size")) != isText
        || seen.contains(QStringLiteral("precision")) != isDecimal
        || seen.contains(QStringLiteral("scale")) != isDecimal)
        fail(QStringLiteral("столбец '%1' типа %2: ключи size/precision/scale не соответствуют типу")
                 .arg(def.Name, ZxFieldTypeName(def.Type)));
    try {
        def.Validate();
    } catch (const EZxDatasetError &error) {
        fail(error.message());
    }
    return def;
}

void TZxImageReader::wrongType(const TZxFieldDef &def) const
{
    fail(QStringLiteral("ожидалось: %1 или null, получено: %2")
             .arg(typeExpectation(def.Type), cborTypeName(*m_reader)));
}

QVariant TZxImageReader::readValue(const TZxFieldDef &def)
{
    check();
    if (m_reader->isNull()) {
        advance();
        return {};
    }
    static const QString valueWhat = QStringLiteral("значение");
    switch (def.Type) {
    case TZxFieldType::Text:
    case TZxFieldType::LongText: {
        if (!m_reader->isString())
            wrongType(def);
        const qint64 maxBytes = def.Size > 0 ? qint64(def.Size) * 3 : remaining();
        QString text = readText(valueWhat, maxBytes);
        if (def.Size > 0 && text.size() > def.Size)
            fail(QStringLiteral("текст из %1 символов длиннее допустимых %2").arg(text.size()).arg(def.Size));
        return QVariant::fromValue(std::move(text));
    }
    case TZxFieldType::Int32:
    case TZxFieldType::Int64: {
        if (!m_reader->isInteger())
            wrongType(def);
        const qint64 number = readInteger(valueWhat);
        if (def.Type == TZxFieldType::Int64)
            return QVariant::fromValue(qlonglong(number));
        if (number < std::numeric_limits<qint32>::min() || number > std::numeric_limits<qint32>::max())
            fail(QStringLiteral("число %1 не помещается в 32 бита").arg(number));
        return QVariant::fromValue(int(number));
    }
    case TZxFieldType::Decimal: {
        if (!m_reader->isString())
            wrongType(def);
        const QString text = readText(valueWhat, MaxDecimalBytes);
        try {
            return QVariant::fromValue(ZxNormalizeDecimal(text, def.Precision, def.Scale, true));
        } catch (const EConvertError &error) {
            fail(error.message());
        }
    }
    case TZxFieldType::DateTime:
    case TZxFieldType::Timestamp: {
        if (!m_reader->isTag() || m_reader->toTag() != QCborTag(QCborKnownTags::DateTimeString))
            wrongType(def);
        advance();
        const QString text = readText(valueWhat, MaxDateTimeBytes);
        const QDateTime dateTime = ZxDateTimeFromImageText(text);
        if (!dateTime.isValid())
            fail(QStringLiteral("'%1' не является датой и временем RFC 3339 с годом 0001–9999").arg(text));
        return QVariant::fromValue(dateTime);
    }
    case TZxFieldType::Boolean: {
        if (!m_reader->isBool())
            wrongType(def);
        const bool value = m_reader->toBool();
        advance();
        return QVariant::fromValue(value);
    }
    case TZxFieldType::Blob:
        if (!m_reader->isByteArray())
            wrongType(def);
        return QVariant::fromValue(readBytes(valueWhat));
    }
    wrongType(def);
    return {};
}

void TZxImageReader::countValues(qsizetype count)
{
    m_valueCount += count;
    if (m_valueCount > m_limits.MaxValues)
        fail(QStringLiteral("значений больше допустимых %1").arg(m_limits.MaxValues));
}

QVariantList TZxImageReader::readRow(const QString &what)
{
    enterArray(what);
    countValues(m_fields.size());
    QVariantList values;
    values.reserve(m_fields.size());
    for (m_column = 0; hasNext(); ++m_column) {
        if (m_column >= m_fields.size())
            fail(QStringLiteral("%1: значений больше, чем столбцов (%2)").arg(what).arg(m_fields.size()));
        values.append(readValue(m_fields[m_column]));
    }
    m_column = -1;
    leave();
    if (values.size() != m_fields.size())
        fail(QStringLiteral("%1: %2 значений вместо %3").arg(what).arg(values.size()).arg(m_fields.size()));
    return values;
}

bool TZxImageReader::NextRow(QVariantList &values)
{
    if (m_kind != TZxImageKind::Image)
        throw EZxDatasetError(QStringLiteral("Поток изменений читается по изменениям, а не по строкам"));
    if (m_phase != Phase::Rows)
        return false;
    if (!hasNext()) {
        finishTable();
        return false;
    }
    ++m_rowNumber;
    values = readRow(QStringLiteral("строка"));
    return true;
}

bool TZxImageReader::NextChange(TZxRowChange &change)
{
    if (m_kind != TZxImageKind::Changes)
        throw EZxDatasetError(QStringLiteral("Образ таблиц читается по строкам, а не по изменениям"));
    if (m_phase != Phase::Rows)
        return false;
    if (!hasNext()) {
        finishTable();
        return false;
    }
    ++m_rowNumber;
    enterArray(QStringLiteral("изменение"));
    if (!hasNext())
        fail(QStringLiteral("изменение без состояния"));
    const QString state = readText(QStringLiteral("состояние"), MaxKeyBytes);
    TZxRowChange result;
    if (state == QStringLiteral("inserted"))
        result.State = TZxRowState::Inserted;
    else if (state == QStringLiteral("modified"))
        result.State = TZxRowState::Modified;
    else if (state == QStringLiteral("deleted"))
        result.State = TZxRowState::Deleted;
    else
        fail(QStringLiteral("неизвестное состояние строки '%1'").arg(state));
    const bool wantsOriginal = result.State != TZxRowState::Inserted;
    const bool wantsValues = result.State != TZxRowState::Deleted;
    for (int part = 0; part < 2; ++part) {
        const bool wanted = part == 0 ? wantsOriginal : wantsValues;
        const QString what = part == 0 ? QStringLiteral("исходные значения") : QStringLiteral("новые значения");
        if (!hasNext())
            fail(QStringLiteral("в изменении нет части '%1'").arg(what));
        if (!wanted) {
            if (!m_reader->isNull())
                fail(QStringLiteral("у строки в состоянии %1 часть '%2' должна быть null").arg(state, what));
            advance();
            continue;
        }
        (part == 0 ? result.Original : result.Values) = readRow(what);
    }
    if (hasNext())
        fail(QStringLiteral("в изменении больше трёх элементов"));
    leave();
    change = std::move(result);
    return true;
}

void TZxImageReader::finishTable()
{
    leave(); // rows or changes
    if (hasNext())
        fail(QStringLiteral("лишний ключ в таблице"));
    leave(); // the table's map
    m_phase = Phase::Tables;
}

void TZxImageReader::finishDocument()
{
    leave(); // tables
    if (hasNext())
        fail(QStringLiteral("лишний ключ в документе"));
    leave(); // the document's map
    if (m_reader->currentOffset() != m_data.size())
        fail(QStringLiteral("лишние байты после документа"));
    m_phase = Phase::Done;
}

bool TZxImageReader::NextTable()
{
    if (m_phase == Phase::Done)
        return false;
    if (m_phase == Phase::Rows) {
        if (m_kind == TZxImageKind::Image) {
            QVariantList skipped;
            while (NextRow(skipped)) {
            }
        } else {
            TZxRowChange skipped;
            while (NextChange(skipped)) {
            }
        }
    }
    m_tableName.clear();
    m_fields.clear();
    m_rowNumber = 0;
    if (!hasNext()) {
        finishDocument();
        return false;
    }
    if (++m_tableCount > m_limits.MaxTables)
        fail(QStringLiteral("таблиц больше допустимых %1").arg(m_limits.MaxTables));
    enterMap(QStringLiteral("таблица %1").arg(m_tableCount));
    expectKey(QStringLiteral("name"));
    const QString name = readText(QStringLiteral("имя таблицы"), qint64(m_limits.MaxNameLength) * 3);
    if (name.trimmed().isEmpty())
        fail(QStringLiteral("пустое имя таблицы"));
    if (name.size() > m_limits.MaxNameLength)
        fail(QStringLiteral("имя таблицы длиннее %1 символов").arg(m_limits.MaxNameLength));
    if (m_tableNames.contains(name.toCaseFolded()))
        fail(QStringLiteral("таблица '%1' повторяется").arg(name));
    m_tableNames.append(name.toCaseFolded());
    m_tableName = name;
    expectKey(QStringLiteral("columns"));
    enterArray(QStringLiteral("columns"));
    QSet<QString> names;
    while (hasNext()) {
        if (m_fields.size() >= m_limits.MaxColumns)
            fail(QStringLiteral("столбцов больше допустимых %1").arg(m_limits.MaxColumns));
        const TZxFieldDef def = readColumn();
        if (names.contains(def.Name.toCaseFolded()))
            fail(QStringLiteral("столбец '%1' повторяется").arg(def.Name));
        names.insert(def.Name.toCaseFolded());
        m_fields.append(def);
    }
    leave();
    if (m_fields.isEmpty())
        fail(QStringLiteral("в таблице нет столбцов"));
    expectKey(m_kind == TZxImageKind::Image ? QStringLiteral("rows") : QStringLiteral("changes"));
    enterArray(m_kind == TZxImageKind::Image ? QStringLiteral("rows") : QStringLiteral("changes"));
    m_phase = Phase::Rows;
    return true;
}
