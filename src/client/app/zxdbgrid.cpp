#include "zxdbgrid.h"

#include <QHeaderView>

TZxDBGrid::TZxDBGrid(QWidget *parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAlternatingRowColors(false);
    horizontalHeader()->setSectionsMovable(true);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    setReadOnly(true);
}

void TZxDBGrid::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    setEditTriggers(readOnly ? QAbstractItemView::NoEditTriggers
                             : QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                                   | QAbstractItemView::AnyKeyPressed);
}

void TZxDBGrid::keyboardSearch(const QString &search)
{
    if (!m_incrementalSearch)
        return;
    // Search the current column, not the first one as the base view does.
    const QModelIndex current = currentIndex();
    if (!model() || !current.isValid()) {
        QTableView::keyboardSearch(search);
        return;
    }
    const QModelIndexList found = model()->match(model()->index(current.row(), current.column()),
                                                 Qt::DisplayRole, search, 1,
                                                 Qt::MatchStartsWith | Qt::MatchWrap);
    if (!found.isEmpty())
        setCurrentIndex(found.first());
}
