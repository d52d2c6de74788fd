#include "dmzxtrees.h"

#include "qiraserverclass.h"
#include "zxdataset.h"

TdmZxTrees::TdmZxTrees(QObject *owner) : QObject(owner)
{
    setObjectName(QStringLiteral("dmZxTrees"));
    mtTree = new TZxDataset(QStringLiteral("iqTree"), this);
    mtTree->setObjectName(QStringLiteral("mtTree"));

    const auto define = [](TZxStoredProc &sp, const QString &method) {
        sp.SetStoredProcName(QiraMethod(method));
    };
    define(spGetTree, QStringLiteral("GetTree"));
    spGetTree.AddParam(QStringLiteral("ParentID"), TZxParamType::String);
    spGetTree.AddParam(QStringLiteral("IsShowDel"), TZxParamType::Boolean);

    define(spInsNode, QStringLiteral("InsNode"));
    spInsNode.AddParam(QStringLiteral("NewTreeID"), TZxParamType::String);
    spInsNode.AddParam(QStringLiteral("ParentTreeID"), TZxParamType::String);
    spInsNode.AddParam(QStringLiteral("NodeText"), TZxParamType::String);

    define(spSetNodeText, QStringLiteral("SetNodeText"));
    spSetNodeText.AddParam(QStringLiteral("TreeID"), TZxParamType::String);
    spSetNodeText.AddParam(QStringLiteral("NewText"), TZxParamType::String);

    define(spDelNode, QStringLiteral("DelNode"));
    spDelNode.AddParam(QStringLiteral("TreeID"), TZxParamType::String);
    spDelNode.AddParam(QStringLiteral("Del"), TZxParamType::Int32);

    define(spDelNodeFull, QStringLiteral("DelNodeFull"));
    spDelNodeFull.AddParam(QStringLiteral("TreeID"), TZxParamType::String);

    define(spMoveNode, QStringLiteral("MoveNode"));
    spMoveNode.AddParam(QStringLiteral("TreeID"), TZxParamType::String);
    spMoveNode.AddParam(QStringLiteral("NewParentID"), TZxParamType::String);

    define(spFindTree, QStringLiteral("FindTree"));
    spFindTree.AddParam(QStringLiteral("TreeID"), TZxParamType::String);

    define(spSearchNode, QStringLiteral("SearchNode"));
    spSearchNode.AddParam(QStringLiteral("ParentID"), TZxParamType::String);
    spSearchNode.AddParam(QStringLiteral("NodeName"), TZxParamType::String);
}

TdmZxTrees::~TdmZxTrees() = default;

void TdmZxTrees::SetConnection(TZxConnection *connection)
{
    for (TZxStoredProc *sp : {&spGetTree, &spInsNode, &spSetNodeText, &spDelNode, &spDelNodeFull, &spMoveNode,
                              &spFindTree, &spSearchNode})
        sp->SetConnection(connection);
}
