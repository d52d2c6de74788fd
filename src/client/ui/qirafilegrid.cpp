#include "qirafilegrid.h"

#include "qirafiledelegate.h"
#include "qirafileheader.h"
#include "zxdataset.h"
#include "zxdatasetmodel.h"

#include <QGuiApplication>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QToolTip>

namespace {

constexpr int MinColumnWidth = 24;
constexpr int PreviewLines = 4;

QString key(const QString &field) { return field.toLower(); }

int defaultWidth(const QString &field)
{
    if (field == QStringLiteral("filename") || field == QStringLiteral("comment_file"))
        return 220;
    if (field == QStringLiteral("del") || field == QStringLiteral("count_history"))
        return 36;
    if (field == TQiraFileGrid::PreviewField)
        return 110;
    if (field.contains(QStringLiteral("date")))
        return 120;
    return 90;
}

} // namespace

const QList<TQiraFileGrid::TColumnDef> &TQiraFileGrid::ColumnDefs()
{
    static const QList<TColumnDef> defs{
        {QStringLiteral("fileid"), QStringLiteral("ID"), false, false, {}},
        {QStringLiteral("count_history"), QStringLiteral("Изм"), true, true, {}},
        {PreviewField, QStringLiteral("Превью"), false, false, {}},
        {QStringLiteral("filename"), QStringLiteral("Название"), true, true, {}},
        {QStringLiteral("fileext"), QStringLiteral("Расширение"), true, true, {}},
        {QStringLiteral("comment_file"), QStringLiteral("Примечание"), true, true, {}},
        {QStringLiteral("working_user"), QStringLiteral("Занят|Пользователь"), true, false, {}},
        {QStringLiteral("date_working"), QStringLiteral("Занят|Дата"), true, false, {}},
        {QStringLiteral("usercreate"), QStringLiteral("Создал|Пользователь"), false, false, {}},
        {QStringLiteral("datecreate"), QStringLiteral("Создал|Дата"), false, false, {}},
        {QStringLiteral("userupdate"), QStringLiteral("Изменил|Пользователь"), false, false, {}},
        {QStringLiteral("dateupdate"), QStringLiteral("Изменил|Дата"), false, false, {}},
        {QStringLiteral("ordnum"), QStringLiteral("Сорт."), true, true, QStringLiteral("Сортировка")},
        {QStringLiteral("docn"), QStringLiteral("Документ|№"), true, true, {}},
        {QStringLiteral("docdate"), QStringLiteral("Документ|Дата"), true, true, {}},
        {QStringLiteral("sumdoc"), QStringLiteral("Документ|Сумма"), true, true, {}},
        {QStringLiteral("size_file"), QStringLiteral("Размер файла, кб"), true, false, {}},
        {QStringLiteral("del"), QStringLiteral("У"), true, true, QStringLiteral("Удален")},
        {QStringLiteral("md5_file"), QStringLiteral("MD5 файла"), false, false, {}},
        {QStringLiteral("file_datecreate"), QStringLiteral("Файл|Дата создания"), false, false, {}},
        {QStringLiteral("file_dateupdate"), QStringLiteral("Файл|Дата изменения"), false, false, {}},
    };
    return defs;
}

const TQiraFileGrid::TColumnDef *TQiraFileGrid::FindColumnDef(const QString &field)
{
    const QString wanted = key(field);
    for (const TColumnDef &def : ColumnDefs())
        if (def.field == wanted)
            return &def;
    return nullptr;
}

TQiraFileGrid::TQiraFileGrid(QWidget *parent) : TZxDBGrid(parent)
{
    m_header = new TQiraFileHeader(this);
    setHorizontalHeader(m_header);
    m_delegate = new TQiraFileDelegate(this);
    setItemDelegate(m_delegate);
    setWordWrap(true);
    verticalHeader()->setVisible(true);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_markers.insert(QStringLiteral("filename"), TSortMarker::Ascending);
    connect(m_header, &QHeaderView::sectionClicked, this, [this](int logical) {
        ClickTitle(logical, QGuiApplication::keyboardModifiers().testFlag(Qt::ControlModifier));
    });
    applyRowHeight();
}

void TQiraFileGrid::setModel(QAbstractItemModel *model)
{
    if (QAbstractItemModel *old = this->model())
        disconnect(old, nullptr, this, nullptr);
    TZxDBGrid::setModel(model);
    if (!model)
        return;
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, &TQiraFileGrid::rememberLayout);
    connect(model, &QAbstractItemModel::modelReset, this, &TQiraFileGrid::applyColumns);
    if (auto *datasets = qobject_cast<TZxDatasetModel *>(model))
        connect(datasets, &TZxDatasetModel::currentRowChanged, this, &TQiraFileGrid::followDatasetCursor);
    applyColumns();
}

TZxDatasetModel *TQiraFileGrid::datasetModel() const { return qobject_cast<TZxDatasetModel *>(model()); }

// Painting asks for columns by name for every cell: the names are read once per load.
void TQiraFileGrid::readFields()
{
    m_fields.clear();
    m_defs.clear();
    if (!model())
        return;
    const TZxDatasetModel *datasets = datasetModel();
    for (int column = 0; column < model()->columnCount(); ++column) {
        // Titles may stand in for names in the header; the dataset knows the names.
        const QString name = datasets && datasets->dataset()
                                 ? datasets->dataset()->FieldDefs().at(column).Name
                                 : model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        m_fields.append(key(name));
        m_defs.append(FindColumnDef(name));
    }
}

int TQiraFileGrid::ColumnOf(const QString &field) const { return int(m_fields.indexOf(key(field))); }

QString TQiraFileGrid::FieldOf(int column) const { return m_fields.value(column); }

QString TQiraFileGrid::TitleOf(int column) const
{
    const TColumnDef *def = m_defs.value(column);
    return def ? def->title : FieldOf(column);
}

QString TQiraFileGrid::HintOf(int column) const
{
    const TColumnDef *def = m_defs.value(column);
    if (def && !def->hint.isEmpty())
        return def->hint;
    QString title = TitleOf(column);
    return title.replace(u'|', QStringLiteral(": "));
}

bool TQiraFileGrid::IsColumnEditable(int column) const
{
    const TColumnDef *def = m_defs.value(column);
    return def && def->editable;
}

TQiraFileGrid::TSortMarker TQiraFileGrid::Marker(const QString &field) const
{
    return m_markers.value(key(field), TSortMarker::None);
}

void TQiraFileGrid::SetMarker(const QString &field, TSortMarker marker)
{
    if (marker == TSortMarker::None)
        m_markers.remove(key(field));
    else
        m_markers.insert(key(field), marker);
    m_header->viewport()->update();
}

void TQiraFileGrid::ClickTitle(int column, bool additive)
{
    const QString field = FieldOf(column);
    // Pictures have no order.
    if (field.isEmpty() || field == PreviewField)
        return;
    const TSortMarker old = Marker(field);
    if (additive) {
        SetMarker(field, old == TSortMarker::None        ? TSortMarker::Ascending
                         : old == TSortMarker::Ascending ? TSortMarker::Descending
                                                         : TSortMarker::None);
    } else {
        m_markers.clear();
        SetMarker(field, old == TSortMarker::Ascending ? TSortMarker::Descending : TSortMarker::Ascending);
    }
    emit sortMarkersChanged();
}

QStringList TQiraFileGrid::DisplayFields() const
{
    QStringList fields;
    if (model() && model()->columnCount() > 0) {
        for (int visual = 0; visual < m_header->count(); ++visual)
            fields.append(FieldOf(m_header->logicalIndex(visual)));
        return fields;
    }
    if (!m_order.isEmpty())
        return m_order;
    for (const TColumnDef &def : ColumnDefs())
        fields.append(def.field);
    return fields;
}

QString TQiraFileGrid::SortClause() const
{
    QString clause;
    for (const QString &field : DisplayFields()) {
        const TSortMarker marker = Marker(field);
        if (marker == TSortMarker::None)
            continue;
        if (!clause.trimmed().isEmpty())
            clause += QStringLiteral(", ");
        clause += QStringLiteral("f.") + field;
        if (marker == TSortMarker::Descending)
            clause += QStringLiteral(" desc");
    }
    return clause;
}

int TQiraFileGrid::MarkerNumber(int column) const
{
    if (m_markers.size() < 2)
        return 0;
    const QString wanted = FieldOf(column);
    int number = 0;
    for (const QString &field : DisplayFields()) {
        if (Marker(field) == TSortMarker::None)
            continue;
        ++number;
        if (field == wanted)
            return number;
    }
    return 0;
}

void TQiraFileGrid::SetDeletedColor(const QColor &color)
{
    m_deleted = color;
    viewport()->update();
}

void TQiraFileGrid::SetWorkingColor(const QColor &color)
{
    m_working = color;
    viewport()->update();
}

void TQiraFileGrid::SetCurrentColor(const QColor &color)
{
    m_current = color;
    viewport()->update();
}

QColor TQiraFileGrid::CellBackground(const QModelIndex &index) const
{
    if (!index.isValid() || !model())
        return {};
    const int row = index.row();
    const QModelIndex current = currentIndex();
    if (current.isValid() && current.row() == row) {
        // The focused cell keeps the normal highlight while the grid has the focus.
        if (current.column() == index.column() && hasFocus())
            return {};
        return m_current;
    }
    // Other selected rows show the selection.
    if (selectionModel() && selectionModel()->isSelected(index))
        return {};
    QColor color;
    const int working = ColumnOf(QStringLiteral("working_user"));
    if (working >= 0 && !model()->index(row, working).data(Qt::EditRole).toString().isEmpty())
        color = m_working;
    const int deleted = ColumnOf(QStringLiteral("del"));
    if (deleted >= 0 && model()->index(row, deleted).data(Qt::EditRole).toString() == QStringLiteral("1"))
        color = m_deleted;
    return color;
}

void TQiraFileGrid::SetPreview(bool on)
{
    m_preview = on;
    if (TZxDatasetModel *datasets = datasetModel(); datasets && datasets->dataset())
        if (TZxField *picture = datasets->dataset()->FindField(PreviewField))
            if (picture->DataType() == TZxFieldType::Blob)
                picture->SetPicture(on);
    applyRowHeight();
    const int column = ColumnOf(PreviewField);
    if (column >= 0)
        setColumnHidden(column, !on);
    FitColumns();
}

void TQiraFileGrid::applyRowHeight()
{
    const int line = fontMetrics().lineSpacing();
    verticalHeader()->setDefaultSectionSize(m_preview ? PreviewLines * line + 6 : fontMetrics().height() + 6);
}

bool TQiraFileGrid::isShown(const QString &field) const
{
    if (field == PreviewField)
        return m_preview;
    const TColumnDef *def = FindColumnDef(field);
    return def && def->visible;
}

void TQiraFileGrid::rememberLayout()
{
    if (!model() || model()->columnCount() == 0)
        return;
    m_order = DisplayFields();
    for (int column = 0; column < model()->columnCount(); ++column)
        if (!isColumnHidden(column))
            m_widths.insert(FieldOf(column), columnWidth(column));
}

void TQiraFileGrid::applyColumns()
{
    m_delegate->ClearPictures();
    readFields();
    if (!model())
        return;
    const int columns = model()->columnCount();
    if (columns == 0)
        return;
    // The order: what the user last saw, then the grid's own columns, then the rest.
    QStringList order;
    for (const QString &field : m_order)
        if (ColumnOf(field) >= 0 && !order.contains(field))
            order.append(field);
    for (const TColumnDef &def : ColumnDefs())
        if (ColumnOf(def.field) >= 0 && !order.contains(def.field))
            order.append(def.field);
    for (int column = 0; column < columns; ++column)
        if (!order.contains(FieldOf(column)))
            order.append(FieldOf(column));
    for (int visual = 0; visual < order.size(); ++visual) {
        const int logical = ColumnOf(order.at(visual));
        const int from = m_header->visualIndex(logical);
        if (from != visual)
            m_header->moveSection(from, visual);
    }
    for (int column = 0; column < columns; ++column) {
        const QString field = FieldOf(column);
        setColumnHidden(column, !isShown(field));
        setColumnWidth(column, m_widths.value(field, defaultWidth(field)));
    }
    applyRowHeight();
    FitColumns();
    if (TZxDatasetModel *datasets = datasetModel(); datasets && datasets->dataset())
        followDatasetCursor(datasets->dataset()->CurrentRow());
}

void TQiraFileGrid::FitColumns()
{
    if (!model() || m_fitting)
        return;
    m_fitting = true;
    int total = 0;
    QList<int> shown;
    for (int column = 0; column < model()->columnCount(); ++column) {
        if (isColumnHidden(column))
            continue;
        shown.append(column);
        total += qMax(columnWidth(column), 1);
    }
    const int available = viewport()->width();
    if (!shown.isEmpty() && total > 0 && available > shown.size() * MinColumnWidth) {
        int used = 0;
        for (int i = 0; i < shown.size(); ++i) {
            const int column = shown.at(i);
            const int width = i + 1 == shown.size()
                                  ? qMax(available - used, MinColumnWidth)
                                  : qMax(int(qint64(qMax(columnWidth(column), 1)) * available / total), MinColumnWidth);
            setColumnWidth(column, width);
            used += width;
        }
    }
    m_fitting = false;
}

int TQiraFileGrid::firstShownColumn() const
{
    for (int visual = 0; visual < m_header->count(); ++visual) {
        const int logical = m_header->logicalIndex(visual);
        if (!isColumnHidden(logical))
            return logical;
    }
    return 0;
}

void TQiraFileGrid::followDatasetCursor(int row)
{
    if (!model() || row < 0 || row >= model()->rowCount())
        return;
    const QModelIndex current = currentIndex();
    if (current.isValid() && current.row() == row)
        return;
    const int column = current.isValid() && !isColumnHidden(current.column()) ? current.column() : firstShownColumn();
    setCurrentIndex(model()->index(row, column));
}

void TQiraFileGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    TZxDBGrid::currentChanged(current, previous);
    if (TZxDatasetModel *datasets = datasetModel(); datasets && datasets->dataset() && current.isValid()
                                                    && datasets->dataset()->CurrentRow() != current.row())
        datasets->setCurrentRow(current.row());
    // The current-row colour moves with the cursor.
    viewport()->update();
}

void TQiraFileGrid::focusInEvent(QFocusEvent *event)
{
    TZxDBGrid::focusInEvent(event);
    viewport()->update();
}

void TQiraFileGrid::focusOutEvent(QFocusEvent *event)
{
    TZxDBGrid::focusOutEvent(event);
    viewport()->update();
}

void TQiraFileGrid::ToggleCheck(const QModelIndex &index)
{
    if (readOnly() || !index.isValid() || !IsColumnEditable(index.column()))
        return;
    const bool checked = index.data(Qt::EditRole).toString() == QStringLiteral("1");
    model()->setData(index, checked ? 0 : 1, Qt::EditRole);
}

void TQiraFileGrid::keyPressEvent(QKeyEvent *event)
{
    if (!readOnly() && model() && state() != EditingState) {
        const QModelIndex current = currentIndex();
        if (event->key() == Qt::Key_Insert) {
            const int row = current.isValid() ? current.row() : 0;
            if (model()->insertRows(row, 1))
                setCurrentIndex(model()->index(row, firstShownColumn()));
            return;
        }
        if (event->key() == Qt::Key_Down && (model()->rowCount() == 0 || (current.isValid() && current.row() == model()->rowCount() - 1))) {
            const int row = model()->rowCount();
            if (model()->insertRows(row, 1))
                setCurrentIndex(model()->index(row, current.isValid() ? current.column() : firstShownColumn()));
            return;
        }
        if (event->key() == Qt::Key_Space && current.isValid() && FieldOf(current.column()) == QStringLiteral("del")) {
            ToggleCheck(current);
            return;
        }
    }
    TZxDBGrid::keyPressEvent(event);
}

void TQiraFileGrid::resizeEvent(QResizeEvent *event)
{
    TZxDBGrid::resizeEvent(event);
    FitColumns();
}

bool TQiraFileGrid::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = indexAt(help->pos());
        QString text;
        if (index.isValid()) {
            const QString field = FieldOf(index.column());
            if (field == QStringLiteral("del"))
                text = index.data(Qt::EditRole).toString() == QStringLiteral("1") ? QStringLiteral("Удален") : QString();
            else if (field != PreviewField)
                text = m_delegate->displayText(index.data(Qt::DisplayRole), locale());
        }
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
        return true;
    }
    return TZxDBGrid::viewportEvent(event);
}
