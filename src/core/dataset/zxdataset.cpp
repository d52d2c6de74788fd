#include "zxdataset.h"

#include "zxdatasetcontainer.h"
#include "zxdataseterror.h"
#include "zxerror.h"
#include "zximagereader.h"
#include "zximagewriter.h"

#include <QSet>
#include <QStringList>

#include <limits>

// Marks the time a before-handler runs: it may set fields but must not restructure the
// dataset under the operation that called it.
class TZxDataset::HandlerScope
{
public:
    explicit HandlerScope(TZxDataset &dataset) : m_dataset(dataset) { ++m_dataset.m_handlerDepth; }
    ~HandlerScope() { --m_dataset.m_handlerDepth; }
    HandlerScope(const HandlerScope &) = delete;
    HandlerScope &operator=(const HandlerScope &) = delete;

private:
    TZxDataset &m_dataset;
};

namespace {

QString stateText(TZxDatasetState state)
{
    switch (state) {
    case TZxDatasetState::Browse:
        return QStringLiteral("просмотра");
    case TZxDatasetState::Edit:
        return QStringLiteral("редактирования");
    case TZxDatasetState::Insert:
        return QStringLiteral("вставки");
    }
    return {};
}

void validateDefs(const QList<TZxFieldDef> &defs)
{
    QSet<QString> names;
    for (const TZxFieldDef &def : defs) {
        def.Validate();
        const QString folded = def.Name.toCaseFolded();
        if (names.contains(folded))
            throw EZxDatasetError(QStringLiteral("Столбец '%1' повторяется").arg(def.Name));
        names.insert(folded);
    }
}

} // namespace

TZxDataset::TZxDataset(QObject *parent) : QObject(parent) {}

TZxDataset::TZxDataset(const QString &tableName, QObject *parent) : QObject(parent), m_tableName(tableName)
{
}

TZxDataset::~TZxDataset() = default;

QString TZxDataset::shownName() const
{
    return m_tableName.isEmpty() ? QStringLiteral("Набор данных") : QStringLiteral("Набор данных '%1'").arg(m_tableName);
}

// ---- structure ----

void TZxDataset::SetFields(const QList<TZxFieldDef> &fields)
{
    requireFreeHandlers(QStringLiteral("SetFields"));
    validateDefs(fields);
    replaceContent(m_tableName, fields, {});
}

TZxField &TZxDataset::Field(int index)
{
    if (index < 0 || index >= FieldCount())
        throw EZxDatasetError(QStringLiteral("%1: нет поля с номером %2").arg(shownName()).arg(index));
    return *m_fields[size_t(index)];
}

TZxField *TZxDataset::FindField(const QString &name)
{
    const auto found = m_fieldIndex.constFind(name.toCaseFolded());
    return found == m_fieldIndex.cend() ? nullptr : m_fields[size_t(*found)].get();
}

TZxField &TZxDataset::FieldByName(const QString &name)
{
    if (TZxField *field = FindField(name))
        return *field;
    throw EZxDatasetError(QStringLiteral("%1: поле '%2' не найдено").arg(shownName(), name));
}

// ---- loading and saving ----

void TZxDataset::replaceContent(const QString &tableName, const QList<TZxFieldDef> &defs, QList<Row> rows)
{
    if (rows.size() > std::numeric_limits<int>::max())
        throw EZxDatasetError(QStringLiteral("%1: слишком много строк").arg(shownName()));
    const TZxDatasetState oldState = m_state;
    emit aboutToBeReset();
    m_tableName = tableName;
    m_defs = defs;
    m_fields.clear();
    m_fieldIndex.clear();
    for (int i = 0; i < int(defs.size()); ++i) {
        m_fields.push_back(std::unique_ptr<TZxField>(new TZxField(this, i)));
        m_fieldIndex.insert(defs[i].Name.toCaseFolded(), i);
    }
    m_rows = std::move(rows);
    m_deleted.clear();
    m_editBackup.clear();
    m_state = TZxDatasetState::Browse;
    m_current = m_rows.isEmpty() ? -1 : 0;
    m_bof = true;
    m_eof = m_rows.isEmpty();
    emit reset();
    emit currentRowChanged(m_current);
    if (oldState != m_state)
        emit stateChanged();
}

void TZxDataset::LoadFromImage(const QByteArray &image, const TZxImageLimits &limits)
{
    requireFreeHandlers(QStringLiteral("LoadFromImage"));
    TZxImageReader reader(image, limits);
    if (reader.Kind() != TZxImageKind::Image)
        throw EZxImageError(QStringLiteral("Ожидался образ таблиц, получен поток изменений"));
    bool found = false;
    QString name;
    QList<TZxFieldDef> defs;
    QList<Row> rows;
    QStringList tables;
    while (reader.NextTable()) {
        tables << reader.TableName();
        const bool wanted = m_tableName.isEmpty() ? tables.size() == 1
                                                  : reader.TableName().compare(m_tableName, Qt::CaseInsensitive) == 0;
        if (!wanted)
            continue; // the next NextTable still checks its rows
        found = true;
        name = m_tableName.isEmpty() ? reader.TableName() : m_tableName;
        defs = reader.Fields();
        QVariantList values;
        while (reader.NextRow(values)) {
            Row row;
            row.original = values;
            row.values = std::move(values);
            rows.append(std::move(row));
        }
    }
    if (m_tableName.isEmpty() && tables.size() > 1)
        throw EZxDatasetError(QStringLiteral("%1: имя таблицы не задано, а в образе их несколько (%2)")
                                  .arg(shownName(), tables.join(QStringLiteral(", "))));
    if (!found)
        throw EZxDatasetError(QStringLiteral("В образе нет таблицы '%1' (есть: %2)")
                                  .arg(m_tableName, tables.isEmpty() ? QStringLiteral("ни одной")
                                                                     : tables.join(QStringLiteral(", "))));
    replaceContent(name, defs, std::move(rows));
}

void TZxDataset::LoadFromContainer(const TZxDatasetContainer &container)
{
    if (m_tableName.isEmpty()) {
        if (container.Tables().size() != 1)
            throw EZxDatasetError(QStringLiteral("%1: имя таблицы не задано, а таблиц в наборе %2")
                                      .arg(shownName())
                                      .arg(container.Tables().size()));
        LoadFromTable(container.Tables().first());
        return;
    }
    LoadFromTable(container.Table(m_tableName));
}

void TZxDataset::LoadFromTable(const TZxTable &table)
{
    requireFreeHandlers(QStringLiteral("LoadFromTable"));
    validateDefs(table.Fields);
    QList<Row> rows;
    rows.reserve(table.Rows.size());
    for (qsizetype r = 0; r < table.Rows.size(); ++r) {
        const QVariantList &source = table.Rows[r];
        if (source.size() != table.Fields.size())
            throw EZxDatasetError(QStringLiteral("Таблица '%1', строка %2: %3 значений вместо %4")
                                      .arg(table.Name)
                                      .arg(r + 1)
                                      .arg(source.size())
                                      .arg(table.Fields.size()));
        Row row;
        row.values.reserve(source.size());
        for (qsizetype c = 0; c < source.size(); ++c) {
            try {
                row.values.append(table.Fields[c].Coerce(source[c]));
            } catch (const EConvertError &error) {
                throw EConvertError(QStringLiteral("Таблица '%1', строка %2: %3").arg(table.Name).arg(r + 1).arg(error.message()));
            }
        }
        row.original = row.values;
        rows.append(std::move(row));
    }
    replaceContent(m_tableName.isEmpty() ? table.Name : m_tableName, table.Fields, std::move(rows));
}

TZxTable TZxDataset::ToTable() const
{
    requireBrowse(QStringLiteral("снимок таблицы"));
    TZxTable table;
    table.Name = m_tableName;
    table.Fields = m_defs;
    table.Rows.reserve(m_rows.size());
    for (const Row &row : m_rows)
        table.Rows.append(row.values);
    return table;
}

QByteArray TZxDataset::SaveToImage() const
{
    requireBrowse(QStringLiteral("образ таблицы"));
    TZxImageWriter writer(TZxImageKind::Image, 1);
    writer.BeginTable(m_tableName, m_defs, m_rows.size());
    for (const Row &row : m_rows)
        writer.WriteRow(row.values);
    writer.EndTable();
    return writer.Finish();
}

QByteArray TZxDataset::ChangeStream() const
{
    requireBrowse(QStringLiteral("поток изменений"));
    TZxImageWriter writer(TZxImageKind::Changes, 1);
    writer.BeginTable(m_tableName, m_defs, ChangeCount());
    for (const Row &row : m_deleted)
        writer.WriteChange({TZxRowState::Deleted, row.original, {}});
    for (const Row &row : m_rows) {
        if (row.state == TZxRowState::Inserted)
            writer.WriteChange({TZxRowState::Inserted, {}, row.values});
        else if (row.state == TZxRowState::Modified)
            writer.WriteChange({TZxRowState::Modified, row.original, row.values});
    }
    writer.EndTable();
    return writer.Finish();
}

// ---- guards ----

void TZxDataset::requireFreeHandlers(const QString &operation) const
{
    if (m_handlerDepth > 0)
        throw EZxDatasetError(QStringLiteral("%1: %2 нельзя выполнять из обработчика события").arg(shownName(), operation));
}

void TZxDataset::requireBrowse(const QString &operation) const
{
    if (m_state != TZxDatasetState::Browse)
        throw EZxDatasetError(QStringLiteral("%1 в режиме %2: %3 нельзя получить, пока изменение не записано "
                                             "или не отменено")
                                  .arg(shownName(), stateText(m_state), operation));
}

void TZxDataset::runBefore(const Handler &handler)
{
    if (!handler)
        return;
    HandlerScope scope(*this);
    handler(*this);
}

void TZxDataset::checkBrowseMode()
{
    if (m_state != TZxDatasetState::Browse)
        Post();
}

void TZxDataset::setCurrent(int row)
{
    if (row == m_current)
        return;
    m_current = row;
    emit currentRowChanged(row);
}

void TZxDataset::setState(TZxDatasetState state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged();
}

// ---- cursor ----

void TZxDataset::First()
{
    requireFreeHandlers(QStringLiteral("First"));
    checkBrowseMode();
    setCurrent(m_rows.isEmpty() ? -1 : 0);
    m_bof = true;
    m_eof = m_rows.isEmpty();
}

void TZxDataset::Last()
{
    requireFreeHandlers(QStringLiteral("Last"));
    checkBrowseMode();
    setCurrent(int(m_rows.size()) - 1);
    m_eof = true;
    m_bof = m_rows.isEmpty();
}

void TZxDataset::Next()
{
    requireFreeHandlers(QStringLiteral("Next"));
    checkBrowseMode();
    if (m_current < int(m_rows.size()) - 1) {
        setCurrent(m_current + 1);
        m_bof = false;
        m_eof = false;
    } else {
        m_eof = true;
        m_bof = m_rows.isEmpty();
    }
}

void TZxDataset::Prior()
{
    requireFreeHandlers(QStringLiteral("Prior"));
    checkBrowseMode();
    if (m_current > 0) {
        setCurrent(m_current - 1);
        m_bof = false;
        m_eof = false;
    } else {
        m_bof = true;
        m_eof = m_rows.isEmpty();
    }
}

void TZxDataset::MoveTo(int row)
{
    requireFreeHandlers(QStringLiteral("MoveTo"));
    if (row < 0 || row >= RecordCount())
        throw EZxDatasetError(QStringLiteral("%1: нет строки %2 (строк %3)").arg(shownName()).arg(row).arg(RecordCount()));
    if (row == m_current)
        return;
    checkBrowseMode();
    // The post's after-handler may have reloaded the rows.
    if (row >= RecordCount())
        throw EZxDatasetError(QStringLiteral("%1: нет строки %2 (строк %3)").arg(shownName()).arg(row).arg(RecordCount()));
    setCurrent(row);
    m_bof = false;
    m_eof = false;
}

bool TZxDataset::Locate(const QString &fieldName, const QVariant &value)
{
    requireFreeHandlers(QStringLiteral("Locate"));
    // Post first: its after-handler may reload the table with other columns.
    checkBrowseMode();
    const int column = FieldByName(fieldName).Index();
    QVariant wanted;
    try {
        wanted = m_defs[column].Coerce(value);
    } catch (const EConvertError &) {
        return false; // a value the column cannot hold equals no row
    }
    for (int row = 0; row < RecordCount(); ++row) {
        if (m_rows[row].values[column] == wanted) {
            MoveTo(row);
            return true;
        }
    }
    return false;
}

// ---- editing ----

QVariant TZxDataset::currentValue(int column) const
{
    return m_current < 0 ? QVariant() : m_rows[m_current].values[column];
}

QVariant TZxDataset::currentOriginalValue(int column) const
{
    if (m_current < 0 || m_rows[m_current].state == TZxRowState::Inserted)
        return {};
    return m_rows[m_current].original[column];
}

void TZxDataset::setCurrentValue(int column, const QVariant &value)
{
    const TZxFieldDef &def = m_defs[column];
    if (m_state == TZxDatasetState::Browse)
        throw EZxDatasetError(QStringLiteral("%1 не в режиме редактирования или вставки: поле '%2' изменить нельзя")
                                  .arg(shownName(), def.Name));
    if (def.isReadOnly())
        throw EZxDatasetError(QStringLiteral("%1: поле '%2' только для чтения").arg(shownName(), def.Name));
    QVariant coerced = def.Coerce(value);
    QVariant &stored = m_rows[m_current].values[column];
    if (stored.isValid() == coerced.isValid() && stored == coerced)
        return;
    stored = std::move(coerced);
    emit rowChanged(m_current);
}

void TZxDataset::Edit()
{
    requireFreeHandlers(QStringLiteral("Edit"));
    if (m_state != TZxDatasetState::Browse)
        return;
    if (m_rows.isEmpty())
        throw EZxDatasetError(QStringLiteral("%1 пуст: нечего редактировать").arg(shownName()));
    runBefore(BeforeEdit);
    m_editBackup = m_rows[m_current].values;
    setState(TZxDatasetState::Edit);
}

void TZxDataset::Insert()
{
    insertRow(false);
}

void TZxDataset::Append()
{
    insertRow(true);
}

void TZxDataset::insertRow(bool append)
{
    requireFreeHandlers(append ? QStringLiteral("Append") : QStringLiteral("Insert"));
    if (m_defs.isEmpty())
        throw EZxDatasetError(QStringLiteral("%1: нет столбцов, вставлять некуда").arg(shownName()));
    checkBrowseMode();
    runBefore(BeforeInsert);
    const int position = append || m_current < 0 ? RecordCount() : m_current;
    m_rowBeforeInsert = m_current;
    emit rowAboutToBeInserted(position);
    Row row;
    row.values = QVariantList(m_defs.size());
    row.state = TZxRowState::Inserted;
    m_rows.insert(position, std::move(row));
    emit rowInserted(position);
    setCurrent(position);
    m_bof = false;
    m_eof = false;
    setState(TZxDatasetState::Insert);
    try {
        runBefore(OnNewRecord);
    } catch (...) {
        cancelInsert();
        throw;
    }
}

void TZxDataset::cancelInsert()
{
    const int row = m_current;
    emit rowAboutToBeRemoved(row);
    m_rows.removeAt(row);
    emit rowRemoved(row);
    // Rows after the new one move back, so the row current before the insert is again
    // at its old index.
    const int back = m_rowBeforeInsert >= 0 && m_rowBeforeInsert < RecordCount() ? m_rowBeforeInsert
                                                                               : RecordCount() - 1;
    // Signalled even when the index is the same: another row now stands there.
    m_current = back;
    emit currentRowChanged(back);
    m_bof = m_rows.isEmpty();
    m_eof = m_rows.isEmpty();
    setState(TZxDatasetState::Browse);
}

void TZxDataset::cancelEdit()
{
    Row &row = m_rows[m_current];
    const bool changed = row.values != m_editBackup;
    row.values = m_editBackup;
    m_editBackup.clear();
    if (changed)
        emit rowChanged(m_current);
    setState(TZxDatasetState::Browse);
}

void TZxDataset::Post()
{
    requireFreeHandlers(QStringLiteral("Post"));
    if (m_state == TZxDatasetState::Browse)
        return;
    const int current = m_current;
    const QVariantList beforeHandler = m_rows[current].values;
    try {
        runBefore(BeforePost);
    } catch (...) {
        if (m_rows[current].values != beforeHandler) {
            m_rows[current].values = beforeHandler;
            emit rowChanged(current);
        }
        throw;
    }
    Row &row = m_rows[current];
    // A row once modified stays modified, even when edited back: an earlier stream may
    // already have carried the first change to the server.
    if (row.state == TZxRowState::Unchanged && row.values != row.original)
        row.state = TZxRowState::Modified;
    m_editBackup.clear();
    m_state = TZxDatasetState::Browse;
    emit rowChanged(current);
    emit stateChanged();
    if (AfterPost)
        AfterPost(*this);
}

void TZxDataset::Cancel()
{
    requireFreeHandlers(QStringLiteral("Cancel"));
    if (m_state == TZxDatasetState::Edit)
        cancelEdit();
    else if (m_state == TZxDatasetState::Insert)
        cancelInsert();
}

void TZxDataset::Delete()
{
    requireFreeHandlers(QStringLiteral("Delete"));
    if (m_state == TZxDatasetState::Insert) {
        cancelInsert();
        return;
    }
    if (m_rows.isEmpty())
        throw EZxDatasetError(QStringLiteral("%1 пуст: нечего удалять").arg(shownName()));
    const bool wasEditing = m_state == TZxDatasetState::Edit;
    QVariantList editedValues;
    QVariantList editBackup;
    if (wasEditing) {
        editedValues = m_rows[m_current].values;
        editBackup = m_editBackup;
        cancelEdit();
    }
    try {
        runBefore(BeforeDelete);
    } catch (...) {
        if (wasEditing) {
            m_editBackup = editBackup;
            m_rows[m_current].values = editedValues;
            setState(TZxDatasetState::Edit);
            emit rowChanged(m_current);
        }
        throw;
    }
    const int row = m_current;
    emit rowAboutToBeRemoved(row);
    Row removed = m_rows.takeAt(row);
    // A row the server never had needs no deletion.
    if (removed.state != TZxRowState::Inserted) {
        removed.state = TZxRowState::Deleted;
        m_deleted.append(std::move(removed));
    }
    emit rowRemoved(row);
    m_current = row < RecordCount() ? row : RecordCount() - 1;
    emit currentRowChanged(m_current);
    m_bof = m_rows.isEmpty();
    m_eof = m_rows.isEmpty();
    if (AfterDelete)
        AfterDelete(*this);
}

// ---- change log ----

TZxRowState TZxDataset::UpdateStatus() const
{
    return m_current < 0 ? TZxRowState::Unchanged : m_rows[m_current].state;
}

TZxRowState TZxDataset::RowState(int row) const
{
    if (row < 0 || row >= RecordCount())
        throw EZxDatasetError(QStringLiteral("%1: нет строки %2").arg(shownName()).arg(row));
    return m_rows[row].state;
}

int TZxDataset::ChangeCount() const
{
    int count = int(m_deleted.size());
    for (const Row &row : m_rows) {
        if (row.state != TZxRowState::Unchanged)
            ++count;
    }
    return count;
}

bool TZxDataset::UpdatesPending() const
{
    return ChangeCount() > 0;
}

void TZxDataset::MergeChangeLog()
{
    requireFreeHandlers(QStringLiteral("MergeChangeLog"));
    requireBrowse(QStringLiteral("слияние журнала изменений"));
    m_deleted.clear();
    for (int i = 0; i < RecordCount(); ++i) {
        Row &row = m_rows[i];
        if (row.state == TZxRowState::Unchanged)
            continue;
        row.state = TZxRowState::Unchanged;
        row.original = row.values;
        emit rowChanged(i);
    }
}

QVariant TZxDataset::RowValue(int row, int column) const
{
    if (row < 0 || row >= RecordCount() || column < 0 || column >= FieldCount())
        return {};
    return m_rows[row].values[column];
}

QVariant TZxDataset::RowOriginalValue(int row, int column) const
{
    if (row < 0 || row >= RecordCount() || column < 0 || column >= FieldCount()
        || m_rows[row].state == TZxRowState::Inserted)
        return {};
    return m_rows[row].original[column];
}
