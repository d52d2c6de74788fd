#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QPointer>

class EZxError;
class TZxDataset;

// A Qt item model over a dataset for the grids: one column per dataset column, headed
// by its name. It holds no rows of its own: it reads the dataset and follows its
// signals. Edits go through the dataset's Edit/Post, so its events (rights checks,
// stamps, saving) apply; a refused edit leaves the row as it was, is reported with
// ErrorBox (silently for EAbort, whose handler has told the user) and returns false.
//
// Roles: Display and Edit give the column's value (nothing for nulls; blobs only under
// Edit); boolean columns also answer CheckStateRole; RowStateRole gives the row's
// TZxRowState as an int; PictureRole gives the bytes of a picture column.
class TZxDatasetModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Role {
        RowStateRole = Qt::UserRole + 1,
        PictureRole,
    };

    explicit TZxDatasetModel(TZxDataset *dataset, QObject *parent = nullptr);

    TZxDataset *dataset() const { return m_dataset; }
    // A read-only model refuses every edit (the grids' search mode).
    bool isReadOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    // Titles shown instead of column names, by column name (without regard to case);
    // they outlive loads, so a grid keeps its titles whatever the server sends.
    void setFieldTitle(const QString &fieldName, const QString &title);

    // The text of the last refused edit, insert or delete.
    const QString &lastError() const { return m_lastError; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QHash<int, QByteArray> roleNames() const override;

    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    // One row at a time: the dataset holds one pending insert, which stays pending
    // until a setData, submit or cursor move posts it (revert cancels it).
    bool insertRows(int row, int count, const QModelIndex &parent = {}) override;
    bool removeRows(int row, int count, const QModelIndex &parent = {}) override;
    bool submit() override;
    void revert() override;

    // Moves the dataset's cursor, posting a pending edit of another row.
    bool setCurrentRow(int row);

signals:
    void currentRowChanged(int row);

private:
    bool isCell(const QModelIndex &index) const;
    bool refuse(const EZxError &error, const QString &operation);

    QPointer<TZxDataset> m_dataset;
    QHash<QString, QString> m_titles; // case-folded column name -> title
    bool m_readOnly = false;
    QString m_lastError;
};
