#pragma once

#include "zxfield.h"
#include "zxfielddef.h"
#include "zximageformat.h"
#include "zxrowchange.h"
#include "zxtable.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

class TZxDatasetContainer;

enum class TZxDatasetState { Browse, Edit, Insert };

// An in-memory table with typed columns, a cursor and cached updates. Rows are loaded
// whole from an image; every post and delete is kept in a change log (each row knows its
// state and its original values) until a change stream carries it to the server.
//
// Rows are counted from 0 (CurrentRow, MoveTo, RowValue); RecNo counts from 1 and is 0
// for an empty dataset. Null is an invalid QVariant everywhere; see TZxFieldDef::Coerce
// for what each column accepts.
//
// Editing happens in place: in Edit and Insert state the current row shows what has been
// set so far, Post keeps it, Cancel restores it (or removes the new row). Moving the
// cursor, inserting or appending posts a pending edit first.
//
// Events: a handler that throws from BeforeInsert, BeforeEdit, BeforeDelete,
// OnNewRecord or BeforePost cancels the operation, leaves rows, cursor and state as they
// were, and the exception reaches the caller. AfterPost and AfterDelete run once the
// change is in the log; a throw from them reaches the caller and the change stays.
// Before-handlers and OnNewRecord may read and set fields but not post, move or load.
class TZxDataset : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void(TZxDataset &)>;

    explicit TZxDataset(QObject *parent = nullptr);
    explicit TZxDataset(const QString &tableName, QObject *parent = nullptr);
    ~TZxDataset() override;

    // The name of this dataset's table in images and streams ("iqFiles").
    const QString &TableName() const { return m_tableName; }
    void SetTableName(const QString &name) { m_tableName = name; }

    // Structure. SetFields makes an empty table with these columns and an empty log.
    void SetFields(const QList<TZxFieldDef> &fields);
    const QList<TZxFieldDef> &FieldDefs() const { return m_defs; }
    int FieldCount() const { return int(m_defs.size()); }
    TZxField &Field(int index);
    // Names match without regard to case. FieldByName throws EZxDatasetError when absent.
    TZxField &FieldByName(const QString &name);
    TZxField *FindField(const QString &name);

    // Loading replaces columns and rows, forgets unsent changes and any pending edit,
    // and leaves the cursor on the first row. The table is the one named TableName;
    // with no name set, an image must hold exactly one table. A failed load leaves the
    // dataset as it was.
    void LoadFromImage(const QByteArray &image, const TZxImageLimits &limits = {});
    void LoadFromContainer(const TZxDatasetContainer &container);
    void LoadFromTable(const TZxTable &table);

    // Snapshots of the visible rows and the change stream. All refuse with
    // EZxDatasetError while an edit or insert is pending, so none can miss it.
    TZxTable ToTable() const;
    QByteArray SaveToImage() const;
    // Metadata plus the changed rows: deletions first (in the order they were made), then
    // inserted and modified rows in row order, each with every original and new value.
    QByteArray ChangeStream() const;

    // Cursor.
    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const { return m_eof; }
    bool Bof() const { return m_bof; }
    bool IsEmpty() const { return m_rows.isEmpty(); }
    int RecordCount() const { return int(m_rows.size()); }
    int CurrentRow() const { return m_current; }
    int RecNo() const { return m_current + 1; }
    // Throws EZxDatasetError for a row out of range. Moving to the current row keeps a
    // pending edit pending.
    void MoveTo(int row);
    // Moves to the first row whose column equals value exactly (after conversion to the
    // column's kind; null finds null). False, cursor unchanged, when there is none.
    bool Locate(const QString &fieldName, const QVariant &value);

    // Editing.
    TZxDatasetState State() const { return m_state; }
    void Edit();
    void Insert(); // before the current row
    void Append(); // after the last row
    void Post();
    void Cancel();
    // On a pending insert, the same as Cancel.
    void Delete();

    // Change log.
    TZxRowState UpdateStatus() const;
    TZxRowState RowState(int row) const;
    bool UpdatesPending() const;
    int ChangeCount() const;
    // Forgets the log: deleted rows go, every row becomes unchanged with its present
    // values as original. Refused while an edit is pending.
    void MergeChangeLog();

    // Rows read without moving the cursor (item models).
    QVariant RowValue(int row, int column) const;
    QVariant RowOriginalValue(int row, int column) const;

    Handler BeforeInsert;
    Handler BeforeEdit;
    Handler BeforeDelete;
    Handler OnNewRecord;
    Handler BeforePost;
    Handler AfterPost;
    Handler AfterDelete;

signals:
    // Around a load or SetFields: columns and rows are replaced.
    void aboutToBeReset();
    void reset();
    void rowAboutToBeInserted(int row);
    void rowInserted(int row);
    void rowAboutToBeRemoved(int row);
    void rowRemoved(int row);
    // Values or state of a row changed.
    void rowChanged(int row);
    void currentRowChanged(int row);
    void stateChanged();
    void fieldHintChanged(int column);

private:
    friend class TZxField;

    struct Row
    {
        QVariantList values;
        QVariantList original; // shares the values' data until the row is edited
        TZxRowState state = TZxRowState::Unchanged;
    };

    class HandlerScope;

    QVariant currentValue(int column) const;
    QVariant currentOriginalValue(int column) const;
    void setCurrentValue(int column, const QVariant &value);

    void requireFreeHandlers(const QString &operation) const;
    void requireBrowse(const QString &operation) const;
    void runBefore(const Handler &handler);
    void checkBrowseMode();
    void setCurrent(int row);
    void setState(TZxDatasetState state);
    void insertRow(bool append);
    void cancelInsert();
    void cancelEdit();
    void replaceContent(const QString &tableName, const QList<TZxFieldDef> &defs, QList<Row> rows);
    QString shownName() const;

    QString m_tableName;
    QList<TZxFieldDef> m_defs;
    std::vector<std::unique_ptr<TZxField>> m_fields;
    QHash<QString, int> m_fieldIndex; // case-folded name -> column
    QList<Row> m_rows;
    QList<Row> m_deleted;
    int m_current = -1;
    bool m_bof = true;
    bool m_eof = true;
    TZxDatasetState m_state = TZxDatasetState::Browse;
    QVariantList m_editBackup;
    int m_rowBeforeInsert = -1;
    int m_handlerDepth = 0;
};
