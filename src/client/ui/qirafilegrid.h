#pragma once

#include "zxdbgrid.h"

#include <QColor>
#include <QHash>
#include <QStringList>

class TQiraFileDelegate;
class TQiraFileHeader;
class TZxDatasetModel;

// The file grid of the main window over a dataset model of the file list: the list's
// columns with their titles (a "|" in a title makes it two-level: group above, column
// below), which are shown at start and which may be edited in edit mode, sort markers
// on the titles (several columns at once), the row colours, the preview column, row
// numbers and hints. It keeps the dataset's cursor and its own current row together.
// Columns are known by their field names, whatever order the server sends them in;
// the display order, widths and markers survive every reload of the rows.
class TQiraFileGrid : public TZxDBGrid
{
    Q_OBJECT

public:
    enum class TSortMarker { None, Ascending, Descending };

    struct TColumnDef
    {
        QString field;
        QString title;
        bool visible = true;  // shown at start
        bool editable = false; // may be changed in edit mode
        QString hint;          // the title's hint; the title itself when empty
    };
    // In display order at start.
    static const QList<TColumnDef> &ColumnDefs();
    // nullptr for a field the grid does not show.
    static const TColumnDef *FindColumnDef(const QString &field);

    static inline const QString PreviewField = QStringLiteral("blob_pic");

    explicit TQiraFileGrid(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;
    TZxDatasetModel *datasetModel() const;

    // The model's column of a field (names match without regard to case); -1 when the
    // rows have no such column.
    int ColumnOf(const QString &field) const;
    // The field name of a model column, in lower case.
    QString FieldOf(int column) const;
    // "Занят|Пользователь"; the field name for a column the grid does not know.
    QString TitleOf(int column) const;
    QString HintOf(int column) const;
    bool IsColumnEditable(int column) const;

    TSortMarker Marker(const QString &field) const;
    void SetMarker(const QString &field, TSortMarker marker);
    // A click on a title: alone, the column becomes the only sorted one, ascending
    // first and flipping after; with additive (Ctrl held), the column's marker steps
    // none, ascending, descending, none, and the other markers stay.
    void ClickTitle(int column, bool additive);
    // The sort clause of the markers, in display order: "f.filename, f.sumdoc desc".
    QString SortClause() const;
    // Fields in display order; before the first rows arrive, the order at start.
    QStringList DisplayFields() const;
    // The column's place among the marked columns (from 1) when more than one column is
    // marked; 0 otherwise.
    int MarkerNumber(int column) const;

    QColor DeletedColor() const { return m_deleted; }
    QColor WorkingColor() const { return m_working; }
    QColor CurrentColor() const { return m_current; }
    void SetDeletedColor(const QColor &color);
    void SetWorkingColor(const QColor &color);
    void SetCurrentColor(const QColor &color);
    // The background the row colours give the cell, or an invalid colour where the cell
    // keeps its normal look (the focused cell, selected rows, plain rows).
    QColor CellBackground(const QModelIndex &index) const;

    // With the preview on, rows are four lines high and the picture column is shown.
    void SetPreview(bool on);
    bool IsPreviewShown() const { return m_preview; }
    // Spreads the grid's width over the shown columns in their present proportions.
    void FitColumns();
    // Flips a check-box cell (the deleted mark) in edit mode.
    void ToggleCheck(const QModelIndex &index);

signals:
    // A click on a title changed the markers.
    void sortMarkersChanged();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    void readFields();
    void rememberLayout();
    void applyColumns();
    void applyRowHeight();
    void followDatasetCursor(int row);
    int firstShownColumn() const;
    bool isShown(const QString &field) const;

    TQiraFileHeader *m_header = nullptr;
    TQiraFileDelegate *m_delegate = nullptr;
    QStringList m_fields;                  // lower-case field name of each model column
    QList<const TColumnDef *> m_defs;      // and its definition, nullptr for unknown ones
    QHash<QString, TSortMarker> m_markers; // by lower-case field name
    QStringList m_order;                   // display order remembered over reloads
    QHash<QString, int> m_widths;
    QColor m_deleted;
    QColor m_working;
    QColor m_current;
    bool m_preview = false;
    bool m_fitting = false;
};
