#include "serverfixture.h"

#include <QRandomGenerator>

class TestTransfer : public QObject
{
    Q_OBJECT

private slots:
    void sizesByteForByte_data();
    void sizesByteForByte();
    void versionsAndHistory();
    void mismatchRecordsNothing_data();
    void mismatchRecordsNothing();
    void partRangeBounds();
    void orphanContentCollectedAtOpen();
};

void TestTransfer::sizesByteForByte_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("uploadCalls");
    QTest::addColumn<int>("downloadCalls");
    QTest::newRow("0") << qint64(0) << 0 << 0;
    QTest::newRow("1") << qint64(1) << 1 << 1;
    QTest::newRow("1048576") << qint64(1048576) << 1 << 1;
    QTest::newRow("1048577") << qint64(1048577) << 1 << 2;
    QTest::newRow("2097152") << qint64(2097152) << 1 << 2;
    QTest::newRow("10485760") << qint64(10485760) << 1 << 10;
    QTest::newRow("10485761") << qint64(10485761) << 2 << 11;
    QTest::newRow("25 MiB") << qint64(26214400) << 3 << 25;
}

void TestTransfer::sizesByteForByte()
{
    QFETCH(qint64, size);
    QFETCH(int, uploadCalls);
    QFETCH(int, downloadCalls);
    ServerFixture fx;
    const QString id = fx.file(fx.branch(QStringLiteral("B")), QStringLiteral("big"));
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random{quint32(size)};
    for (qsizetype i = 0; i + 4 <= bytes.size(); i += 4) {
        const quint32 v = random.generate();
        memcpy(bytes.data() + i, &v, 4);
    }
    QCOMPARE(fx.upload(fx.admin, id, bytes), uploadCalls);
    QCOMPARE(fx.store->fileSize(fx.admin, id), size);
    int calls = 0;
    const QByteArray back = fx.download(fx.admin, id, &calls);
    QCOMPARE(calls, downloadCalls);
    QCOMPARE(back.size(), bytes.size());
    QVERIFY(back == bytes);
    QCOMPARE(fx.fileValue(id, QStringLiteral("md5_file")).toString(), ServerFixture::md5(bytes));
    QCOMPARE(fx.fileValue(id, QStringLiteral("size_file")).toDouble(), std::round(double(size) / 1024.0 * 1000.0) / 1000.0);
    QVERIFY(fx.tempFiles().isEmpty());
}

void TestTransfer::versionsAndHistory()
{
    ServerFixture fx;
    const QString id = fx.file(fx.branch(QStringLiteral("B")), QStringLiteral("doc"));
    QCOMPARE(fx.store->fileSize(fx.admin, id), qint64(0));
    QVERIFY_THROWS_EXCEPTION(EQiraRequestError, fx.store->serverFileName(fx.admin, id, true));
    QCOMPARE(fx.store->serverFileName(fx.admin, id, false), QString());
    fx.upload(fx.admin, id, "first");
    fx.store->setPreview(fx.admin, id, "old picture");
    fx.upload(fx.admin, id, "second version");
    const TQiraRowSet history = fx.store->history(fx.admin, id);
    QCOMPARE(history.tableName, QStringLiteral("iqHistory"));
    QCOMPARE(history.rows.size(), 2);
    QCOMPARE(history.value(0, QStringLiteral("ordnum")).toLongLong(), qint64(1));
    QCOMPARE(history.value(1, QStringLiteral("md5_file")).toString(), ServerFixture::md5("second version"));
    QCOMPARE(history.value(1, QStringLiteral("usercreate")).toString(), QStringLiteral("admin"));
    QCOMPARE(fx.fileValue(id, QStringLiteral("count_history")).toLongLong(), qint64(2));
    QCOMPARE(fx.download(fx.admin, id), QByteArray("second version"));
    const QString server = fx.store->serverFileName(fx.admin, id, true);
    QVERIFY(server.startsWith(QStringLiteral("content/")));
    QVERIFY(QFile::exists(fx.dataDir() + u'/' + server));
    // The preview of the version before is gone with it.
    TQiraFilter f;
    f.FileID = id;
    f.IsPreview = true;
    QVERIFY(fx.store->files(fx.admin, f, QStringLiteral("iqFiles")).value(0, QStringLiteral("blob_pic")).isNull());
    // Both versions' bytes stay on disk.
    QCOMPARE(fx.store->content().keys().size(), 2);
}

void TestTransfer::mismatchRecordsNothing_data()
{
    QTest::addColumn<QString>("md5");
    QTest::addColumn<double>("size");
    QTest::addColumn<bool>("openBracket");
    QTest::addColumn<QString>("reason");
    const QString good = ServerFixture::md5("new bytes");
    QTest::newRow("digest differs") << ServerFixture::md5("other bytes") << 9.0 << true << "MD5 полученного содержимого";
    QTest::newRow("size differs") << good << 10.0 << true << "не совпадает с размером";
    QTest::newRow("local file missing") << good << -1.0 << true << "не найден у клиента";
    QTest::newRow("no NewChange") << good << 9.0 << false << "не было начато";
    QTest::newRow("digest not hexadecimal") << QStringLiteral("zz") << 9.0 << true << "32 шестнадцатеричных";
}

void TestTransfer::mismatchRecordsNothing()
{
    QFETCH(QString, md5);
    QFETCH(double, size);
    QFETCH(bool, openBracket);
    QFETCH(QString, reason);
    ServerFixture fx;
    const QString b = fx.branch(QStringLiteral("B"));
    fx.grant(b, QStringLiteral("user"), QString(), QStringLiteral("rtree,rfile,wfile"));
    const QString id = fx.file(b, QStringLiteral("doc"));
    fx.upload(fx.admin, id, "old bytes");
    fx.store->applyFileChanges(fx.user, {ServerFixture::modifyRow(id, {{QStringLiteral("working_user"), QStringLiteral("user")}})});
    const QString before = fx.snapshot();

    auto up = fx.store->newUpload();
    TQiraHistoryInfo info = UploadHistoryInfo(id, md5, 0);
    info.size_file = size;
    if (openBracket)
        fx.store->beginChange(fx.user, *up, info);
    fx.store->putChunk(fx.user, *up, id, "new bytes", 9, QStringLiteral("Start"));
    try {
        fx.store->endChange(fx.user, *up, info);
        QFAIL("recorded");
    } catch (const EQiraRequestError &e) {
        QVERIFY2(e.message().contains(reason), qPrintable(e.message()));
    }
    QCOMPARE(fx.snapshot(), before);
    QCOMPARE(fx.download(fx.user, id), QByteArray("old bytes"));
    QCOMPARE(fx.fileValue(id, QStringLiteral("working_user")).toString(), QStringLiteral("user"));
    QVERIFY(fx.tempFiles().isEmpty());
}

void TestTransfer::partRangeBounds()
{
    ServerFixture fx;
    const QString id = fx.file(fx.branch(QStringLiteral("B")), QStringLiteral("doc"));
    fx.upload(fx.admin, id, "0123456789");
    QCOMPARE(fx.store->readFilePart(fx.admin, id, 0, 10), QByteArray("0123456789"));
    QCOMPARE(fx.store->readFilePart(fx.admin, id, 11, 20), QByteArray());
    QVERIFY_THROWS_EXCEPTION(EQiraRequestError, fx.store->readFilePart(fx.admin, id, -1, 5));
    QVERIFY_THROWS_EXCEPTION(EQiraRequestError, fx.store->readFilePart(fx.admin, id, 0, qint64(1) << 40));
    QVERIFY_THROWS_EXCEPTION(EQiraRequestError, fx.store->readFilePart(fx.admin, QStringLiteral("missing"), 0, 5));
}

void TestTransfer::orphanContentCollectedAtOpen()
{
    ServerFixture fx;
    const QString id = fx.file(fx.branch(QStringLiteral("B")), QStringLiteral("doc"));
    fx.upload(fx.admin, id, "recorded");
    // Bytes placed by a write whose transaction never committed.
    TQiraContentStore content(fx.dataDir());
    const QString orphan = content.put("never recorded");
    QVERIFY(content.contains(orphan));
    fx.reopen();
    QVERIFY(!content.contains(orphan));
    QCOMPARE(fx.download(fx.admin, id), QByteArray("recorded"));
}

QTEST_GUILESS_MAIN(TestTransfer)
#include "tst_transfer.moc"
