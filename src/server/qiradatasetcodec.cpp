#include "qiradatasetcodec.h"

#include "qiraerrors.h"
#include "zxchangestreamreader.h"
#include "zximagewriter.h"

namespace {

TZxFieldType fieldType(TQiraColumnType type)
{
    switch (type) {
    case TQiraColumnType::Text:
        return TZxFieldType::Text;
    case TQiraColumnType::LongText:
        return TZxFieldType::LongText;
    case TQiraColumnType::Int32:
        return TZxFieldType::Int32;
    case TQiraColumnType::Int64:
        return TZxFieldType::Int64;
    case TQiraColumnType::Decimal:
        return TZxFieldType::Decimal;
    case TQiraColumnType::DateTime:
        return TZxFieldType::DateTime;
    case TQiraColumnType::Timestamp:
        return TZxFieldType::Timestamp;
    case TQiraColumnType::Boolean:
        return TZxFieldType::Boolean;
    case TQiraColumnType::Blob:
        return TZxFieldType::Blob;
    }
    return TZxFieldType::Text;
}

QVariantMap rowMap(const QList<TZxFieldDef> &fields, const QVariantList &values)
{
    QVariantMap map;
    for (qsizetype i = 0; i < fields.size() && i < values.size(); ++i)
        map.insert(fields.at(i).Name, values.at(i));
    return map;
}

TQiraRowChange::State stateOf(TZxRowState state)
{
    switch (state) {
    case TZxRowState::Inserted:
        return TQiraRowChange::State::Inserted;
    case TZxRowState::Deleted:
        return TQiraRowChange::State::Deleted;
    case TZxRowState::Modified:
    case TZxRowState::Unchanged:
        break;
    }
    return TQiraRowChange::State::Modified;
}

} // namespace

TZxFieldDef TQiraDatasetCodec::fieldDef(const TQiraColumn &column)
{
    TZxFieldDef def;
    def.Name = column.name;
    def.Type = fieldType(column.type);
    if (def.Type == TZxFieldType::Text || def.Type == TZxFieldType::LongText)
        def.Size = qMax(0, column.size);
    if (def.Type == TZxFieldType::Decimal) {
        def.Precision = qBound(1, column.precision, TZxFieldDef::MaxPrecision);
        def.Scale = qBound(0, column.scale, def.Precision);
    }
    if (column.key)
        def.Flags |= TZxFieldFlag::Key;
    if (column.readOnly)
        def.Flags |= TZxFieldFlag::ReadOnly;
    if (column.rowVersion)
        def.Flags |= TZxFieldFlag::RowVersion;
    if (column.nullable)
        def.Flags |= TZxFieldFlag::Nullable;
    return def;
}

QByteArray TQiraDatasetCodec::image(const TQiraRowSet &set)
{
    QList<TZxFieldDef> fields;
    fields.reserve(set.columns.size());
    for (const TQiraColumn &column : set.columns)
        fields.append(fieldDef(column));
    TZxImageWriter writer(TZxImageKind::Image, 1);
    writer.BeginTable(set.tableName, fields, set.rows.size());
    for (const QVariantList &row : set.rows)
        writer.WriteRow(row);
    writer.EndTable();
    return writer.Finish();
}

QList<TQiraRowChange> TQiraDatasetCodec::changes(const QByteArray &stream, const QStringList &tables)
{
    TZxChangeStreamReader reader(stream);
    QList<TQiraRowChange> list;
    while (reader.NextTable()) {
        if (!tables.contains(reader.TableName(), Qt::CaseInsensitive))
            throw EQiraRequestError(QStringLiteral("Поток изменений содержит таблицу \"%1\", а ожидается %2")
                                        .arg(reader.TableName(), tables.join(QStringLiteral(" или "))));
        const QList<TZxFieldDef> fields = reader.Fields();
        TZxRowChange change;
        while (reader.NextChange(change)) {
            TQiraRowChange row;
            row.state = stateOf(change.State);
            row.original = rowMap(fields, change.Original);
            row.values = rowMap(fields, change.Values);
            list.append(row);
        }
    }
    return list;
}
