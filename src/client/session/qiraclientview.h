#pragma once

#include <QString>

// What the main data module needs of the main window, and nothing more: windows
// implement it, tests may use a small fake. A view that leaves a part out answers as
// the window does at start: page 0, 50 rows per page, no preview, the tree shown and
// nothing selected in it.
class TQiraClientView
{
public:
    virtual ~TQiraClientView() = default;
    // Shows or hides the error panel with its splitter.
    virtual void ShowMess(bool visible) = 0;

    // --- the file list ----------------------------------------------------------------
    // The page box and the rows-per-page box, as typed.
    virtual QString CurrentPageText() const { return QStringLiteral("0"); }
    virtual QString KolRowsText() const { return QStringLiteral("50"); }
    // The preview switch.
    virtual bool IsPreview() const { return false; }
    // Writes the sort clause of the grid's markers into the list's filter.
    virtual void SetFilterOrders() {}
    // The row-count and total-size boxes.
    virtual void SetKolRowsResult(qint64 /*rows*/, double /*totalKb*/) {}
    // Forgets the cached index of the last page.
    virtual void ResetKolPages() {}
    // Starts the deferred fetch; a request while it is pending joins it.
    virtual void StartGetTable() {}
    // The tree side: shown or hidden, and the Id of the selected branch (empty when
    // nothing is selected).
    virtual bool IsTreeVisible() const { return true; }
    virtual QString SelectedTreeID() const { return {}; }
    // Shows the settings page with the focus in the repository-folder box.
    virtual void ShowRepositorySettings() {}

    // --- the file progress panel ------------------------------------------------------
    virtual void ShowFileProgress(bool /*visible*/) {}
    virtual void SetProgressFileName(const QString & /*text*/) {}
    virtual void SetProgressTotalSize(const QString & /*text*/) {}
    virtual void SetProgressSended(const QString & /*text*/) {}
    virtual void SetProgressMax(int /*max*/) {}
    virtual void SetProgressPosition(int /*position*/) {}

    // --- the batch progress panel -----------------------------------------------------
    virtual void ShowTotalProgress(bool /*visible*/) {}
    virtual void SetTotalProgressText(const QString & /*text*/) {}
    virtual void SetTotalProgressMax(int /*max*/) {}
    virtual void SetTotalProgressPosition(int /*position*/) {}

    // --- the message memo -------------------------------------------------------------
    virtual void ShowMemo(bool /*visible*/) {}
    virtual void AddMemoLine(const QString & /*line*/) {}
};
