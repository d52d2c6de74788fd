#pragma once

#include "zxstoredproc.h"

#include <QObject>

class TZxConnection;
class TZxDataset;
class TZxDatasetModel;

// An editable table kept on the document server: loaded whole by one remote method,
// every posted or deleted row sent back at once by another. Descendants name the
// methods and the table and give a new row its defaults.
class TdmzxDataClients : public QObject
{
    Q_OBJECT

public:
    explicit TdmzxDataClients(QObject *owner = nullptr);

    // Set before Init; GetSP, SaveSP and TableName replace the defaults when not blank.
    TZxConnection *Connection = nullptr;
    QString GetSP;
    QString SaveSP;
    QString TableName;

    void Init();
    // Loads the whole table; earlier rows and unsent changes are dropped. Failures of
    // the load call reach the caller.
    void Open();
    void SaveData();
    QString PrimaryFieldName() const;

    TZxDataset *iqData = nullptr;
    TZxDatasetModel *dsData = nullptr;
    TZxStoredProc spGetData;
    TZxStoredProc spSaveData;

protected:
    struct Definition
    {
        QString table;
        QString getMethod;
        QString saveMethod; // empty: the rows are never saved
    };
    virtual Definition definition() const;
    // The descendant's defaults of a new row, after its key and the stamps.
    virtual void NewRowDefaults(TZxDataset &) {}
    // Adds the load call's input when missing and sets it.
    void setLoadParam(const QString &name, const QString &value, bool closeFirst);

private:
    void newRecord(TZxDataset &dataset);
};

class TdmDCTabus : public TdmzxDataClients
{
    Q_OBJECT
public:
    using TdmzxDataClients::TdmzxDataClients;
};

class TdmDCRoles : public TdmzxDataClients
{
    Q_OBJECT
public:
    using TdmzxDataClients::TdmzxDataClients;

protected:
    Definition definition() const override;
    void NewRowDefaults(TZxDataset &dataset) override;
};

class TdmDCUsers : public TdmzxDataClients
{
    Q_OBJECT
public:
    using TdmzxDataClients::TdmzxDataClients;

protected:
    Definition definition() const override;
    void NewRowDefaults(TZxDataset &dataset) override;
};

class TdmDCHistorys : public TdmzxDataClients
{
    Q_OBJECT
public:
    using TdmzxDataClients::TdmzxDataClients;
    void SetParam(const QString &FileID);

protected:
    Definition definition() const override;
};

class TdmTreeRights : public TdmzxDataClients
{
    Q_OBJECT
public:
    using TdmzxDataClients::TdmzxDataClients;
    void SetParam(const QString &TreeID);

protected:
    Definition definition() const override;
    void NewRowDefaults(TZxDataset &dataset) override;

private:
    QString m_treeId;
};

class TdmDCFileLists : public TdmzxDataClients
{
    Q_OBJECT
public:
    using TdmzxDataClients::TdmzxDataClients;
    void SetParam(const QString &Filter);

protected:
    Definition definition() const override;
};
