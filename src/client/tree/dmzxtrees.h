#pragma once

#include "zxstoredproc.h"

#include <QObject>

class TZxConnection;
class TZxDataset;

// The tree's data module: the remote tree methods with their parameters and the table
// that holds the children from the last GetTree call. It is only read, never edited.
class TdmZxTrees : public QObject
{
    Q_OBJECT

public:
    explicit TdmZxTrees(QObject *owner = nullptr);
    ~TdmZxTrees() override;

    // Binds every remote call to the connection (not owned).
    void SetConnection(TZxConnection *connection);

    // Table "iqTree".
    TZxDataset *mtTree = nullptr;

    TZxStoredProc spGetTree;
    TZxStoredProc spInsNode;
    TZxStoredProc spSetNodeText;
    TZxStoredProc spDelNode;
    TZxStoredProc spDelNodeFull;
    TZxStoredProc spMoveNode;
    TZxStoredProc spFindTree;
    TZxStoredProc spSearchNode;
};
