#include "qirarights.h"

#include "zxjsonwriter.h"

#include <QMap>

#include <algorithm>

namespace {

using Flags = TQiraRights::Flags;
using Grant = TQiraRights::Grant;
using PathRange = TQiraRights::PathRange;

void addFlags(Flags &sum, const Flags &f)
{
    sum.rtree |= f.rtree;
    sum.wtree |= f.wtree;
    sum.admtree |= f.admtree;
    sum.rfile |= f.rfile;
    sum.wfile |= f.wfile;
    sum.rmyfile |= f.rmyfile;
}

// The rights that the grants of one branch give the user.
Flags fromGrants(const TQiraSession &session, const QList<const Grant *> &onBranch)
{
    Flags personal;
    Flags byRole;
    bool hasPersonal = false;
    for (const Grant *g : onBranch) {
        if (!g->userName.isEmpty()) {
            if (g->userName == session.login) {
                addFlags(personal, g->flags);
                hasPersonal = true;
            }
        } else if (!g->roleId.isEmpty() && g->roleId == session.roleId) {
            addFlags(byRole, g->flags);
        }
    }
    return hasPersonal ? personal : byRole;
}

enum class Mode { None, Own, All };

Mode modeOf(const Flags &f)
{
    if (!f.readsFiles())
        return Mode::None;
    return f.rmyfile ? Mode::Own : Mode::All;
}

void emitRange(QList<PathRange> &out, const QString &from, const QString &to, Mode mode)
{
    if (mode == Mode::None || !(from < to))
        return;
    const bool own = mode == Mode::Own;
    if (!out.isEmpty() && out.last().to == from && out.last().ownOnly == own) {
        out.last().to = to;
        return;
    }
    out.append({from, to, own});
}

struct Walker
{
    const QStringList &points;
    const QMap<QString, Mode> &modes;
    QList<PathRange> &out;
    qsizetype next = 0;

    void walk(const QString &from, const QString &to, Mode mode)
    {
        QString cursor = from;
        while (next < points.size() && points.at(next) < to) {
            const QString point = points.at(next++);
            emitRange(out, cursor, point, mode);
            const QString pointEnd = TQiraRights::subtreeEnd(point);
            walk(point, pointEnd, modes.value(point));
            cursor = pointEnd;
        }
        emitRange(out, cursor, to, mode);
    }
};

} // namespace

Flags TQiraRights::defaults(const TQiraStoreOptions &options)
{
    Flags f;
    f.rtree = options.defaultRTree;
    f.wtree = options.defaultWTree;
    f.admtree = options.defaultAdmTree;
    f.rfile = options.defaultRFile;
    f.wfile = options.defaultWFile;
    f.rmyfile = options.defaultRMyFile;
    return f;
}

Flags TQiraRights::all()
{
    Flags f;
    f.rtree = f.wtree = f.admtree = f.rfile = f.wfile = true;
    return f;
}

QStringList TQiraRights::pathAndAncestors(const QString &treePath)
{
    QStringList paths;
    for (qsizetype i = 0; i < treePath.size(); ++i)
        if (treePath.at(i) == u'/')
            paths.append(treePath.left(i + 1));
    return paths;
}

Flags TQiraRights::forBranch(const TQiraSession &session, const QString &treePath,
                             const QList<Grant> &grants, const Flags &fallback)
{
    if (session.isAdmin())
        return all();
    const QStringList paths = pathAndAncestors(treePath);
    for (qsizetype i = paths.size() - 1; i >= 0; --i) {
        QList<const Grant *> onBranch;
        for (const Grant &g : grants)
            if (g.treePath == paths.at(i))
                onBranch.append(&g);
        if (!onBranch.isEmpty())
            return fromGrants(session, onBranch);
    }
    return fallback;
}

QList<PathRange> TQiraRights::readableRanges(const TQiraSession &session, const QString &scopeText,
                                             const QList<Grant> &grants, const Flags &fallback)
{
    // A null text would reach the database as NULL, which compares with nothing.
    const QString scopePath = scopeText.isNull() ? QStringLiteral("") : scopeText;
    const QString scopeEnd = scopePath.isEmpty() ? QStringLiteral("~") : subtreeEnd(scopePath);
    QList<PathRange> out;
    if (session.isAdmin()) {
        out.append({scopePath, scopeEnd, false});
        return out;
    }
    QMap<QString, QList<const Grant *>> byPath;
    for (const Grant &g : grants)
        byPath[g.treePath].append(&g);
    QMap<QString, Mode> modes;
    QStringList inside;
    for (auto it = byPath.constBegin(); it != byPath.constEnd(); ++it) {
        const QString &path = it.key();
        if (path.startsWith(scopePath) && path != scopePath) {
            modes.insert(path, modeOf(fromGrants(session, it.value())));
            inside.append(path); // QMap keeps them sorted
        }
    }
    const Mode scopeMode =
        scopePath.isEmpty() ? modeOf(fallback) : modeOf(forBranch(session, scopePath, grants, fallback));
    Walker walker{inside, modes, out};
    walker.walk(scopePath, scopeEnd, scopeMode);
    return out;
}

TTreeRights TQiraRights::record(const QString &treeId, const TQiraSession &session, const Flags &flags)
{
    TTreeRights r;
    r.TreeID = treeId;
    r.UserName = session.login;
    r.RoleID = session.roleId;
    r.RTree = flags.rtree;
    r.WTree = flags.wtree;
    r.AdmTree = flags.admtree;
    r.RFile = flags.rfile;
    r.WFile = flags.wfile;
    r.RMyFile = flags.rmyfile;
    return r;
}

QString TQiraRights::json(const TTreeRights &rights)
{
    TZxJsonWriter writer;
    writer.addString(QStringLiteral("TreeID"), rights.TreeID);
    writer.addString(QStringLiteral("UserName"), rights.UserName);
    writer.addString(QStringLiteral("RoleID"), rights.RoleID);
    writer.addBool(QStringLiteral("rtree"), rights.RTree);
    writer.addBool(QStringLiteral("wtree"), rights.WTree);
    writer.addBool(QStringLiteral("admtree"), rights.AdmTree);
    writer.addBool(QStringLiteral("rfile"), rights.RFile);
    writer.addBool(QStringLiteral("wfile"), rights.WFile);
    writer.addBool(QStringLiteral("rmyfile"), rights.RMyFile);
    return writer.text();
}
