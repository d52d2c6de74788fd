#pragma once

#include "qirainfo.h"
#include "qirastoretypes.h"

#include <QList>
#include <QString>
#include <QStringList>

// The rights model. A user's rights on a branch come from the grants on the nearest
// branch of its path (the branch itself first) that has any grants at all; when no
// branch of the path has one, the store's default applies. Among the grants of that
// branch, those naming the user himself win over those naming his role; several of the
// same kind add up. Administrators have every right everywhere.
//
// Branches are addressed here by their materialised path: one segment per level, each
// ending with "/", made of digits and lower-case Latin letters, so that a branch's
// subtree is exactly the paths in [path, path + "~").
class TQiraRights
{
public:
    struct Flags
    {
        bool rtree = false;
        bool wtree = false;
        bool admtree = false;
        bool rfile = false;
        bool wfile = false;
        bool rmyfile = false;

        bool readsFiles() const { return rfile || rmyfile; }
    };

    struct Grant
    {
        QString treePath;
        QString userName;
        QString roleId;
        Flags flags;
    };

    // A half-open range of branch paths whose files the user may read; ownOnly limits
    // them to the files he created.
    struct PathRange
    {
        QString from;
        QString to;
        bool ownOnly = false;
    };

    static Flags defaults(const TQiraStoreOptions &options);
    static Flags all();

    // The path itself and every ancestor path, the shortest first.
    static QStringList pathAndAncestors(const QString &treePath);
    static QString subtreeEnd(const QString &treePath) { return treePath + u'~'; }

    // Rights on the branch at treePath; grants holds at least every grant on the branch
    // and its ancestors (others are ignored).
    static Flags forBranch(const TQiraSession &session, const QString &treePath,
                           const QList<Grant> &grants, const Flags &fallback);

    // The parts of the subtree at scopePath (the whole store when empty) whose files
    // the user may read. grants holds at least the grants on the scope, its ancestors
    // and its descendants.
    static QList<PathRange> readableRanges(const TQiraSession &session, const QString &scopePath,
                                           const QList<Grant> &grants, const Flags &fallback);

    static TTreeRights record(const QString &treeId, const TQiraSession &session, const Flags &flags);
    // The JSON object the client decodes into TTreeRights.
    static QString json(const TTreeRights &rights);
};
