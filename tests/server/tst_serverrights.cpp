#include "qirarights.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using Flags = TQiraRights::Flags;
using Grant = TQiraRights::Grant;

namespace {

TQiraSession session(const QString &login, const QString &role)
{
    TQiraSession s;
    s.login = login;
    s.roleId = role;
    return s;
}

Flags flags(const QString &list)
{
    Flags f;
    const QStringList names = list.split(u',');
    f.rtree = names.contains(QStringLiteral("rtree"));
    f.wtree = names.contains(QStringLiteral("wtree"));
    f.admtree = names.contains(QStringLiteral("admtree"));
    f.rfile = names.contains(QStringLiteral("rfile"));
    f.wfile = names.contains(QStringLiteral("wfile"));
    f.rmyfile = names.contains(QStringLiteral("rmyfile"));
    return f;
}

QString text(const Flags &f)
{
    QStringList names;
    if (f.rtree)
        names << QStringLiteral("rtree");
    if (f.wtree)
        names << QStringLiteral("wtree");
    if (f.admtree)
        names << QStringLiteral("admtree");
    if (f.rfile)
        names << QStringLiteral("rfile");
    if (f.wfile)
        names << QStringLiteral("wfile");
    if (f.rmyfile)
        names << QStringLiteral("rmyfile");
    return names.join(u',');
}

// a/ with grants; a/b/ without; a/b/c/ with a grant only for role 3; d/ without.
QList<Grant> sampleGrants()
{
    return {{QStringLiteral("a/"), QStringLiteral("ivan"), QString(), flags(QStringLiteral("rtree,rfile,wfile"))},
            {QStringLiteral("a/"), QString(), QStringLiteral("2"), flags(QStringLiteral("rtree"))},
            {QStringLiteral("a/b/c/"), QString(), QStringLiteral("3"), flags(QStringLiteral("rtree,rfile"))},
            {QStringLiteral("e/"), QString(), QStringLiteral("2"), flags(QStringLiteral("rtree,rmyfile"))}};
}

} // namespace

class TestServerRights : public QObject
{
    Q_OBJECT

private slots:
    void nearestGrantDecides_data();
    void nearestGrantDecides();
    void readableRanges_data();
    void readableRanges();
    void jsonKeys();
};

void TestServerRights::nearestGrantDecides_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("role");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("own grant") << "ivan" << "2" << "a/" << "rtree,rfile,wfile";
    QTest::newRow("own grant wins over role") << "ivan" << "2" << "a/b/" << "rtree,rfile,wfile";
    QTest::newRow("role grant") << "petr" << "2" << "a/b/" << "rtree";
    QTest::newRow("grants for others only") << "sidor" << "4" << "a/" << "";
    QTest::newRow("nearest branch with grants") << "ivan" << "2" << "a/b/c/" << "";
    QTest::newRow("nearest, role matches") << "petr" << "3" << "a/b/c/d/" << "rtree,rfile";
    QTest::newRow("no grants on path: default") << "ivan" << "2" << "d/x/" << "rtree,rfile";
    QTest::newRow("administrator -1") << "root" << "-1" << "a/b/c/" << "rtree,wtree,admtree,rfile,wfile";
    QTest::newRow("administrator 1") << "boss" << "1" << "a/" << "rtree,wtree,admtree,rfile,wfile";
    QTest::newRow("role 01 is not an administrator") << "x" << "01" << "a/" << "";
    QTest::newRow("role with blank is not an administrator") << "x" << " 1" << "a/" << "";
}

void TestServerRights::nearestGrantDecides()
{
    QFETCH(QString, login);
    QFETCH(QString, role);
    QFETCH(QString, path);
    QFETCH(QString, expected);
    const Flags fallback = flags(QStringLiteral("rtree,rfile"));
    QCOMPARE(text(TQiraRights::forBranch(session(login, role), path, sampleGrants(), fallback)), expected);
}

void TestServerRights::readableRanges_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("role");
    QTest::addColumn<QString>("scope");
    QTest::addColumn<QStringList>("expected");
    // Default read: everything but the parts whose grants exclude the user.
    QTest::newRow("whole store, role 2") << "petr" << "2" << ""
                                         << QStringList{"|a/", "a/~|e/", "e/|e/~ own", "e/~|~"};
    QTest::newRow("whole store, ivan") << "ivan" << "2" << ""
                                       << QStringList{"|a/b/c/", "a/b/c/~|e/", "e/|e/~ own", "e/~|~"};
    QTest::newRow("role 3 inside a") << "petr" << "3" << "a/" << QStringList{"a/b/c/|a/b/c/~"};
    QTest::newRow("subtree without grants") << "petr" << "2" << "d/" << QStringList{"d/|d/~"};
    QTest::newRow("administrator") << "root" << "1" << "a/" << QStringList{"a/|a/~"};
}

void TestServerRights::readableRanges()
{
    QFETCH(QString, login);
    QFETCH(QString, role);
    QFETCH(QString, scope);
    QFETCH(QStringList, expected);
    const Flags fallback = flags(QStringLiteral("rtree,rfile"));
    QStringList got;
    for (const auto &r : TQiraRights::readableRanges(session(login, role), scope, sampleGrants(), fallback))
        got.append(r.from + u'|' + r.to + (r.ownOnly ? QStringLiteral(" own") : QString()));
    QCOMPARE(got, expected);
}

void TestServerRights::jsonKeys()
{
    const TTreeRights r = TQiraRights::record(QStringLiteral("t1"), session(QStringLiteral("ivan"), QStringLiteral("2")),
                                              flags(QStringLiteral("rtree,wfile,rmyfile")));
    const QJsonObject o = QJsonDocument::fromJson(TQiraRights::json(r).toUtf8()).object();
    QCOMPARE(o.keys().size(), 9);
    QCOMPARE(o.value(QStringLiteral("TreeID")).toString(), QStringLiteral("t1"));
    QCOMPARE(o.value(QStringLiteral("UserName")).toString(), QStringLiteral("ivan"));
    QCOMPARE(o.value(QStringLiteral("RoleID")).toString(), QStringLiteral("2"));
    QCOMPARE(o.value(QStringLiteral("wfile")).toBool(), true);
    QCOMPARE(o.value(QStringLiteral("rfile")).toBool(), false);
    const TTreeRights decoded = DecodeZxTreeRights(TQiraRights::json(r));
    QVERIFY(decoded.RTree && decoded.WFile && decoded.RMyFile && !decoded.WTree && !decoded.AdmTree);
}

QTEST_GUILESS_MAIN(TestServerRights)
#include "tst_serverrights.moc"
