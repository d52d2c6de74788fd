#pragma once

#include "qirainfo.h"
#include "zxconnection.h"

#include <QObject>
#include <QStringList>

class TQiraClientView;
class TZxDataset;
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

    // The server's query behind the focused grid.
    void ViewSQL();

    // The error table shown in the main window's error panel.
    TZxDataset *mtErrors = nullptr;
    void AddError(const QString &Title, const QString &MessageErr);
    void QiraError(const QString &Title, const QString &MessageErr) { AddError(Title, MessageErr); }
    void ClearErrorTable();
    void ShowError();

private:
    TQiraClientView *m_view;
    TConnectDs FConnectInfo;
};
