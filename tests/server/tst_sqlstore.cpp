#include "serverfixture.h"

#include <QThread>

#include <functional>
#include <latch>


class TestSqlStore : public QObject
{
    Q_OBJECT

private slots:
    void signIn_data();
    void signIn();
    void usersCarryNoCredentials();
    void passwordChange();
    void rightsMatrix_data();
    void rightsMatrix();
    void grantedUserMayChange();
    void ownFilesOnly();
    void treeOperations();
    void moveRefusedIntoItself_data();
    void moveRefusedIntoItself();
    void purgeBranchRemovesEverything();
    void treeHidesUnreadableBranches();
    void locks();
    void racingForOneFile();
    void serverManagedColumnsIgnored();
    void repeatedChangeLogIsAccepted();
    void clientFileNameStaysInside();
    void sqlTexts();
};

void TestSqlStore::signIn_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("digest");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("right password") << "user" << TextMD5(QStringLiteral("user")) << QString();
    QTest::newRow("wrong password") << "user" << TextMD5(QStringLiteral("nope")) << "Неверное имя пользователя или пароль";
    QTest::newRow("unknown login") << "ghost" << TextMD5(QStringLiteral("ghost")) << "Неверное имя пользователя или пароль";
    QTest::newRow("plain password instead of digest") << "user" << "user" << "Неверное имя пользователя или пароль";
    QTest::newRow("login in other capitals") << "USER" << TextMD5(QStringLiteral("user")) << "Неверное имя пользователя";
    QTest::newRow("inactive") << "sleeper" << TextMD5(QStringLiteral("sleeper")) << "Пользователь sleeper отключен";
}

void TestSqlStore::signIn()
{
    QFETCH(QString, login);
    QFETCH(QString, digest);
    QFETCH(QString, refusal);
    ServerFixture fx;
    fx.addUser(QStringLiteral("sleeper"), QStringLiteral("2"), 0);
    if (refusal.isEmpty()) {
        const TQiraSession s = fx.store->signIn(login, digest);
        QCOMPARE(s.login, login);
        QCOMPARE(s.roleId, QStringLiteral("2"));
        QCOMPARE(s.roleName, QStringLiteral("Пользователь"));
        QVERIFY(!s.userId.isEmpty());
        QVERIFY(!s.isAdmin());
        return;
    }
    try {
        fx.store->signIn(login, digest);
        QFAIL("signed in");
    } catch (const EQiraAuthError &e) {
        QVERIFY2(e.message().contains(refusal), qPrintable(e.message()));
    }
}

void TestSqlStore::usersCarryNoCredentials()
{
    ServerFixture fx;
    const TQiraRowSet users = fx.store->users(fx.admin);
    QCOMPARE(users.rows.size(), 3);
    const int password = users.columnIndex(QStringLiteral("password"));
    QVERIFY(password >= 0);
    for (const QVariantList &row : users.rows) {
        QVERIFY(row.at(password).isNull());
        for (const QVariant &cell : row)
            QVERIFY(!cell.toString().contains(TextMD5(QStringLiteral("user"))));
    }
    for (const TQiraColumn &c : users.columns)
        QVERIFY(!c.name.startsWith(QStringLiteral("pw_")));
    // Nor does the database hold the digest itself.
    QVERIFY(!fx.snapshot().contains(TextMD5(QStringLiteral("user"))));
}

void TestSqlStore::passwordChange()
{
    ServerFixture fx;
    const TQiraRowSet users = fx.store->users(fx.admin);
    QString id;
    for (int r = 0; r < users.rows.size(); ++r)
        if (users.value(r, QStringLiteral("login")) == QStringLiteral("user"))
            id = users.value(r, QStringLiteral("user_id")).toString();
    TQiraRowChange change;
    change.state = TQiraRowChange::State::Modified;
    change.original = {{QStringLiteral("user_id"), id}, {QStringLiteral("password"), QVariant()}};
    change.values = {{QStringLiteral("user_id"), id}, {QStringLiteral("password"), TextMD5(QStringLiteral("new"))}};
    const QString before = fx.snapshot();
    TQiraRowChange plain = change;
    plain.values.insert(QStringLiteral("password"), QStringLiteral("new"));
    QVERIFY_THROWS_EXCEPTION(EQiraRequestError, fx.store->applyUserChanges(fx.admin, {plain}));
    QCOMPARE(fx.snapshot(), before);
    fx.store->applyUserChanges(fx.admin, {change});
    QVERIFY_THROWS_EXCEPTION(EQiraAuthError, fx.store->signIn(QStringLiteral("user"), TextMD5(QStringLiteral("user"))));
    QCOMPARE(fx.store->signIn(QStringLiteral("user"), TextMD5(QStringLiteral("new"))).login, QStringLiteral("user"));
}

// Every changing operation, done by an ordinary user without the right it needs: refused,
// and the store is left exactly as it was. The same call by an administrator succeeds,
// which shows the refusal comes from the rights and not from a bad call.
using Call = std::function<void(const TQiraSession &)>;
using Prepare = std::function<Call(ServerFixture &)>;
Q_DECLARE_METATYPE(Prepare)

void TestSqlStore::rightsMatrix_data()
{
    QTest::addColumn<Prepare>("prepare");
    const auto aFile = [](ServerFixture &fx) { return fx.file(fx.branch(QStringLiteral("B")), QStringLiteral("doc")); };
    QTest::newRow("InsNode under a branch") << Prepare([](ServerFixture &fx) -> Call {
        const QString b = fx.branch(QStringLiteral("B"));
        return [&fx, b](const TQiraSession &s) { fx.store->insertBranch(s, NewID(), b, QStringLiteral("new")); };
    });
    QTest::newRow("InsNode at the top") << Prepare([](ServerFixture &fx) -> Call {
        return [&fx](const TQiraSession &s) { fx.store->insertBranch(s, NewID(), QString(), QStringLiteral("new")); };
    });
    QTest::newRow("SetNodeText") << Prepare([](ServerFixture &fx) -> Call {
        const QString b = fx.branch(QStringLiteral("B"));
        return [&fx, b](const TQiraSession &s) { fx.store->renameBranch(s, b, QStringLiteral("renamed")); };
    });
    QTest::newRow("DelNode") << Prepare([](ServerFixture &fx) -> Call {
        const QString b = fx.branch(QStringLiteral("B"));
        return [&fx, b](const TQiraSession &s) { fx.store->markBranchDeleted(s, b, 1); };
    });
    QTest::newRow("MoveNode") << Prepare([](ServerFixture &fx) -> Call {
        const QString b = fx.branch(QStringLiteral("B"));
        const QString c = fx.branch(QStringLiteral("C"));
        return [&fx, b, c](const TQiraSession &s) { fx.store->moveBranch(s, b, c); };
    });
    QTest::newRow("MoveNode into a writable branch") << Prepare([](ServerFixture &fx) -> Call {
        const QString b = fx.branch(QStringLiteral("B"));
        const QString c = fx.branch(QStringLiteral("C"));
        fx.grant(c, QStringLiteral("user"), QString(), QStringLiteral("rtree,wtree,rfile,wfile"));
        return [&fx, b, c](const TQiraSession &s) { fx.store->moveBranch(s, b, c); };
    });
    QTest::newRow("DelNodeFull") << Prepare([](ServerFixture &fx) -> Call {
        const QString b = fx.branch(QStringLiteral("B"));
        return [&fx, b](const TQiraSession &s) { fx.store->purgeBranch(s, b); };
    });
    QTest::newRow("DelNodeFull with write rights") << Prepare([](ServerFixture &fx) -> Call {
        const QString b = fx.branch(QStringLiteral("B"));
        fx.grant(b, QStringLiteral("user"), QString(), QStringLiteral("rtree,wtree,admtree,rfile,wfile"));
        return [&fx, b](const TQiraSession &s) { fx.store->purgeBranch(s, b); };
    });
    QTest::newRow("insert a file") << Prepare([](ServerFixture &fx) -> Call {
        const QString b = fx.branch(QStringLiteral("B"));
        return [&fx, b](const TQiraSession &s) { fx.file(b, QStringLiteral("mine"), {}, &s); };
    });
    QTest::newRow("move a file into a read-only branch") << Prepare([](ServerFixture &fx) -> Call {
        const QString w = fx.branch(QStringLiteral("W"));
        fx.grant(w, QStringLiteral("user"), QString(), QStringLiteral("rtree,rfile,wfile"));
        const QString id = fx.file(w, QStringLiteral("doc"));
        const QString ro = fx.branch(QStringLiteral("RO"));
        return [&fx, id, ro](const TQiraSession &s) {
            fx.store->applyFileChanges(s, {ServerFixture::modifyRow(id, {{QStringLiteral("treeid"), ro}})});
        };
    });
    QTest::newRow("edit a file") << Prepare([aFile](ServerFixture &fx) -> Call {
        const QString id = aFile(fx);
        return [&fx, id](const TQiraSession &s) {
            fx.store->applyFileChanges(s, {ServerFixture::modifyRow(id, {{QStringLiteral("comment_file"), QStringLiteral("x")}})});
        };
    });
    QTest::newRow("mark a file deleted") << Prepare([aFile](ServerFixture &fx) -> Call {
        const QString id = aFile(fx);
        return [&fx, id](const TQiraSession &s) {
            fx.store->applyFileChanges(s, {ServerFixture::modifyRow(id, {{QStringLiteral("del"), 1}}, {{QStringLiteral("del"), 0}})});
        };
    });
    QTest::newRow("take into work") << Prepare([aFile](ServerFixture &fx) -> Call {
        const QString id = aFile(fx);
        return [&fx, id](const TQiraSession &s) {
            fx.store->applyFileChanges(s, {ServerFixture::modifyRow(id, {{QStringLiteral("working_user"), s.login}})});
        };
    });
    QTest::newRow("delete a row") << Prepare([aFile](ServerFixture &fx) -> Call {
        const QString id = aFile(fx);
        return [&fx, id](const TQiraSession &s) {
            TQiraRowChange row;
            row.state = TQiraRowChange::State::Deleted;
            row.original = {{QStringLiteral("fileid"), id}};
            fx.store->applyFileChanges(s, {row});
        };
    });
    QTest::newRow("upload a chunk") << Prepare([aFile](ServerFixture &fx) -> Call {
        const QString id = aFile(fx);
        return [&fx, id](const TQiraSession &s) {
            auto up = fx.store->newUpload();
            fx.store->putChunk(s, *up, id, "abc", 3, QStringLiteral("Start"));
        };
    });
    QTest::newRow("check a version in") << Prepare([aFile](ServerFixture &fx) -> Call {
        const QString id = aFile(fx);
        return [&fx, id](const TQiraSession &s) { fx.upload(s, id, "abc"); };
    });
    QTest::newRow("FizDelFile") << Prepare([aFile](ServerFixture &fx) -> Call {
        const QString id = aFile(fx);
        return [&fx, id](const TQiraSession &s) { fx.store->purgeFile(s, id); };
    });
    QTest::newRow("StreamPostUsers") << Prepare([](ServerFixture &fx) -> Call {
        return [&fx](const TQiraSession &s) {
            fx.store->applyUserChanges(s, {ServerFixture::insertRow({{QStringLiteral("login"), QStringLiteral("x")},
                                                                     {QStringLiteral("Roleid"), QStringLiteral("1")}})});
        };
    });
    QTest::newRow("StreamPostRole") << Prepare([](ServerFixture &fx) -> Call {
        return [&fx](const TQiraSession &s) {
            fx.store->applyRoleChanges(s, {ServerFixture::insertRow({{QStringLiteral("rolename"), QStringLiteral("x")}})});
        };
    });
    QTest::newRow("StreamPostTreeright") << Prepare([](ServerFixture &fx) -> Call {
        const QString b = fx.branch(QStringLiteral("B"));
        return [&fx, b](const TQiraSession &s) {
            fx.store->applyGrantChanges(s, {ServerFixture::insertRow({{QStringLiteral("TreeID"), b},
                                                                      {QStringLiteral("username"), QStringLiteral("user")},
                                                                      {QStringLiteral("wfile"), 1}})});
        };
    });
    QTest::newRow("StreamTabuFiles") << Prepare([](ServerFixture &fx) -> Call {
        return [&fx](const TQiraSession &s) {
            fx.store->applyTabuChanges(s, {ServerFixture::insertRow({{QStringLiteral("tabuname"), QStringLiteral("*.tmp")}})});
        };
    });
    QTest::newRow("preview of an unreadable file") << Prepare([](ServerFixture &fx) -> Call {
        const QString hidden = fx.branch(QStringLiteral("H"));
        fx.grant(hidden, QStringLiteral("other"), QString(), QStringLiteral("rtree,rfile"));
        const QString id = fx.file(hidden, QStringLiteral("secret"));
        return [&fx, id](const TQiraSession &s) { fx.store->setPreview(s, id, "png"); };
    });
}

void TestSqlStore::rightsMatrix()
{
    QFETCH(Prepare, prepare);
    {
        ServerFixture twin;
        prepare(twin)(twin.admin);
    }
    ServerFixture fx;
    const Call call = prepare(fx);
    const QString before = fx.snapshot();
    QVERIFY_THROWS_EXCEPTION(EQiraRightsError, call(fx.user));
    QCOMPARE(fx.snapshot(), before);
}

void TestSqlStore::grantedUserMayChange()
{
    ServerFixture fx;
    const QString b = fx.branch(QStringLiteral("B"));
    fx.grant(b, QStringLiteral("user"), QString(), QStringLiteral("rtree,wtree,rfile,wfile"));
    const QString id = fx.file(b, QStringLiteral("mine"), {}, &fx.user);
    fx.store->applyFileChanges(fx.user, {ServerFixture::modifyRow(id, {{QStringLiteral("comment_file"), QStringLiteral("ok")}})});
    QCOMPARE(fx.fileValue(id, QStringLiteral("comment_file")).toString(), QStringLiteral("ok"));
    QCOMPARE(fx.fileValue(id, QStringLiteral("usercreate")).toString(), QStringLiteral("user"));
    fx.store->insertBranch(fx.user, NewID(), b, QStringLiteral("sub"));
    fx.upload(fx.user, id, "content");
    QCOMPARE(fx.download(fx.user, id), QByteArray("content"));
    const TTreeRights r = fx.store->rights(fx.user, b);
    QVERIFY(r.RTree && r.WTree && r.RFile && r.WFile && !r.AdmTree && !r.RMyFile);
    QCOMPARE(r.UserName, QStringLiteral("user"));
    // A branch without grants gives the store's default: read only.
    const TTreeRights d = fx.store->rights(fx.user, fx.branch(QStringLiteral("D")));
    QVERIFY(d.RTree && d.RFile && !d.WTree && !d.WFile);
}

void TestSqlStore::ownFilesOnly()
{
    ServerFixture fx;
    const QString b = fx.branch(QStringLiteral("Shared"));
    fx.grant(b, QString(), QStringLiteral("2"), QStringLiteral("rtree,rfile,wfile,rmyfile"));
    const QString mine = fx.file(b, QStringLiteral("mine"), {}, &fx.user);
    const QString theirs = fx.file(b, QStringLiteral("theirs"), {}, &fx.other);
    QCOMPARE(ServerFixture::names(fx.store->files(fx.user, ServerFixture::listOf(b), QStringLiteral("iqFiles"))),
             QStringList{QStringLiteral("mine")});
    QCOMPARE(fx.store->countFiles(fx.user, ServerFixture::listOf(b)).rows, qint64(1));
    TQiraFilter all = ServerFixture::listOf(QString());
    all.IsShowAll = true;
    QCOMPARE(ServerFixture::names(fx.store->files(fx.other, all, QStringLiteral("iqFiles"))), QStringList{QStringLiteral("theirs")});
    QVERIFY_THROWS_EXCEPTION(EQiraRightsError, fx.store->readFilePart(fx.user, theirs, 0, 10));
    QVERIFY_THROWS_EXCEPTION(EQiraRightsError,
                             fx.store->applyFileChanges(fx.user, {ServerFixture::modifyRow(theirs, {{QStringLiteral("comment_file"), QStringLiteral("x")}})}));
    fx.store->applyFileChanges(fx.user, {ServerFixture::modifyRow(mine, {{QStringLiteral("comment_file"), QStringLiteral("x")}})});
}

void TestSqlStore::treeOperations()
{
    ServerFixture fx;
    const QString a = fx.branch(QStringLiteral("Договоры"));
    const QString b = fx.branch(QStringLiteral("2025 год"), a);
    const QString c = fx.branch(QStringLiteral("Поставщики"), b);
    fx.branch(QStringLiteral("Архив"), a);
    fx.grant(b, QString(), QStringLiteral("2"), QStringLiteral("rtree,rfile"));

    TQiraRowSet top = fx.store->tree(fx.user, QString(), false);
    QCOMPARE(top.rows.size(), 1);
    QCOMPARE(top.value(0, QStringLiteral("treename")).toString(), QStringLiteral("Договоры"));
    QCOMPARE(top.value(0, QStringLiteral("ccount")).toInt(), 2);
    TQiraRowSet children = fx.store->tree(fx.user, a, false);
    QCOMPARE(children.rows.size(), 2);
    QCOMPARE(children.value(0, QStringLiteral("treename")).toString(), QStringLiteral("2025 год"));
    QCOMPARE(children.value(0, QStringLiteral("kolrights")).toInt(), 1);
    QCOMPARE(children.value(0, QStringLiteral("parent_treeid")).toString(), a);
    QCOMPARE(children.value(1, QStringLiteral("kolrights")).toInt(), 0);

    QCOMPARE(fx.store->branchPath(fx.user, c), c + u',' + b + u',' + a);
    QCOMPARE(fx.store->branchPath(fx.user, QStringLiteral("missing")), QString());
    QCOMPARE(fx.store->findChild(fx.user, a, QStringLiteral(" 2025 год ")), b);
    QCOMPARE(fx.store->findChild(fx.user, a, QStringLiteral("2025 ГОД")), QString());
    QCOMPARE(fx.store->findChild(fx.user, QString(), QStringLiteral("Договоры")), a);

    fx.store->renameBranch(fx.admin, b, QStringLiteral("2025"));
    fx.store->markBranchDeleted(fx.admin, b, 1);
    QCOMPARE(fx.store->tree(fx.admin, a, false).rows.size(), 1);
    QCOMPARE(fx.store->tree(fx.admin, QString(), false).value(0, QStringLiteral("ccount")).toInt(), 1);
    TQiraRowSet withDeleted = fx.store->tree(fx.admin, a, true);
    QCOMPARE(withDeleted.rows.size(), 2);
    QCOMPARE(withDeleted.value(0, QStringLiteral("treename")).toString(), QStringLiteral("2025"));
    QCOMPARE(withDeleted.value(0, QStringLiteral("del")).toInt(), 1);
    QCOMPARE(fx.store->findChild(fx.admin, a, QStringLiteral("2025")), QString());
    QVERIFY_THROWS_EXCEPTION(EQiraRequestError, fx.store->markBranchDeleted(fx.admin, b, 2));
    QVERIFY_THROWS_EXCEPTION(EQiraRequestError, fx.store->insertBranch(fx.admin, b, a, QStringLiteral("again")));
    QVERIFY_THROWS_EXCEPTION(EQiraRequestError, fx.store->insertBranch(fx.admin, NewID(), a, QStringLiteral("  ")));

    // A move carries the sub-branches and their files along.
    const QString f = fx.file(c, QStringLiteral("карточка"));
    const QString target = fx.branch(QStringLiteral("Бухгалтерия"));
    fx.store->moveBranch(fx.admin, b, target);
    QCOMPARE(fx.store->branchPath(fx.admin, c), c + u',' + b + u',' + target);
    TQiraFilter recursive = ServerFixture::listOf(target);
    recursive.IsRecursive = true;
    QCOMPARE(ServerFixture::names(fx.store->files(fx.admin, recursive, QStringLiteral("iqFiles"))), QStringList{QStringLiteral("карточка")});
    recursive.TreeID = a;
    QVERIFY(fx.store->files(fx.admin, recursive, QStringLiteral("iqFiles")).rows.isEmpty());
    fx.store->moveBranch(fx.admin, b, QString());
    QCOMPARE(fx.store->branchPath(fx.admin, c), c + u',' + b);
    QCOMPARE(fx.store->clientFileName(fx.admin, f), QStringLiteral("2025\\Поставщики\\карточка.txt"));
}

void TestSqlStore::moveRefusedIntoItself_data()
{
    QTest::addColumn<int>("target");
    QTest::newRow("itself") << 0;
    QTest::newRow("child") << 1;
    QTest::newRow("grandchild") << 2;
}

void TestSqlStore::moveRefusedIntoItself()
{
    QFETCH(int, target);
    ServerFixture fx;
    QStringList chain{fx.branch(QStringLiteral("a"))};
    chain.append(fx.branch(QStringLiteral("b"), chain.last()));
    chain.append(fx.branch(QStringLiteral("c"), chain.last()));
    const QString before = fx.snapshot();
    try {
        fx.store->moveBranch(fx.admin, chain.first(), chain.at(target));
        QFAIL("moved");
    } catch (const EQiraRequestError &e) {
        QVERIFY2(e.message().contains(QStringLiteral("в саму себя или в свою подветвь")), qPrintable(e.message()));
    }
    QCOMPARE(fx.snapshot(), before);
}

void TestSqlStore::purgeBranchRemovesEverything()
{
    ServerFixture fx;
    const QString keep = fx.branch(QStringLiteral("keep"));
    const QString gone = fx.branch(QStringLiteral("gone"));
    const QString sub = fx.branch(QStringLiteral("sub"), gone);
    fx.grant(sub, QStringLiteral("user"), QString(), QStringLiteral("rtree"));
    const QString shared = fx.file(keep, QStringLiteral("kept"));
    fx.upload(fx.admin, shared, "same bytes");
    const QString f1 = fx.file(gone, QStringLiteral("one"));
    fx.upload(fx.admin, f1, "only here");
    const QString f2 = fx.file(sub, QStringLiteral("two"));
    fx.upload(fx.admin, f2, "same bytes");
    fx.upload(fx.admin, f2, "second version");
    fx.store->setPreview(fx.admin, f2, "png");
    QCOMPARE(fx.store->content().keys().size(), 3);

    fx.store->purgeBranch(fx.admin, gone);
    QCOMPARE(fx.store->tree(fx.admin, QString(), true).rows.size(), 1);
    QVERIFY_THROWS_EXCEPTION(EQiraRequestError, fx.store->history(fx.admin, f2));
    QCOMPARE(fx.store->treeGrants(fx.admin, keep).rows.size(), 0);
    // Contents shared with a file that stays are kept; the others are gone from disk.
    QCOMPARE(fx.store->content().keys().size(), 1);
    QCOMPARE(fx.download(fx.admin, shared), QByteArray("same bytes"));
    const QString snap = fx.snapshot();
    QVERIFY(!snap.contains(f1) && !snap.contains(f2) && !snap.contains(sub));
}

void TestSqlStore::treeHidesUnreadableBranches()
{
    ServerFixture fx;
    const QString open = fx.branch(QStringLiteral("open"));
    const QString closed = fx.branch(QStringLiteral("closed"));
    fx.grant(closed, QStringLiteral("other"), QString(), QStringLiteral("rtree,rfile"));
    const TQiraRowSet top = fx.store->tree(fx.user, QString(), false);
    QCOMPARE(top.rows.size(), 1);
    QCOMPARE(top.value(0, QStringLiteral("treeid")).toString(), open);
    QCOMPARE(fx.store->tree(fx.other, QString(), false).rows.size(), 2);
    QVERIFY_THROWS_EXCEPTION(EQiraRightsError, fx.store->tree(fx.user, closed, false));
    QCOMPARE(fx.store->branchPath(fx.user, closed), QString());
    QVERIFY_THROWS_EXCEPTION(EQiraRightsError, fx.store->files(fx.user, ServerFixture::listOf(closed), QStringLiteral("iqFiles")));
}

void TestSqlStore::locks()
{
    ServerFixture fx;
    const QString b = fx.branch(QStringLiteral("B"));
    fx.grant(b, QString(), QStringLiteral("2"), QStringLiteral("rtree,rfile,wfile"));
    const QString id = fx.file(b, QStringLiteral("doc"));
    const auto take = [&](const TQiraSession &s, const QVariant &holder) {
        fx.store->applyFileChanges(s, {ServerFixture::modifyRow(id, {{QStringLiteral("working_user"), holder}})});
    };
    const auto refusal = [&](const TQiraSession &s, const QVariant &holder) {
        try {
            take(s, holder);
        } catch (const EQiraLockError &e) {
            return e.message();
        }
        return QString();
    };
    take(fx.user, QStringLiteral("user"));
    const QDateTime taken = fx.fileValue(id, QStringLiteral("date_working")).toDateTime();
    QVERIFY(taken.isValid());
    take(fx.user, QStringLiteral("user")); // already mine: no change, no error
    QCOMPARE(fx.fileValue(id, QStringLiteral("date_working")).toDateTime(), taken);

    const QString before = fx.snapshot();
    QCOMPARE(refusal(fx.other, QStringLiteral("other")), QStringLiteral("Внимание! Файл уже взят на работу пользователем user!"));
    QCOMPARE(refusal(fx.other, QVariant()), QStringLiteral("Данный файл взят в работу другим пользователем (user)! Операция отменена."));
    QVERIFY(refusal(fx.other, QStringLiteral("user")).contains(QStringLiteral("только на себя")));
    QCOMPARE(fx.snapshot(), before);
    // Nobody else may check a new version in while the holder works on it.
    QVERIFY_THROWS_EXCEPTION(EQiraLockError, fx.upload(fx.other, id, "theirs"));
    QCOMPARE(fx.snapshot(), before);

    // The holder's check-in records the version and releases the file.
    fx.upload(fx.user, id, "new content");
    QCOMPARE(fx.fileValue(id, QStringLiteral("working_user")), QVariant());
    QCOMPARE(fx.fileValue(id, QStringLiteral("count_history")).toLongLong(), qint64(1));

    take(fx.other, QStringLiteral("other"));
    QVERIFY(!refusal(fx.user, QVariant()).isEmpty());
    take(fx.admin, QVariant()); // an administrator may release anybody's file
    QCOMPARE(fx.fileValue(id, QStringLiteral("working_user")), QVariant());
    take(fx.user, QStringLiteral("user"));
    take(fx.user, QString());
    QCOMPARE(fx.fileValue(id, QStringLiteral("working_user")), QVariant());
}

void TestSqlStore::racingForOneFile()
{
    ServerFixture fx;
    const QString b = fx.branch(QStringLiteral("B"));
    fx.grant(b, QString(), QStringLiteral("2"), QStringLiteral("rtree,rfile,wfile"));
    const QString id = fx.file(b, QStringLiteral("doc"));
    for (int round = 0; round < 20; ++round) {
        std::latch start(2);
        QAtomicInt wins;
        QAtomicInt refusals;
        QString winner[2];
        const auto contender = [&](int i, const TQiraSession &s) {
            return QThread::create([&, i, s]() {
                start.arrive_and_wait();
                try {
                    fx.store->applyFileChanges(s, {ServerFixture::modifyRow(id, {{QStringLiteral("working_user"), s.login}})});
                    wins.fetchAndAddOrdered(1);
                    winner[i] = s.login;
                } catch (const EQiraLockError &) {
                    refusals.fetchAndAddOrdered(1);
                }
            });
        };
        std::unique_ptr<QThread> t1(contender(0, fx.user));
        std::unique_ptr<QThread> t2(contender(1, fx.other));
        t1->start();
        t2->start();
        QVERIFY(t1->wait(30000));
        QVERIFY(t2->wait(30000));
        QCOMPARE(wins.loadRelaxed(), 1);
        QCOMPARE(refusals.loadRelaxed(), 1);
        QCOMPARE(fx.fileValue(id, QStringLiteral("working_user")).toString(), winner[0] + winner[1]);
        fx.store->applyFileChanges(fx.admin, {ServerFixture::modifyRow(id, {{QStringLiteral("working_user"), QVariant()}})});
    }
}

void TestSqlStore::serverManagedColumnsIgnored()
{
    ServerFixture fx;
    const QString b = fx.branch(QStringLiteral("B"));
    const QString id = fx.file(b, QStringLiteral("doc"),
                               {{QStringLiteral("md5_file"), QStringLiteral("forged")},
                                {QStringLiteral("count_history"), 99},
                                {QStringLiteral("usercreate"), QStringLiteral("someone")},
                                {QStringLiteral("ordnum"), 12345}});
    QVERIFY(fx.fileValue(id, QStringLiteral("md5_file")).isNull());
    QCOMPARE(fx.fileValue(id, QStringLiteral("count_history")).toLongLong(), qint64(0));
    QCOMPARE(fx.fileValue(id, QStringLiteral("usercreate")).toString(), QStringLiteral("admin"));
    QVERIFY(fx.fileValue(id, QStringLiteral("ordnum")).toInt() != 12345);
    fx.upload(fx.admin, id, "abc");
    fx.store->applyFileChanges(fx.admin, {ServerFixture::modifyRow(id, {{QStringLiteral("md5_file"), QStringLiteral("x")},
                                                                        {QStringLiteral("size_file"), 1e6},
                                                                        {QStringLiteral("datecreate"), QDateTime(QDate(2000, 1, 1), QTime())}})});
    QCOMPARE(fx.fileValue(id, QStringLiteral("md5_file")).toString(), ServerFixture::md5("abc"));
    QVERIFY(fx.fileValue(id, QStringLiteral("size_file")).toDouble() < 1.0);
    QVERIFY(fx.fileValue(id, QStringLiteral("datecreate")).toDateTime().date().year() > 2000);
}

void TestSqlStore::repeatedChangeLogIsAccepted()
{
    ServerFixture fx;
    const QString b = fx.branch(QStringLiteral("B"));
    const TQiraRowChange insert = ServerFixture::insertRow({{QStringLiteral("fileid"), QStringLiteral("f1")},
                                                            {QStringLiteral("treeid"), b},
                                                            {QStringLiteral("filename"), QStringLiteral("doc")}});
    fx.store->applyFileChanges(fx.admin, {insert});
    fx.store->applyFileChanges(fx.admin, {insert, ServerFixture::insertRow({{QStringLiteral("fileid"), QStringLiteral("f2")},
                                                                           {QStringLiteral("treeid"), b},
                                                                           {QStringLiteral("filename"), QStringLiteral("doc2")}})});
    QCOMPARE(fx.store->countFiles(fx.admin, ServerFixture::listOf(b)).rows, qint64(2));
    const TQiraRowChange role = ServerFixture::insertRow({{QStringLiteral("roleid"), QStringLiteral("r9")},
                                                          {QStringLiteral("rolename"), QStringLiteral("Гости")}});
    fx.store->applyRoleChanges(fx.admin, {role});
    fx.store->applyRoleChanges(fx.admin, {role});
    QCOMPARE(fx.store->roles(fx.admin).rows.size(), 4);
    // A stream with one bad row applies nothing.
    const QString before = fx.snapshot();
    QVERIFY_THROWS_EXCEPTION(EQiraRequestError,
                             fx.store->applyFileChanges(fx.admin, {ServerFixture::insertRow({{QStringLiteral("fileid"), QStringLiteral("f3")},
                                                                                             {QStringLiteral("treeid"), b}}),
                                                                   ServerFixture::insertRow({{QStringLiteral("fileid"), QStringLiteral("f4")},
                                                                                             {QStringLiteral("treeid"), QStringLiteral("nowhere")}})}));
    QCOMPARE(fx.snapshot(), before);
}

void TestSqlStore::clientFileNameStaysInside()
{
    ServerFixture fx;
    const QString a = fx.branch(QStringLiteral(".."));
    const QString b = fx.branch(QStringLiteral("C:\\Windows"), a);
    const QString c = fx.branch(QStringLiteral("/etc"), b);
    const QString id = fx.file(c, QStringLiteral("../../passwd"), {{QStringLiteral("fileext"), QStringLiteral("")}});
    const QString name = fx.store->clientFileName(fx.admin, id);
    QCOMPARE(name, QStringLiteral("_\\C__Windows\\_etc\\.._.._passwd"));
    for (const QString &part : name.split(u'\\')) {
        QVERIFY(part != QStringLiteral("..") && part != QStringLiteral(".") && !part.isEmpty());
        QVERIFY(!part.contains(u'/') && !part.contains(u':'));
    }
    const QString con = fx.file(fx.branch(QStringLiteral("NUL")), QStringLiteral("con"), {{QStringLiteral("fileext"), QStringLiteral("txt")}});
    QCOMPARE(fx.store->clientFileName(fx.admin, con), QStringLiteral("_NUL\\_con.txt"));
}

void TestSqlStore::sqlTexts()
{
    ServerFixture fx;
    for (const char *name : {"iqFiles", "iqUsers", "iqRoles", "iqTreeright", "iqHistory"})
        QVERIFY2(fx.store->sqlText(QString::fromLatin1(name)).startsWith(QStringLiteral("SELECT")), name);
    QCOMPARE(fx.store->sqlText(QStringLiteral("iqUnknown")), QString());
    QVERIFY(!fx.store->sqlText(QStringLiteral("iqUsers")).contains(QStringLiteral("pw_")));
}

QTEST_GUILESS_MAIN(TestSqlStore)
#include "tst_sqlstore.moc"
