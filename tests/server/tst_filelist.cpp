#include "qirafilecatalog.h"
#include "serverfixture.h"

#include <limits>

class TestFileList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void clientFilters_data();
    void clientFilters();
    void injectionRefusedAndHarmless_data();
    void injectionRefusedAndHarmless();
    void paging_data();
    void paging();
    void countsAndSizes();
    void deletedAndRecursive();
    void recursionHonoursRights();
    void oneFileWhateverThePage();
    void previews();
    void requestBounds_data();
    void requestBounds();
    void indexServesEveryList_data();
    void indexServesEveryList();

private:
    std::unique_ptr<ServerFixture> m_fx;
    QString m_filterBranch;
    QString m_pageBranch;
    QString m_subBranch;
};

void TestFileList::initTestCase()
{
    m_fx = std::make_unique<ServerFixture>();
    ServerFixture &fx = *m_fx;
    m_filterBranch = fx.branch(QStringLiteral("Фильтры"));
    const auto add = [&](const QString &name, const QVariantMap &values) { fx.file(m_filterBranch, name, values); };
    add(QStringLiteral("Акт приемки"), {{QStringLiteral("fileext"), QStringLiteral("pdf")},
                                        {QStringLiteral("docn"), QStringLiteral("15")},
                                        {QStringLiteral("docdate"), QDateTime(QDate(2024, 3, 5), QTime(14, 30))},
                                        {QStringLiteral("sumdoc"), 12.5},
                                        {QStringLiteral("comment_file"), QStringLiteral("от O'Brien")}});
    add(QStringLiteral("Счет 50%"), {{QStringLiteral("fileext"), QStringLiteral("txt")},
                                     {QStringLiteral("docn"), QStringLiteral("30")},
                                     {QStringLiteral("docdate"), QDateTime(QDate(2024, 3, 6), QTime(0, 0))},
                                     {QStringLiteral("sumdoc"), 100.0}});
    add(QStringLiteral("Счет 500"), {{QStringLiteral("fileext"), QStringLiteral("txt")},
                                     {QStringLiteral("docn"), QStringLiteral("9")},
                                     {QStringLiteral("docdate"), QDateTime(QDate(2023, 12, 31), QTime(23, 59))},
                                     {QStringLiteral("sumdoc"), 1000000.0}});
    add(QStringLiteral("plan_a"), {{QStringLiteral("comment_file"), QStringLiteral("draft")}});
    add(QStringLiteral("planXa"), {});

    m_pageBranch = fx.branch(QStringLiteral("Страницы"));
    m_subBranch = fx.branch(QStringLiteral("Вложенная"), m_pageBranch);
    QList<TQiraRowChange> rows;
    for (int i = 0; i < 120; ++i)
        rows.append(ServerFixture::insertRow({{QStringLiteral("fileid"), QStringLiteral("p%1").arg(i, 3, 10, QLatin1Char('0'))},
                                              {QStringLiteral("treeid"), m_pageBranch},
                                              {QStringLiteral("filename"), QStringLiteral("f%1").arg(i, 3, 10, QLatin1Char('0'))},
                                              {QStringLiteral("sumdoc"), double(i % 7)},
                                              {QStringLiteral("del"), i % 12 == 0 ? 1 : 0}}));
    for (int i = 0; i < 5; ++i)
        rows.append(ServerFixture::insertRow({{QStringLiteral("fileid"), QStringLiteral("s%1").arg(i)},
                                              {QStringLiteral("treeid"), m_subBranch},
                                              {QStringLiteral("filename"), QStringLiteral("sub%1").arg(i)}}));
    fx.store->applyFileChanges(fx.admin, rows);
    fx.upload(fx.admin, QStringLiteral("p001"), QByteArray(2048, 'x'));
    fx.upload(fx.admin, QStringLiteral("p002"), QByteArray(512, 'y'));
}

void TestFileList::cleanupTestCase() { m_fx.reset(); }

void TestFileList::clientFilters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");
    const auto build = [](auto fill) {
        QString clause;
        fill(clause);
        return clause;
    };
    QTest::newRow("none") << QString()
                          << QStringList{"planXa", "plan_a", "Акт приемки", "Счет 50%", "Счет 500"};
    QTest::newRow("contains") << build([](QString &c) { AddWhereLike(QStringLiteral("f.filename"), QStringLiteral("Счет"), c); })
                              << QStringList{"Счет 50%", "Счет 500"};
    QTest::newRow("percent is literal") << build([](QString &c) { AddWhereLike(QStringLiteral("f.filename"), QStringLiteral("50%"), c); })
                                        << QStringList{"Счет 50%"};
    QTest::newRow("underscore is literal") << build([](QString &c) { AddWhereLike(QStringLiteral("f.filename"), QStringLiteral("plan_"), c); })
                                           << QStringList{"plan_a"};
    QTest::newRow("equal") << build([](QString &c) { AddWhere(QStringLiteral("f.fileext"), QStringLiteral("pdf"), c, QStringLiteral("=")); })
                           << QStringList{"Акт приемки"};
    QTest::newRow("quote in value") << build([](QString &c) { AddWhereLike(QStringLiteral("f.comment_file"), QStringLiteral("O'Brien"), c); })
                                    << QStringList{"Акт приемки"};
    QTest::newRow("text range") << build([](QString &c) { AddWhereRange(QStringLiteral("f.docn"), QStringLiteral("15"), QStringLiteral("30"), c); })
                                << QStringList{"Акт приемки", "Счет 50%"};
    QTest::newRow("number range") << build([](QString &c) { AddWhereValueRange(QStringLiteral("f.sumdoc"), 12.5, 100, c); })
                                  << QStringList{"Акт приемки", "Счет 50%"};
    QTest::newRow("number with comma") << QStringLiteral("(f.sumdoc>=12,6)") << QStringList{"Счет 50%", "Счет 500"};
    QTest::newRow("number in exponent form")
        << build([](QString &c) { AddWhereValue(QStringLiteral("f.sumdoc"), 1000000.0, c, QStringLiteral(">=")); })
        << QStringList{"Счет 500"};
    QTest::newRow("date from") << build([](QString &c) { AddWhereDate(QStringLiteral("f.docdate"), QDate(2024, 3, 5), c, QStringLiteral(">=")); })
                               << QStringList{"Акт приемки", "Счет 50%"};
    QTest::newRow("date to takes in the whole day")
        << build([](QString &c) { AddWhereDate(QStringLiteral("f.docdate"), QDate(2024, 3, 5), c, QStringLiteral("<=")); })
        << QStringList{"Акт приемки", "Счет 500"};
    QTest::newRow("date range")
        << build([](QString &c) { AddWhereDateRange(QStringLiteral("f.docdate"), QDate(2024, 1, 1), QDate(2024, 12, 31), c); })
        << QStringList{"Акт приемки", "Счет 50%"};
    QTest::newRow("created by")
        << build([](QString &c) {
               AddWhereLike(QStringLiteral("f.usercreate"), QStringLiteral("admin"), c);
               AddWhereDate(QStringLiteral("f.datecreate"), QDate::currentDate(), c, QStringLiteral("<="));
               AddWhereDate(QStringLiteral("f.dateupdate"), QDate(2000, 1, 1), c, QStringLiteral(">="));
               AddWhereLike(QStringLiteral("f.filename"), QStringLiteral("Акт"), c);
           })
        << QStringList{"Акт приемки"};
    QTest::newRow("nothing matches") << build([](QString &c) { AddWhereLike(QStringLiteral("f.working_user"), QStringLiteral("x"), c); })
                                     << QStringList{};
}

void TestFileList::clientFilters()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    TQiraFilter f = ServerFixture::listOf(m_filterBranch);
    f.filter = filter;
    QCOMPARE(ServerFixture::names(m_fx->store->files(m_fx->admin, f, QStringLiteral("iqFiles"))), expected);
    QCOMPARE(m_fx->store->countFiles(m_fx->admin, f).rows, qint64(expected.size()));
}

void TestFileList::injectionRefusedAndHarmless_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("order");
    QTest::newRow("drop after a term") << QStringLiteral("(f.filename='x');DROP TABLE files") << QStringLiteral("f.filename");
    QTest::newRow("quote breaking out") << QStringLiteral("(f.filename='x' OR '1'='1')") << QString();
    QTest::newRow("comment") << QStringLiteral("(f.filename='x')--") << QString();
    QTest::newRow("sub-query") << QStringLiteral("(f.fileid=(SELECT user_id FROM users))") << QString();
    QTest::newRow("unknown column") << QStringLiteral("(f.pw_hash='x')") << QString();
    QTest::newRow("order with a statement") << QString() << QStringLiteral("f.filename; DELETE FROM files");
    QTest::newRow("order by expression") << QString() << QStringLiteral("(SELECT 1)");
}

void TestFileList::injectionRefusedAndHarmless()
{
    QFETCH(QString, filter);
    QFETCH(QString, order);
    const QString before = m_fx->snapshot();
    TQiraFilter f = ServerFixture::listOf(m_filterBranch, 50, order);
    f.filter = filter;
    QVERIFY_THROWS_EXCEPTION(EQiraRequestError, m_fx->store->files(m_fx->admin, f, QStringLiteral("iqFiles")));
    QVERIFY_THROWS_EXCEPTION(EQiraRequestError, m_fx->store->countFiles(m_fx->admin, f));
    QCOMPARE(m_fx->snapshot(), before);
}

void TestFileList::paging_data()
{
    QTest::addColumn<qint64>("page");
    QTest::addColumn<qint64>("rows");
    QTest::addColumn<QString>("order");
    QTest::addColumn<QString>("first");
    QTest::addColumn<int>("count");
    // 110 live files f001…f119 (every twelfth is deleted).
    QTest::newRow("first page") << qint64(0) << qint64(50) << "f.filename" << "f001" << 50;
    QTest::newRow("last page") << qint64(2) << qint64(50) << "f.filename" << "f110" << 10;
    QTest::newRow("beyond the end") << qint64(3) << qint64(50) << "f.filename" << "" << 0;
    QTest::newRow("descending") << qint64(0) << qint64(3) << "f.filename desc" << "f119" << 3;
    QTest::newRow("server order") << qint64(1) << qint64(10) << "" << "f011" << 10;
    QTest::newRow("two keys") << qint64(0) << qint64(5) << "f.sumdoc desc, f.filename" << "f006" << 5;
    QTest::newRow("one row per page") << qint64(109) << qint64(1) << "f.filename" << "f119" << 1;
}

void TestFileList::paging()
{
    QFETCH(qint64, page);
    QFETCH(qint64, rows);
    QFETCH(QString, order);
    QFETCH(QString, first);
    QFETCH(int, count);
    TQiraFilter f = ServerFixture::listOf(m_pageBranch, rows, order);
    f.CurrentPage = page;
    const QStringList names = ServerFixture::names(m_fx->store->files(m_fx->admin, f, QStringLiteral("iqFiles")));
    QCOMPARE(names.size(), count);
    if (count)
        QCOMPARE(names.first(), first);
}

void TestFileList::countsAndSizes()
{
    const TQiraFileCount count = m_fx->store->countFiles(m_fx->admin, ServerFixture::listOf(m_pageBranch));
    QCOMPARE(count.rows, qint64(110));
    QCOMPARE(count.totalKb, 2.5); // 2048 + 512 bytes
    TQiraFilter f = ServerFixture::listOf(m_pageBranch, 1000);
    QCOMPARE(m_fx->store->files(m_fx->admin, f, QStringLiteral("iqFiles")).rows.size(), 110);
}

void TestFileList::deletedAndRecursive()
{
    TQiraFilter f = ServerFixture::listOf(m_pageBranch, 1000);
    f.IsShowDel = true;
    QCOMPARE(m_fx->store->countFiles(m_fx->admin, f).rows, qint64(120));
    f.IsRecursive = true;
    QCOMPARE(m_fx->store->countFiles(m_fx->admin, f).rows, qint64(125));
    QCOMPARE(m_fx->store->files(m_fx->admin, f, QStringLiteral("iqFiles")).rows.size(), 125);
    f.IsShowDel = false;
    QCOMPARE(m_fx->store->countFiles(m_fx->admin, f).rows, qint64(115));
    f.TreeID = m_subBranch;
    QCOMPARE(m_fx->store->countFiles(m_fx->admin, f).rows, qint64(5));
    TQiraFilter all = ServerFixture::listOf(QStringLiteral("ignored"), 1000);
    all.IsShowAll = true;
    QCOMPARE(m_fx->store->countFiles(m_fx->admin, all).rows, qint64(120));
    all.TreeID.clear();
    all.IsShowAll = false;
    QCOMPARE(m_fx->store->countFiles(m_fx->admin, all).rows, qint64(120));
}

void TestFileList::recursionHonoursRights()
{
    ServerFixture fx;
    const QString top = fx.branch(QStringLiteral("top"));
    const QString closed = fx.branch(QStringLiteral("closed"), top);
    const QString reopened = fx.branch(QStringLiteral("reopened"), closed);
    const QString sibling = fx.branch(QStringLiteral("sibling"), top);
    fx.grant(closed, QStringLiteral("other"), QString(), QStringLiteral("rtree,rfile"));
    fx.grant(reopened, QStringLiteral("user"), QString(), QStringLiteral("rtree,rfile"));
    fx.file(top, QStringLiteral("t"));
    fx.file(closed, QStringLiteral("c"));
    fx.file(reopened, QStringLiteral("r"));
    fx.file(sibling, QStringLiteral("s"));
    TQiraFilter f = ServerFixture::listOf(top);
    f.IsRecursive = true;
    QCOMPARE(ServerFixture::names(fx.store->files(fx.user, f, QStringLiteral("iqFiles"))), (QStringList{"r", "s", "t"}));
    QCOMPARE(fx.store->countFiles(fx.user, f).rows, qint64(3));
    QCOMPARE(ServerFixture::names(fx.store->files(fx.other, f, QStringLiteral("iqFiles"))), (QStringList{"c", "s", "t"}));
    TQiraFilter all = ServerFixture::listOf(QString());
    all.IsShowAll = true;
    QCOMPARE(ServerFixture::names(fx.store->files(fx.user, all, QStringLiteral("iqFiles"))), (QStringList{"r", "s", "t"}));
    QCOMPARE(fx.store->countFiles(fx.admin, all).rows, qint64(4));
}

void TestFileList::oneFileWhateverThePage()
{
    TQiraFilter f = ServerFixture::listOf(m_subBranch, 1000);
    f.FileID = QStringLiteral("p005");
    f.CurrentPage = 3;
    const TQiraRowSet set = m_fx->store->files(m_fx->admin, f, QStringLiteral("iqFileList"));
    QCOMPARE(set.tableName, QStringLiteral("iqFileList"));
    QCOMPARE(ServerFixture::names(set), QStringList{QStringLiteral("f005")});
    f.FileID = QStringLiteral("missing");
    QVERIFY(m_fx->store->files(m_fx->admin, f, QStringLiteral("iqFileList")).rows.isEmpty());
}

void TestFileList::previews()
{
    m_fx->store->setPreview(m_fx->admin, QStringLiteral("p001"), "picture");
    TQiraFilter f = ServerFixture::listOf(m_pageBranch, 2);
    QCOMPARE(m_fx->store->files(m_fx->admin, f, QStringLiteral("iqFiles")).columnIndex(QStringLiteral("blob_pic")), -1);
    f.IsPreview = true;
    const TQiraRowSet set = m_fx->store->files(m_fx->admin, f, QStringLiteral("iqFiles"));
    QCOMPARE(set.value(0, QStringLiteral("blob_pic")).toByteArray(), QByteArray("picture"));
    QVERIFY(set.value(1, QStringLiteral("blob_pic")).isNull());
    QCOMPARE(set.columns.at(set.columnIndex(QStringLiteral("blob_pic"))).type, TQiraColumnType::Blob);
}

void TestFileList::requestBounds_data()
{
    QTest::addColumn<qint64>("page");
    QTest::addColumn<qint64>("rows");
    QTest::addColumn<QString>("treeId");
    QTest::newRow("no rows per page") << qint64(0) << qint64(0) << "";
    QTest::newRow("above the bound") << qint64(0) << qint64(500001) << "";
    QTest::newRow("negative page") << qint64(-1) << qint64(50) << "";
    QTest::newRow("offset overflows") << std::numeric_limits<qint64>::max() / 1000 << qint64(500000) << "";
    QTest::newRow("unknown branch") << qint64(0) << qint64(50) << "nowhere";
}

void TestFileList::requestBounds()
{
    QFETCH(qint64, page);
    QFETCH(qint64, rows);
    QFETCH(QString, treeId);
    TQiraFilter f = ServerFixture::listOf(treeId.isEmpty() ? m_pageBranch : treeId, rows);
    f.CurrentPage = page;
    QVERIFY_THROWS_EXCEPTION(EQiraRequestError, m_fx->store->files(m_fx->admin, f, QStringLiteral("iqFiles")));
}

// The page query reads one index in the requested order: no sorting of the scope
// beyond the page itself, and the deletion mark and scope decided inside the index.
void TestFileList::indexServesEveryList_data()
{
    QTest::addColumn<QString>("order");
    QTest::addColumn<QString>("scope");
    QTest::addColumn<bool>("showDeleted");
    for (const TQiraFileCatalog::Entry &e : TQiraFileCatalog::entries()) {
        if (!e.sortable)
            continue;
        for (const char *scope : {"branch", "all"})
            for (bool del : {false, true})
                for (const char *dir : {"", " desc"})
                    QTest::addRow("%s%s %s%s", qPrintable(e.column.name), dir, scope, del ? " with deleted" : "")
                        << QStringLiteral("f.") + e.column.name + QString::fromLatin1(dir) << QString::fromLatin1(scope) << del;
    }
    QTest::newRow("recursive") << QStringLiteral("f.filename") << QStringLiteral("recursive") << false;
}

void TestFileList::indexServesEveryList()
{
    QFETCH(QString, order);
    QFETCH(QString, scope);
    QFETCH(bool, showDeleted);
    TQiraFilter f = ServerFixture::listOf(m_pageBranch, 50, order);
    f.IsShowDel = showDeleted;
    f.IsShowAll = scope == QStringLiteral("all");
    f.IsRecursive = scope == QStringLiteral("recursive");
    const QStringList plan = m_fx->store->listPlan(m_fx->user, f);
    const QString text = plan.join(u'\n');
    if (StoreBackend::onPostgres()) {
        // PostgreSQL chooses its plan from statistics, and a table this small is read whole.
        QVERIFY2(!plan.isEmpty(), "no plan");
        QSKIP("the index choice is checked on SQLite, whose plan does not depend on table size");
    }
    const QString column = order.section(u' ', 0, 0).mid(2);
    const QString index = (scope == QStringLiteral("all") ? QStringLiteral("files_a_") : QStringLiteral("files_b_")) + column;
    QVERIFY2(text.contains(QStringLiteral("COVERING INDEX ") + index), qPrintable(text));
    // The outer query may sort the page's rows; inside, only a subtree sorts its range.
    bool innerSort = false;
    for (const QString &line : plan)
        innerSort |= line.startsWith(u' ') && line.contains(QStringLiteral("TEMP B-TREE"));
    QVERIFY2(innerSort == (scope == QStringLiteral("recursive")), qPrintable(text));
}

QTEST_GUILESS_MAIN(TestFileList)
#include "tst_filelist.moc"
