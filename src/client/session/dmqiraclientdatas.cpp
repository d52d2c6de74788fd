#include "dmqiraclientdatas.h"

#include "dmzxdataclient.h"
#include "qiraclientview.h"
#include "qiraserverclass.h"
#include "zxbase.h"
#include "zxdataset.h"
#include "zxerror.h"
#include "zxmess.h"
#include "zxroot.h"
#include "zxstoredproc.h"

TdmQiraClientDatas::TdmQiraClientDatas(TQiraClientView *view, QObject *owner)
    : QObject(owner), m_view(view)
{
    setObjectName(QStringLiteral("dmQiraClientDatas"));
    mtErrors = new TZxDataset(QStringLiteral("mtErrors"), this);
    ClearErrorTable();
    iqFiles = new TZxDataset(QStringLiteral("iqFiles"), this);
    setupFileList();
    ClearFilter();
    const auto bind = [this](TdmzxDataClients *module) {
        module->Connection = &cnQiraCli;
        module->Init();
    };
    dmDCTabus = new TdmDCTabus(this);
    bind(dmDCTabus);
    Tzxroot::Instance()->GetNowFunc = [this] { return GetNow(); };
    dmDCRoles = new TdmDCRoles(this);
    dmDCUsers = new TdmDCUsers(this);
    dmDCHistorys = new TdmDCHistorys(this);
    dmTreeRights = new TdmTreeRights(this);
    dmDCFileLists = new TdmDCFileLists(this);
    for (TdmzxDataClients *module : std::initializer_list<TdmzxDataClients *>{
             dmDCRoles, dmDCUsers, dmDCHistorys, dmTreeRights, dmDCFileLists})
        bind(module);
}

TdmQiraClientDatas::~TdmQiraClientDatas()
{
    // The root outlives this module: its clock must not call into a dead connection.
    Tzxroot::Instance()->GetNowFunc = nullptr;
    cnQiraCli.Close();
}

QStringList TdmQiraClientDatas::ConnectionParams(const TConnectDs &info)
{
    return {QStringLiteral("DriverID=DS"),
            QStringLiteral("Port=") + QString::number(info.Port),
            QStringLiteral("Server=") + ZxTrim(info.Server),
            info.Protocol == QStringLiteral("TCP") ? QStringLiteral("Protocol=tcp/ip")
                                                    : QStringLiteral("Protocol=http"),
            QStringLiteral("User_Name=") + ZxTrim(info.User),
            QStringLiteral("Password=") + TextMD5(info.Password)};
}

bool TdmQiraClientDatas::Auth(const TConnectDs &ConnectInp)
{
    try {
        cnQiraCli.Close();
        cnQiraCli.Params() = ConnectionParams(ConnectInp);
        FConnectInfo = ConnectInp;
        cnQiraCli.Open();
        return cnQiraCli.Connected() && Hello(ConnectInp);
    } catch (const EZxError &error) {
        ShowErrorWin(error.className() + QStringLiteral(". Функция Auth.Ошибка авторизации!"), error.message());
        return false;
    }
}

bool TdmQiraClientDatas::Hello(const TConnectDs &ConnectInfo)
{
    TZxSessionInfo session;
    session.Login = ConnectInfo.User;
    session.PasswdMd5 = TextMD5(ConnectInfo.Password);
    TZxStoredProc sp(&cnQiraCli, QiraMethod(QStringLiteral("Hello")));
    sp.AddParam(QStringLiteral("ConnectInfo"), TZxParamType::String, TZxParamDir::InputOutput)
        .SetString(GetZxSessionInfo(session));
    sp.ExecProc();
    const bool accepted = sp.ParamByName(ZxReturnValueName).AsBoolean();
    // The server completes the session in the same parameter, whatever its answer.
    Tzxroot::Instance()->Sess = DecodeZxSessionInfo(sp.ParamByName(QStringLiteral("ConnectInfo")).AsString());
    return accepted;
}

QDateTime TdmQiraClientDatas::GetNow()
{
    TZxStoredProc sp(&cnQiraCli, QiraMethod(QStringLiteral("GetNow")));
    sp.Close();
    sp.ExecProc();
    return sp.ParamByName(ZxReturnValueName).AsDateTime();
}

QString TdmQiraClientDatas::GetServerVersion()
{
    TZxStoredProc sp(&cnQiraCli, QiraMethod(QStringLiteral("getVersion")));
    sp.ExecProc();
    return sp.ParamByName(ZxReturnValueName).AsString();
}

TTreeRights TdmQiraClientDatas::GetTreeRight(const QString &TreeID)
{
    TZxStoredProc sp(&cnQiraCli, QiraMethod(QStringLiteral("GetRights")));
    sp.AddParam(QStringLiteral("TreeID"), TZxParamType::String).SetString(TreeID);
    sp.ExecProc();
    return DecodeZxTreeRights(sp.ParamByName(ZxReturnValueName).AsString());
}
