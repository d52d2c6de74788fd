#include "dmzxdataclient.h"

#include "qiraserverclass.h"
#include "zxbase.h"
#include "zxdataset.h"
#include "zxdatasetmodel.h"
#include "zxdatasetroutines.h"
#include "zxstrutils.h"

namespace {

void setIfPresent(TZxDataset &dataset, const QString &name, const QVariant &value)
{
    if (TZxField *field = dataset.FindField(name); field && !field->ReadOnly())
        field->SetValue(value);
}

} // namespace

TdmzxDataClients::TdmzxDataClients(QObject *owner) : QObject(owner)
{
    iqData = new TZxDataset(this);
    dsData = new TZxDatasetModel(iqData, this);
    iqData->OnNewRecord = [this](TZxDataset &dataset) { newRecord(dataset); };
    iqData->BeforePost = [](TZxDataset &dataset) { StampOnUpdate(dataset); };
    iqData->AfterPost = [this](TZxDataset &) { SaveData(); };
    iqData->AfterDelete = [this](TZxDataset &) { SaveData(); };
}

TdmzxDataClients::Definition TdmzxDataClients::definition() const
{
    return {QStringLiteral("iqTabuFiles"), QStringLiteral("GetExludeFiles"), QStringLiteral("StreamTabuFiles")};
}

void TdmzxDataClients::Init()
{
    const Definition defined = definition();
    const QString getMethod = ZxTrim(GetSP).isEmpty() ? QiraMethod(defined.getMethod) : GetSP;
    QString saveMethod;
    if (!ZxTrim(SaveSP).isEmpty())
        saveMethod = SaveSP;
    else if (!defined.saveMethod.isEmpty())
        saveMethod = QiraMethod(defined.saveMethod);
    spGetData.SetConnection(Connection);
    spGetData.SetStoredProcName(getMethod);
    spSaveData.SetConnection(Connection);
    spSaveData.SetStoredProcName(saveMethod);
    iqData->SetTableName(ZxTrim(TableName).isEmpty() ? defined.table : TableName);
}

void TdmzxDataClients::Open()
{
    spGetData.Close();
    spGetData.ExecProc();
    LoadDatasetImage(spGetData.ParamByName(ZxReturnValueName).AsBytes(), *iqData);
}

void TdmzxDataClients::SaveData()
{
    // A table without a save method (the history) keeps its rows to itself.
    if (spSaveData.StoredProcName().isEmpty())
        return;
    SeveData(*iqData, spSaveData);
}

QString TdmzxDataClients::PrimaryFieldName() const
{
    return iqData->FieldCount() > 0 ? iqData->FieldDefs().first().Name : QString();
}

void TdmzxDataClients::setLoadParam(const QString &name, const QString &value, bool closeFirst)
{
    if (closeFirst)
        spGetData.Close();
    spGetData.AddParam(name, TZxParamType::String).SetString(value);
}

void TdmzxDataClients::newRecord(TZxDataset &dataset)
{
    setIfPresent(dataset, PrimaryFieldName(), NewID());
    StampOnCreate(dataset);
    NewRowDefaults(dataset);
}

TdmzxDataClients::Definition TdmDCRoles::definition() const
{
    return {QStringLiteral("iqRoles"), QStringLiteral("GetRoles"), QStringLiteral("StreamPostRole")};
}

void TdmDCRoles::NewRowDefaults(TZxDataset &dataset)
{
    setIfPresent(dataset, QStringLiteral("roleid"), NewID());
    setIfPresent(dataset, QStringLiteral("pubrole"), 0);
}

TdmzxDataClients::Definition TdmDCUsers::definition() const
{
    return {QStringLiteral("iqUsers"), QStringLiteral("GetUsers"), QStringLiteral("StreamPostUsers")};
}

void TdmDCUsers::NewRowDefaults(TZxDataset &dataset) { setIfPresent(dataset, QStringLiteral("user_id"), NewID()); }

TdmzxDataClients::Definition TdmDCHistorys::definition() const
{
    return {QStringLiteral("iqHistory"), QStringLiteral("GetHistory"), QString()};
}

void TdmDCHistorys::SetParam(const QString &FileID) { setLoadParam(QStringLiteral("FileID"), FileID.left(75), true); }

TdmzxDataClients::Definition TdmTreeRights::definition() const
{
    return {QStringLiteral("iqTreeright"), QStringLiteral("GetTreeRight"), QStringLiteral("StreamPostTreeright")};
}

void TdmTreeRights::SetParam(const QString &TreeID)
{
    m_treeId = TreeID.left(75);
    setLoadParam(QStringLiteral("treeid"), m_treeId, true);
}

void TdmTreeRights::NewRowDefaults(TZxDataset &dataset)
{
    setIfPresent(dataset, QStringLiteral("tree_rightid"), NewID());
    setIfPresent(dataset, QStringLiteral("TreeID"), m_treeId);
    for (const char *flag : {"rtree", "wtree", "admtree", "rmyfile"})
        setIfPresent(dataset, QString::fromLatin1(flag), 0);
    setIfPresent(dataset, QStringLiteral("rfile"), 1);
    setIfPresent(dataset, QStringLiteral("wfile"), 1);
}

TdmzxDataClients::Definition TdmDCFileLists::definition() const
{
    return {QStringLiteral("iqFileList"), QStringLiteral("GetFileList"), QStringLiteral("StreamPostFileList")};
}

void TdmDCFileLists::SetParam(const QString &Filter) { setLoadParam(QStringLiteral("QiraFilter"), Filter, false); }
