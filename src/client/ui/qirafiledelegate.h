#pragma once

#include <QHash>
#include <QPixmap>
#include <QStyledItemDelegate>

class TQiraFileGrid;

// Paints and edits the cells of the file grid: the row colours the grid decides, the
// deleted mark as a check box, the preview column as a picture, dates in the user's
// format; only the columns the grid allows get an editor.
class TQiraFileDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit TQiraFileDelegate(TQiraFileGrid *grid);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;
    QString displayText(const QVariant &value, const QLocale &locale) const override;

    // Pictures are decoded once per reload of the rows.
    void ClearPictures() { m_pictures.clear(); }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    QPixmap picture(const QModelIndex &index) const;
    QRect checkRect(const QStyleOptionViewItem &option) const;

    TQiraFileGrid *m_grid;
    mutable QHash<int, QPixmap> m_pictures; // by row
};
