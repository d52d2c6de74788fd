#include "qiracontentstore.h"
#include "qiraerrors.h"
#include "qiraupload.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestContentStore : public QObject
{
    Q_OBJECT

private slots:
    void commitMovesTempIntoPlace();
    void leftoversRemovedAtOpen();
    void readIsInclusiveAndCut_data();
    void readIsInclusiveAndCut();
    void uploadKeepsChunksOnDisk();
    void uploadRefusals_data();
    void uploadRefusals();
};

void TestContentStore::commitMovesTempIntoPlace()
{
    QTemporaryDir dir;
    TQiraContentStore store(dir.path());
    store.open();
    const QByteArray bytes("version one");
    const QString key = store.put(bytes);
    QCOMPARE(key, TQiraContentStore::keyOf(bytes));
    QVERIFY(store.pathOf(key).startsWith(store.contentDir() + u'/' + key.left(2) + u'/'));
    QCOMPARE(store.read(key, 0, 100), bytes);
    QVERIFY(QDir(store.tempDir()).isEmpty());

    // The same bytes again: the stored file stays as it is and the temporary one goes.
    const QString temp = store.newTempPath(QStringLiteral("again"));
    QFile file(temp);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    store.commit(temp, key);
    QVERIFY(!QFile::exists(temp));
    QCOMPARE(store.keys(), QStringList{key});
    QCOMPARE(store.pathOf(QStringLiteral("../../etc/passwd")), QString());
}

void TestContentStore::leftoversRemovedAtOpen()
{
    QTemporaryDir dir;
    TQiraContentStore store(dir.path());
    store.open();
    const QString key = store.put("kept");
    // What a crash in the middle of a write leaves behind.
    QFile leftover(store.newTempPath(QStringLiteral("upload")));
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.write("half a file");
    leftover.close();
    TQiraContentStore reopened(dir.path());
    reopened.open();
    QVERIFY(QDir(reopened.tempDir()).isEmpty());
    QCOMPARE(reopened.read(key, 0, 10), QByteArray("kept"));
}

void TestContentStore::readIsInclusiveAndCut_data()
{
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("whole, to = size") << qint64(0) << qint64(10) << QByteArray("0123456789");
    QTest::newRow("inclusive") << qint64(2) << qint64(4) << QByteArray("234");
    QTest::newRow("one byte") << qint64(9) << qint64(9) << QByteArray("9");
    QTest::newRow("past the end") << qint64(10) << qint64(10) << QByteArray();
    QTest::newRow("reversed") << qint64(5) << qint64(4) << QByteArray();
}

void TestContentStore::readIsInclusiveAndCut()
{
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(QByteArray, expected);
    QTemporaryDir dir;
    TQiraContentStore store(dir.path());
    store.open();
    QCOMPARE(store.read(store.put("0123456789"), from, to), expected);
}

void TestContentStore::uploadKeepsChunksOnDisk()
{
    QTemporaryDir dir;
    TQiraContentStore store(dir.path());
    store.open();
    {
        TQiraUpload upload(store.tempDir());
        QCOMPARE(upload.put(QStringLiteral("f"), QByteArray(1000, 'a'), 1500, QStringLiteral("Start")), qint64(1000));
        const QStringList temps = QDir(store.tempDir()).entryList(QDir::Files);
        QCOMPARE(temps.size(), 1);
        QCOMPARE(QFileInfo(store.tempDir() + u'/' + temps.first()).size(), qint64(1000));
        // "Start" again begins anew.
        QCOMPARE(upload.put(QStringLiteral("f"), QByteArray(700, 'b'), 1500, QStringLiteral("Start")), qint64(700));
        QCOMPARE(upload.put(QStringLiteral("f"), QByteArray(800, 'c'), 1500, QStringLiteral("End")), qint64(1500));
        QCOMPARE(QDir(store.tempDir()).entryList(QDir::Files).size(), 1);
        upload.put(QStringLiteral("g"), "x", 2, QStringLiteral("Start"));
    }
    QVERIFY2(QDir(store.tempDir()).isEmpty(), "a closed connection leaves no upload behind");
}

void TestContentStore::uploadRefusals_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("reason");
    QTest::newRow("process without start") << "" << "Process" << qint64(10) << "не начата";
    QTest::newRow("unknown status") << "" << "Begin" << qint64(10) << "Start, Process или End";
    QTest::newRow("more than declared") << "Start" << "Process" << qint64(12) << "больше байт";
    QTest::newRow("end short") << "Start" << "End" << qint64(30) << "получено 20 байт из 30";
}

void TestContentStore::uploadRefusals()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(qint64, size);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    TQiraContentStore store(dir.path());
    store.open();
    TQiraUpload upload(store.tempDir());
    if (!first.isEmpty())
        upload.put(QStringLiteral("f"), QByteArray(10, 'a'), size, first);
    try {
        upload.put(QStringLiteral("f"), QByteArray(10, 'b'), size, second);
        QFAIL("accepted");
    } catch (const EQiraRequestError &e) {
        QVERIFY2(e.message().contains(reason), qPrintable(e.message()));
    }
    QVERIFY(!upload.has(QStringLiteral("f")));
    QVERIFY(QDir(store.tempDir()).isEmpty());
}

QTEST_GUILESS_MAIN(TestContentStore)
#include "tst_contentstore.moc"
