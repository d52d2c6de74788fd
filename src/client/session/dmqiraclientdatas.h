#pragma once

#include "qirainfo.h"
#include "zxconnection.h"

#include <QObject>

#include <functional>
#include <QStringList>

class TQiraClientView;
class TZxDataset;
class TZxStoredProc;
class TdmDCFileLists;
class TdmDCHistorys;
class TdmDCRoles;
class TdmDCTabus;
class TdmDCUsers;
class TdmTreeRights;

// The main data module: the one connection to the document server and the operations
// of the client. It is a facade; each group of operations lives in a file of its own.
class TdmQiraClientDatas : public QObject
{
    Q_OBJECT

public:
    explicit TdmQiraClientDatas(TQiraClientView *view, QObject *owner = nullptr);
    ~TdmQiraClientDatas() override;

    TZxConnection cnQiraCli;

    // The editable tables, all on cnQiraCli.
    TdmDCTabus *dmDCTabus = nullptr;
    TdmDCRoles *dmDCRoles = nullptr;
    TdmDCUsers *dmDCUsers = nullptr;
    TdmDCHistorys *dmDCHistorys = nullptr;
    TdmTreeRights *dmTreeRights = nullptr;
    TdmDCFileLists *dmDCFileLists = nullptr;

    // Sign-in.
    const TConnectDs &ConnectInfo() const { return FConnectInfo; }
    void SetConnectInfo(const TConnectDs &info) { FConnectInfo = info; }
    bool Auth(const TConnectDs &ConnectInp);
    bool Hello(const TConnectDs &ConnectInfo);
    QDateTime GetNow();
    QString GetServerVersion();
    TTreeRights GetTreeRight(const QString &TreeID);
    // The connection's parameter list for these settings; the password travels as its
    // digest only.
    static QStringList ConnectionParams(const TConnectDs &info);

    // The state of the main file list; the tree's selection sets its branch.
    TQiraFilter FilterQira;

    // --- the file list (store/qirafilelist.cpp) ---------------------------------------
    // One page of the list, as the server sent it; edits in it go back at once.
    TZxDataset *iqFiles = nullptr;
    QString GetFilterQiraJson(const TQiraFilter &Filter);
    // Fetches the current page into iqFiles, keeping the cursor on the same file.
    void GetFiles(bool IsRecursive);
    // Counts the whole list and fills the row-count and total-size boxes; 0 on failure.
    qint64 GetKolRows();
    // Fixes the list's scope from the tree side and asks for a deferred fetch.
    void RefreshFileTable();
    // Reads the last requested list again, keeping the current file. Failures reach
    // the caller.
    void RefreshFiles();
    void ShowDelFiles();
    void ClearFilter();
    // Loads a secondary list into dmDCFileLists: one file (CurPage -1) or one page.
    void GetFileList(const QString &FileID, const QString &TreeID, qint64 CurPage, qint64 KolRowsInp,
                     bool IsRecursive);
    // Sends the change log of iqFiles and reads the list again.
    void SaveFiles();
    // The fileid of the current row of iqFiles; empty when the list is empty.
    QString CurrentFileID();

    // --- chunked transfer (store/qiratransfer.cpp) -------------------------------------
    static constexpr qint64 DownloadChunk = 0x100000;
    static constexpr qint64 UploadChunk = 0xA00000;
    static constexpr int ProgressMax = 0x7FFFFFFE;
    // A bar position: Pos scaled from 0..Max to 0..ProgressMax.
    static qint32 ProgressScale(qint64 Pos, qint64 Max);
    // "1.5": megabytes to three decimals in the shortest form.
    static QString MegabyteText(qint64 bytes);
    // Fetches the file into FileNameInp. The file appears there only once it has
    // arrived whole; true then. Failures are reported to the error table.
    bool GetBigFile(const QString &FileNameInp, const QString &FileID, qint64 FileSize, bool IsHideProgress);
    // Sends the local file in chunks; true when the server holds all of it. Failures
    // are reported to the error table.
    bool PutBigFile(const QString &FilenameAtClient, const QString &FileID);
    // Uploads a new version between NewChange and EndChange. Failures of the bracket
    // reach the caller.
    void SendFileToServer(const QString &FileID, const QString &LocalFile, const QString &md5inp);

    // --- the local repository (store/qirarepository.cpp) -------------------------------
    QString GetClientName(const QString &FileID);
    QString GetServerName(const QString &FileID, bool IsExcept);
    QString GetSizeFileServer(const QString &FileID);
    // The file's path in the repository; empty when no repository is configured or the
    // server's name for it is unknown or refused (reported).
    QString GetLocalFileName(const QString &FileID);
    void RequestRootDir();
    void OpenFileQira(const QString &FileID, bool IsOpen, bool IsHideProgress);
    void OpenLocalFile(const QString &FileID);
    void RunFile(const QString &FileName);

    // The server's query behind the focused grid.
    void ViewSQL();

    // The error table shown in the main window's error panel.
    TZxDataset *mtErrors = nullptr;
    void AddError(const QString &Title, const QString &MessageErr);
    void QiraError(const QString &Title, const QString &MessageErr) { AddError(Title, MessageErr); }
    void ClearErrorTable();
    void ShowError();

private:
    void setupFileList();
    QString repository() const;
    // A file is chosen and the repository configured; otherwise the user is told which.
    bool readyForLocalFile(const QString &FileID);
    // A text answer of a file query (client name, server name, size): on failure a row
    // in the error table under the title, and an empty text.
    QString fileQueryText(const QString &method, const QString &FileID, const QString &title,
                          const QString &routine, const std::function<void(TZxStoredProc &)> &moreInputs = {});

    TQiraClientView *m_view;
    TConnectDs FConnectInfo;
};
