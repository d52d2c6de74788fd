#pragma once

#include <QStyledItemDelegate>
#include <QTableView>

// The data grid: a table view with a search mode (read only, typing searches the
// current column) and an edit mode (editable, no incremental search).
class TZxDBGrid : public QTableView
{
    Q_OBJECT

public:
    explicit TZxDBGrid(QWidget *parent = nullptr);

    bool readOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly);
    bool incrementalSearch() const { return m_incrementalSearch; }
    void setIncrementalSearch(bool on) { m_incrementalSearch = on; }

    void keyboardSearch(const QString &search) override;

    // Shows only these columns of a dataset model, in this order, and keeps it so after
    // every load.
    void setFieldLayout(const QStringList &fieldNames);
    void applyFieldLayout();

    void setModel(QAbstractItemModel *model) override;

private:
    bool m_readOnly = true;
    bool m_incrementalSearch = true;
    QStringList m_fieldLayout;
};

// A cell with a small button at its right edge (the error grid's time cell): pressing
// the button emits buttonClicked; hovering it shows the hint.
class TZxCellButtonDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    TZxCellButtonDelegate(const QString &hint, QObject *parent);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

signals:
    void buttonClicked(const QModelIndex &index);

private:
    static QRect buttonRect(const QRect &cell);
    QString m_hint;
};
