#pragma once

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

private:
    bool m_readOnly = true;
    bool m_incrementalSearch = true;
};
