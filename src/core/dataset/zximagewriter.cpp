#include "zximagewriter.h"

#include "zxdataseterror.h"
#include "zxerror.h"

#include <QSet>

namespace {

QStringList flagNames(TZxFieldFlags flags)
{
    QStringList names;
    if (flags.testFlag(TZxFieldFlag::Key))
        names << QStringLiteral("key");
    if (flags.testFlag(TZxFieldFlag::ReadOnly))
        names << QStringLiteral("readonly");
    if (flags.testFlag(TZxFieldFlag::RowVersion))
        names << QStringLiteral("rowversion");
    if (flags.testFlag(TZxFieldFlag::Nullable))
        names << QStringLiteral("nullable");
    if (flags.testFlag(TZxFieldFlag::AutoIncrement))
        names << QStringLiteral("autoincrement");
    return names;
}

void writeColumn(QCborStreamWriter &writer, const TZxFieldDef &def)
{
    const bool isText = def.Type == TZxFieldType::Text || def.Type == TZxFieldType::LongText;
    const bool isDecimal = def.Type == TZxFieldType::Decimal;
    const QStringList flags = flagNames(def.Flags);
    writer.startMap(2 + (isText ? 1 : 0) + (isDecimal ? 2 : 0) + (flags.isEmpty() ? 0 : 1));
    writer.append(QLatin1String("name"));
    writer.append(def.Name);
    writer.append(QLatin1String("type"));
    writer.append(ZxFieldTypeName(def.Type));
    if (isText) {
        writer.append(QLatin1String("size"));
        writer.append(qint64(def.Size));
    }
    if (isDecimal) {
        writer.append(QLatin1String("precision"));
        writer.append(qint64(def.Precision));
        writer.append(QLatin1String("scale"));
        writer.append(qint64(def.Scale));
    }
    if (!flags.isEmpty()) {
        writer.append(QLatin1String("flags"));
        writer.startArray(flags.size());
        for (const QString &flag : flags)
            writer.append(flag);
        writer.endArray();
    }
    writer.endMap();
}

void writeValue(QCborStreamWriter &writer, const TZxFieldDef &def, const QVariant &value)
{
    if (!value.isValid()) {
        writer.append(nullptr);
        return;
    }
    switch (def.Type) {
    case TZxFieldType::Text:
    case TZxFieldType::LongText:
    case TZxFieldType::Decimal:
        writer.append(value.toString());
        break;
    case TZxFieldType::Int32:
    case TZxFieldType::Int64:
        writer.append(qint64(value.toLongLong()));
        break;
    case TZxFieldType::DateTime:
    case TZxFieldType::Timestamp:
        writer.append(QCborKnownTags::DateTimeString);
        writer.append(ZxDateTimeToImageText(value.toDateTime()));
        break;
    case TZxFieldType::Boolean:
        writer.append(value.toBool());
        break;
    case TZxFieldType::Blob:
        writer.append(value.toByteArray());
        break;
    }
}

} // namespace

TZxImageWriter::TZxImageWriter(TZxImageKind kind, qsizetype tableCount)
    : m_kind(kind), m_writer(std::make_unique<QCborStreamWriter>(&m_bytes)), m_tableCount(tableCount)
{
    m_writer->startMap(4);
    m_writer->append(QLatin1String("format"));
    m_writer->append(ZxImageFormat::FormatName);
    m_writer->append(QLatin1String("version"));
    m_writer->append(qint64(ZxImageFormat::Version));
    m_writer->append(QLatin1String("kind"));
    m_writer->append(kind == TZxImageKind::Image ? ZxImageFormat::KindImage : ZxImageFormat::KindChanges);
    m_writer->append(QLatin1String("tables"));
    if (tableCount < 0)
        m_writer->startArray();
    else
        m_writer->startArray(quint64(tableCount));
}

TZxImageWriter::~TZxImageWriter() = default;

void TZxImageWriter::BeginTable(const QString &name, const QList<TZxFieldDef> &fields, qsizetype rowCount)
{
    if (m_finished || m_inTable)
        throw EZxDatasetError(QStringLiteral("Запись образа: таблица '%1' начата не вовремя").arg(name));
    if (m_tableCount >= 0 && m_tablesWritten >= m_tableCount)
        throw EZxDatasetError(QStringLiteral("Запись образа: таблиц больше объявленных %1").arg(m_tableCount));
    if (name.trimmed().isEmpty() || !QStringView(name).isValidUtf16())
        throw EZxDatasetError(QStringLiteral("Запись образа: недопустимое имя таблицы '%1'").arg(name));
    if (fields.isEmpty())
        throw EZxDatasetError(QStringLiteral("Запись образа: в таблице '%1' нет столбцов").arg(name));
    if (m_tableNames.contains(name.toCaseFolded()))
        throw EZxDatasetError(QStringLiteral("Запись образа: таблица '%1' повторяется").arg(name));
    QSet<QString> names;
    for (const TZxFieldDef &def : fields) {
        def.Validate();
        const QString folded = def.Name.toCaseFolded();
        if (names.contains(folded))
            throw EZxDatasetError(QStringLiteral("Запись образа: столбец '%1' повторяется в таблице '%2'")
                                      .arg(def.Name, name));
        names.insert(folded);
    }
    m_inTable = true;
    m_tableNames.insert(name.toCaseFolded());
    m_tableName = name;
    m_fields = fields;
    m_rowCount = rowCount;
    m_rowsWritten = 0;

    m_writer->startMap(3);
    m_writer->append(QLatin1String("name"));
    m_writer->append(name);
    m_writer->append(QLatin1String("columns"));
    m_writer->startArray(quint64(fields.size()));
    for (const TZxFieldDef &def : fields)
        writeColumn(*m_writer, def);
    m_writer->endArray();
    m_writer->append(m_kind == TZxImageKind::Image ? QLatin1String("rows") : QLatin1String("changes"));
    if (rowCount < 0)
        m_writer->startArray();
    else
        m_writer->startArray(quint64(rowCount));
}

void TZxImageWriter::countRow()
{
    if (!m_inTable)
        throw EZxDatasetError(QStringLiteral("Запись образа: строка вне таблицы"));
    if (m_rowCount >= 0 && m_rowsWritten >= m_rowCount)
        throw EZxDatasetError(QStringLiteral("Запись образа: в таблице '%1' строк больше объявленных %2")
                                  .arg(m_tableName)
                                  .arg(m_rowCount));
}

QVariantList TZxImageWriter::coerceRow(const QVariantList &values) const
{
    if (values.size() != m_fields.size())
        throw EZxDatasetError(QStringLiteral("Запись образа: в строке %1 таблицы '%2' %3 значений вместо %4")
                                  .arg(m_rowsWritten + 1)
                                  .arg(m_tableName)
                                  .arg(values.size())
                                  .arg(m_fields.size()));
    QVariantList coerced;
    coerced.reserve(values.size());
    for (qsizetype i = 0; i < values.size(); ++i) {
        try {
            coerced.append(m_fields[i].Coerce(values[i]));
        } catch (const EConvertError &error) {
            throw EConvertError(QStringLiteral("Таблица '%1', строка %2: %3")
                                    .arg(m_tableName)
                                    .arg(m_rowsWritten + 1)
                                    .arg(error.message()));
        }
    }
    return coerced;
}

void TZxImageWriter::emitRow(const QVariantList &coerced)
{
    m_writer->startArray(quint64(coerced.size()));
    for (qsizetype i = 0; i < coerced.size(); ++i)
        writeValue(*m_writer, m_fields[i], coerced[i]);
    m_writer->endArray();
}

void TZxImageWriter::WriteRow(const QVariantList &values)
{
    if (m_kind != TZxImageKind::Image)
        throw EZxDatasetError(QStringLiteral("Запись образа: поток изменений не содержит строк таблицы"));
    countRow();
    emitRow(coerceRow(values));
    ++m_rowsWritten;
}

void TZxImageWriter::WriteChange(const TZxRowChange &change)
{
    if (m_kind != TZxImageKind::Changes)
        throw EZxDatasetError(QStringLiteral("Запись образа: образ таблиц не содержит изменений"));
    countRow();
    if (change.State == TZxRowState::Unchanged)
        throw EZxDatasetError(QStringLiteral("Запись образа: неизменённая строка в потоке изменений"));
    const bool hasOriginal = change.State != TZxRowState::Inserted;
    const bool hasValues = change.State != TZxRowState::Deleted;
    // Both halves are checked before any byte of the change is written, so a refused
    // value never leaves half a change behind.
    const QVariantList original = hasOriginal ? coerceRow(change.Original) : QVariantList();
    const QVariantList values = hasValues ? coerceRow(change.Values) : QVariantList();
    m_writer->startArray(3);
    m_writer->append(ZxRowStateName(change.State));
    if (hasOriginal)
        emitRow(original);
    else
        m_writer->append(nullptr);
    if (hasValues)
        emitRow(values);
    else
        m_writer->append(nullptr);
    m_writer->endArray();
    ++m_rowsWritten;
}

void TZxImageWriter::EndTable()
{
    if (!m_inTable)
        throw EZxDatasetError(QStringLiteral("Запись образа: нет начатой таблицы"));
    if (m_rowCount >= 0 && m_rowsWritten != m_rowCount)
        throw EZxDatasetError(QStringLiteral("Запись образа: в таблице '%1' %2 строк вместо объявленных %3")
                                  .arg(m_tableName)
                                  .arg(m_rowsWritten)
                                  .arg(m_rowCount));
    m_writer->endArray();
    m_writer->endMap();
    m_inTable = false;
    ++m_tablesWritten;
}

QByteArray TZxImageWriter::Finish()
{
    if (m_finished || m_inTable)
        throw EZxDatasetError(QStringLiteral("Запись образа: образ не закончен"));
    if (m_tableCount >= 0 && m_tablesWritten != m_tableCount)
        throw EZxDatasetError(QStringLiteral("Запись образа: %1 таблиц вместо объявленных %2")
                                  .arg(m_tablesWritten)
                                  .arg(m_tableCount));
    m_writer->endArray();
    m_writer->endMap();
    m_finished = true;
    m_writer.reset();
    return std::move(m_bytes);
}
