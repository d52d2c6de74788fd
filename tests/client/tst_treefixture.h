#pragma once

#include "dmqiraclientdatas.h"
#include "frmzxtrees.h"
#include "qiraserverfixture.h"
#include "zxbase.h"
#include "zxconnection.h"
#include "zxtreemodel.h"
#include "zxtreenode.h"
#include "zxtreeview.h"

#include <QAbstractItemModelTester>
#include <QHash>
#include <QTest>

#include <memory>

// The real server with a small tree, made by the administrator:
//
//   Alpha
//     A1
//       A1a
//         A1a-x
//           Leaf
//     A2
//   Beta          (one rights entry)
//   Gamma         (marked deleted, one rights entry)
//     G1
//
// and the accounts "admin" (administrator) and "user" (role 2: may read the tree, not
// change it), each with his login as password.
class TreeFixture
{
public:
    struct Branch
    {
        QString id;
        QString parent;
        QString name;
        int del = 0;
    };

    TreeFixture() : server(false, fastHashing())
    {
        admin = server.addAdminAndUser();

        add(QStringLiteral("Alpha"));
        add(QStringLiteral("A1"), QStringLiteral("Alpha"));
        add(QStringLiteral("A1a"), QStringLiteral("A1"));
        add(QStringLiteral("A1a-x"), QStringLiteral("A1a"));
        add(QStringLiteral("Leaf"), QStringLiteral("A1a-x"));
        add(QStringLiteral("A2"), QStringLiteral("Alpha"));
        add(QStringLiteral("Beta"));
        add(QStringLiteral("Gamma"));
        add(QStringLiteral("G1"), QStringLiteral("Gamma"));
        grant(QStringLiteral("Beta"));
        grant(QStringLiteral("Gamma"));
        server.store->markBranchDeleted(admin, ids.value(QStringLiteral("Gamma")), 1);
    }

    static TQiraStoreOptions fastHashing()
    {
        TQiraStoreOptions options;
        options.passwordIterations = 10;
        return options;
    }

    QString add(const QString &name, const QString &parent = {})
    {
        const QString id = NewID();
        server.store->insertBranch(admin, id, parent.isEmpty() ? QString() : ids.value(parent), name);
        ids.insert(name, id);
        return id;
    }

    void grant(const QString &branch)
    {
        TQiraRowChange row;
        row.state = TQiraRowChange::State::Inserted;
        row.values = {{QStringLiteral("tree_rightid"), NewID()}, {QStringLiteral("TreeID"), ids.value(branch)},
                      {QStringLiteral("username"), QStringLiteral("user")}, {QStringLiteral("roleid"), QString()},
                      {QStringLiteral("rtree"), 1}, {QStringLiteral("wtree"), 0}, {QStringLiteral("admtree"), 0},
                      {QStringLiteral("rfile"), 1}, {QStringLiteral("wfile"), 0}, {QStringLiteral("rmyfile"), 0}};
        server.store->applyGrantChanges(admin, {row});
    }

    std::unique_ptr<TZxConnection> connect(const QString &login)
    {
        auto connection = std::make_unique<TZxConnection>();
        connection->Params() = TdmQiraClientDatas::ConnectionParams(server.connectDs(login, login));
        connection->Open();
        return connection;
    }

    // Every branch the server holds, deleted ones included, parents before children.
    QList<Branch> serverTree()
    {
        QList<Branch> all;
        QStringList parents{QString()};
        while (!parents.isEmpty()) {
            const TQiraRowSet rows = server.store->tree(admin, parents.takeFirst(), true);
            for (int row = 0; row < rows.rows.size(); ++row) {
                Branch b{rows.value(row, QStringLiteral("treeid")).toString(),
                         rows.value(row, QStringLiteral("parent_treeid")).toString(),
                         rows.value(row, QStringLiteral("treename")).toString(),
                         rows.value(row, QStringLiteral("del")).toInt()};
                all.append(b);
                parents.append(b.id);
            }
        }
        return all;
    }

    std::optional<Branch> serverBranch(const QString &id)
    {
        for (const Branch &b : serverTree())
            if (b.id == id)
                return b;
        return std::nullopt;
    }

    // Names of the server's children of a branch (by name; empty for the top level).
    QStringList serverChildren(const QString &parentName, bool showDeleted = false)
    {
        const TQiraRowSet rows =
            server.store->tree(admin, parentName.isEmpty() ? QString() : ids.value(parentName), showDeleted);
        QStringList names;
        for (int row = 0; row < rows.rows.size(); ++row)
            names.append(rows.value(row, QStringLiteral("treename")).toString());
        return names;
    }

    QiraServerFixture server;
    TQiraSession admin;
    QHash<QString, QString> ids;
};

// A tree frame set up as the main window sets it up, bound to a connection, its model
// watched by Qt's model tester, shown so that positions and editors are real.
inline std::unique_ptr<TfrmZxTrees> makeTreeFrame(TZxConnection *connection)
{
    auto frame = std::make_unique<TfrmZxTrees>();
    frame->TreeID = QStringLiteral("treeid");
    frame->ParentID = QStringLiteral("parent_treeid");
    frame->NameTree = QStringLiteral("treename");
    frame->Count = QStringLiteral("ccount");
    frame->AddInfoField = QStringLiteral("kolrights");
    frame->IsShowAddInfo = true;
    frame->Connection = connection;
    new QAbstractItemModelTester(frame->Model, QAbstractItemModelTester::FailureReportingMode::QtTest, frame.get());
    frame->resize(320, 480);
    frame->show();
    return frame;
}

// The first node labelled so, in display order; invalid when there is none.
inline QModelIndex nodeNamed(const TfrmZxTrees &frame, const QString &label)
{
    const TZxTreeNode *found = nullptr;
    frame.Model->ForEach([&](TZxTreeNode *node) {
        if (node->Text == label) {
            found = node;
            return false;
        }
        return true;
    });
    return frame.Model->IndexOf(found);
}

inline QStringList childLabels(const TfrmZxTrees &frame, const QModelIndex &parent = {})
{
    QStringList labels;
    for (int row = 0; row < frame.Model->rowCount(parent); ++row)
        labels.append(frame.Model->index(row, 0, parent).data().toString());
    return labels;
}

inline QString selectedLabel(const TfrmZxTrees &frame) { return frame.SelectedNode().data().toString(); }

// The whole view as text: one line per node in display order, indented by depth, with
// "+" for an expanded node and "*" for the selected one.
inline QStringList viewSnapshot(const TfrmZxTrees &frame)
{
    QStringList lines;
    const TZxTreeNode *selected = frame.Model->Node(frame.SelectedNode());
    frame.Model->ForEach([&](TZxTreeNode *node) {
        int depth = 0;
        for (const TZxTreeNode *up = node->Parent; up && up->HasRec; up = up->Parent)
            ++depth;
        const QModelIndex index = frame.Model->IndexOf(node);
        QString line = QString(depth * 2, u' ') + node->Text;
        if (frame.TreeView->isExpanded(index))
            line += u'+';
        if (node == selected)
            line += u'*';
        lines.append(line);
        return true;
    });
    return lines;
}
