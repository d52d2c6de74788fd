#pragma once

#include <QHeaderView>

class TQiraFileGrid;

// The file grid's titles: a title with a "|" is drawn on two levels, its group above
// spanning the neighbouring columns of the same group; every marked column shows its
// sort marker, numbered when several columns carry one. Titles have hints.
class TQiraFileHeader : public QHeaderView
{
    Q_OBJECT

public:
    explicit TQiraFileHeader(TQiraFileGrid *grid);

    // The group of a column's title; empty for a one-level title.
    static QString GroupOf(const QString &title);
    static QString CaptionOf(const QString &title);

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    QSize sectionSizeFromContents(int logicalIndex) const override;
    bool viewportEvent(QEvent *event) override;

private:
    bool twoLevels() const;
    void drawCell(QPainter *painter, const QRect &rect, int logicalIndex, const QString &text) const;
    QRect groupRect(int logical, const QString &group, const QRect &rect) const;

    TQiraFileGrid *m_grid;
};
