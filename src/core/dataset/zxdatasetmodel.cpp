#include "zxdatasetmodel.h"

#include "zxdataset.h"
#include "zxerror.h"
#include "zxmess.h"

namespace {

bool isNumeric(TZxFieldType type)
{
    return type == TZxFieldType::Int32 || type == TZxFieldType::Int64 || type == TZxFieldType::Decimal;
}

} // namespace

TZxDatasetModel::TZxDatasetModel(TZxDataset *dataset, QObject *parent)
    : QAbstractTableModel(parent), m_dataset(dataset)
{
    if (!dataset)
        return;
    connect(dataset, &TZxDataset::aboutToBeReset, this, [this] { beginResetModel(); });
    connect(dataset, &TZxDataset::reset, this, [this] { endResetModel(); });
    connect(dataset, &TZxDataset::rowAboutToBeInserted, this, [this](int row) { beginInsertRows({}, row, row); });
    connect(dataset, &TZxDataset::rowInserted, this, [this] { endInsertRows(); });
    connect(dataset, &TZxDataset::rowAboutToBeRemoved, this, [this](int row) { beginRemoveRows({}, row, row); });
    connect(dataset, &TZxDataset::rowRemoved, this, [this] { endRemoveRows(); });
    connect(dataset, &TZxDataset::rowChanged, this, [this](int row) {
        const int columns = columnCount();
        if (columns > 0)
            emit dataChanged(index(row, 0), index(row, columns - 1));
    });
    connect(dataset, &TZxDataset::fieldHintChanged, this, [this](int column) {
        const int rows = rowCount();
        if (rows > 0)
            emit dataChanged(index(0, column), index(rows - 1, column));
        emit headerDataChanged(Qt::Horizontal, column, column);
    });
    connect(dataset, &TZxDataset::currentRowChanged, this, &TZxDatasetModel::currentRowChanged);
    // The dataset is gone by the time this runs; the guarded pointer already reads null.
    connect(dataset, &QObject::destroyed, this, [this] {
        beginResetModel();
        endResetModel();
    });
}

// Views ask about invalid indexes as a matter of course; that is no misuse to warn about.
bool TZxDatasetModel::isCell(const QModelIndex &index) const
{
    return m_dataset && index.isValid() && index.model() == this && index.row() < m_dataset->RecordCount()
           && index.column() < m_dataset->FieldCount();
}

int TZxDatasetModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_dataset ? 0 : m_dataset->RecordCount();
}

int TZxDatasetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_dataset ? 0 : m_dataset->FieldCount();
}

QVariant TZxDatasetModel::data(const QModelIndex &index, int role) const
{
    if (!isCell(index))
        return {};
    const int row = index.row();
    const int column = index.column();
    const TZxFieldDef &def = m_dataset->FieldDefs().at(column);
    switch (role) {
    case Qt::DisplayRole: {
        if (def.Type == TZxFieldType::Blob || def.Type == TZxFieldType::Boolean)
            return {};
        return m_dataset->RowValue(row, column);
    }
    case Qt::EditRole:
        return m_dataset->RowValue(row, column);
    case Qt::CheckStateRole: {
        if (def.Type != TZxFieldType::Boolean)
            return {};
        const QVariant value = m_dataset->RowValue(row, column);
        if (!value.isValid())
            return {};
        return value.toBool() ? Qt::Checked : Qt::Unchecked;
    }
    case Qt::TextAlignmentRole:
        if (isNumeric(def.Type))
            return QVariant::fromValue(int(Qt::AlignRight | Qt::AlignVCenter));
        return {};
    case RowStateRole:
        return int(m_dataset->RowState(row));
    case PictureRole:
        if (def.Type == TZxFieldType::Blob && m_dataset->Field(column).IsPicture())
            return m_dataset->RowValue(row, column);
        return {};
    default:
        return {};
    }
}

QVariant TZxDatasetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (!m_dataset || role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= m_dataset->FieldCount())
            return {};
        const QString &name = m_dataset->FieldDefs().at(section).Name;
        return m_titles.value(name.toCaseFolded(), name);
    }
    if (section < 0 || section >= m_dataset->RecordCount())
        return {};
    return section + 1;
}

Qt::ItemFlags TZxDatasetModel::flags(const QModelIndex &index) const
{
    if (!isCell(index))
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    const TZxFieldDef &def = m_dataset->FieldDefs().at(index.column());
    if (m_readOnly || def.isReadOnly() || def.Type == TZxFieldType::Blob)
        return result;
    result |= Qt::ItemIsEditable;
    if (def.Type == TZxFieldType::Boolean)
        result |= Qt::ItemIsUserCheckable;
    return result;
}

QHash<int, QByteArray> TZxDatasetModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractTableModel::roleNames();
    names.insert(RowStateRole, QByteArrayLiteral("rowState"));
    names.insert(PictureRole, QByteArrayLiteral("picture"));
    return names;
}

bool TZxDatasetModel::refuse(const EZxError &error, const QString &operation)
{
    m_lastError = ZxErrorText(error, QStringLiteral("TZxDatasetModel.") + operation, ZxPhrase::Save);
    if (!dynamic_cast<const EAbort *>(&error))
        ErrorBox(m_lastError);
    return false;
}

bool TZxDatasetModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!(flags(index) & Qt::ItemIsEditable))
        return false;
    const TZxFieldDef &def = m_dataset->FieldDefs().at(index.column());
    QVariant newValue = value;
    if (role == Qt::CheckStateRole && def.Type == TZxFieldType::Boolean)
        newValue = value.toInt() == Qt::Checked;
    else if (role != Qt::EditRole)
        return false;
    bool startedEdit = false;
    try {
        if (m_dataset->CurrentRow() != index.row())
            m_dataset->MoveTo(index.row());
        if (m_dataset->State() == TZxDatasetState::Browse) {
            m_dataset->Edit();
            startedEdit = true;
        }
        m_dataset->Field(index.column()).SetValue(newValue);
        m_dataset->Post();
        return true;
    } catch (const EZxError &error) {
        // Our own edit goes back; a pending insert begun elsewhere stays for its owner.
        if (startedEdit && m_dataset && m_dataset->State() == TZxDatasetState::Edit)
            m_dataset->Cancel();
        return refuse(error, QStringLiteral("setData"));
    }
}

bool TZxDatasetModel::insertRows(int row, int count, const QModelIndex &parent)
{
    if (!m_dataset || m_readOnly || parent.isValid() || count != 1 || row < 0 || row > rowCount())
        return false;
    try {
        if (row == m_dataset->RecordCount()) {
            m_dataset->Append();
        } else {
            m_dataset->MoveTo(row);
            m_dataset->Insert();
        }
        return true;
    } catch (const EZxError &error) {
        return refuse(error, QStringLiteral("insertRows"));
    }
}

bool TZxDatasetModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (!m_dataset || m_readOnly || parent.isValid() || count < 1 || row < 0 || row + count > rowCount())
        return false;
    try {
        for (int i = 0; i < count; ++i) {
            m_dataset->MoveTo(row);
            m_dataset->Delete();
        }
        return true;
    } catch (const EZxError &error) {
        return refuse(error, QStringLiteral("removeRows"));
    }
}

bool TZxDatasetModel::submit()
{
    if (!m_dataset || m_dataset->State() == TZxDatasetState::Browse)
        return true;
    try {
        m_dataset->Post();
        return true;
    } catch (const EZxError &error) {
        return refuse(error, QStringLiteral("submit"));
    }
}

void TZxDatasetModel::revert()
{
    if (m_dataset)
        m_dataset->Cancel();
}

bool TZxDatasetModel::setCurrentRow(int row)
{
    if (!m_dataset)
        return false;
    try {
        m_dataset->MoveTo(row);
        return true;
    } catch (const EZxError &error) {
        return refuse(error, QStringLiteral("setCurrentRow"));
    }
}

void TZxDatasetModel::setFieldTitle(const QString &fieldName, const QString &title)
{
    m_titles.insert(fieldName.toCaseFolded(), title);
    if (m_dataset && m_dataset->FieldCount() > 0)
        emit headerDataChanged(Qt::Horizontal, 0, m_dataset->FieldCount() - 1);
}
