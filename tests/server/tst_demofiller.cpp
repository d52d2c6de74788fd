#include "qirademofiller.h"
#include "qirasqlstore.h"
#include "storebackend.h"
#include "zxbase.h"

#include <QColor>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

class TestDemoFiller : public QObject
{
    Q_OBJECT

private slots:
    void picturesAreValid_data();
    void picturesAreValid();
    void pdfCrossReferenceIsExact();
    void fillsAFreshStoreOnce();
};

void TestDemoFiller::picturesAreValid_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("png") << TQiraDemoFiller::png(37, 21, 5) << QByteArray("PNG");
    QTest::newRow("bmp, padded rows") << TQiraDemoFiller::bmp(37, 21, 5) << QByteArray("BMP");
}

void TestDemoFiller::picturesAreValid()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, format);
    QImage image;
    QVERIFY(image.loadFromData(bytes, format.constData()));
    QCOMPARE(image.size(), QSize(37, 21));
    // Corners of the generated pattern: rows in the right order, channels in place.
    QCOMPARE(image.pixelColor(0, 0), QColor(185, 199, 9));
    QCOMPARE(image.pixelColor(36, 20), QColor(184, 198, 233));
}

void TestDemoFiller::pdfCrossReferenceIsExact()
{
    const QByteArray pdf = TQiraDemoFiller::pdf(QStringLiteral("Title (1)"), {QStringLiteral("a line")});
    QVERIFY(pdf.startsWith("%PDF-1.4\n"));
    QVERIFY(pdf.endsWith("%%EOF\n"));
    const qsizetype start = pdf.lastIndexOf("startxref\n") + 10;
    const qsizetype xref = pdf.mid(start, pdf.indexOf('\n', start) - start).toLongLong();
    QVERIFY(pdf.mid(xref).startsWith("xref\n0 6\n"));
    const QList<QByteArray> lines = pdf.mid(xref).split('\n');
    for (int object = 1; object <= 5; ++object) {
        const qsizetype offset = lines.at(2 + object).left(10).toLongLong();
        QVERIFY2(pdf.mid(offset).startsWith(QByteArray::number(object) + " 0 obj"), qPrintable(QString::number(object)));
    }
    QVERIFY(pdf.contains("(Title \\(1\\)) Tj"));
}

void TestDemoFiller::fillsAFreshStoreOnce()
{
    QTemporaryDir dir;
    TQiraStoreOptions options;
    options.passwordIterations = 10;
    TestStore backend;
    auto store = backend.open(dir.path(), options);
    const QList<TQiraDemoFiller::Account> accounts = TQiraDemoFiller::fill(*store);
    QCOMPARE(accounts.size(), 2);
    QVERIFY(TQiraDemoFiller::fill(*store).isEmpty());
    const TQiraSession admin = store->signIn(accounts.at(0).login, TextMD5(accounts.at(0).password));
    const TQiraSession user = store->signIn(accounts.at(1).login, TextMD5(accounts.at(1).password));
    QVERIFY(admin.isAdmin());
    QVERIFY(!user.isAdmin());

    TQiraFilter all;
    all.IsShowAll = true;
    all.KolRows = 1000;
    const TQiraRowSet files = store->files(admin, all, QStringLiteral("iqFiles"));
    QVERIFY(files.rows.size() >= 30);
    QSet<QString> kinds;
    for (int r = 0; r < files.rows.size(); ++r) {
        kinds.insert(files.value(r, QStringLiteral("fileext")).toString());
        QVERIFY(files.value(r, QStringLiteral("count_history")).toLongLong() == 1);
    }
    QVERIFY(kinds.contains(QStringLiteral("png")) && kinds.contains(QStringLiteral("bmp")) && kinds.contains(QStringLiteral("pdf"))
            && kinds.contains(QStringLiteral("txt")));
    // The ordinary user sees fewer files (personnel is closed to him) and may write only
    // where he has grants.
    const qint64 seen = store->countFiles(user, all).rows;
    QVERIFY(seen > 0 && seen < files.rows.size());
    const TQiraRowSet top = store->tree(user, QString(), false);
    QVERIFY(top.rows.size() >= 4);
    int granted = 0;
    for (int r = 0; r < top.rows.size(); ++r) {
        const TTreeRights rights = store->rights(user, top.value(r, QStringLiteral("treeid")).toString());
        granted += rights.WFile ? 1 : 0;
    }
    QVERIFY(granted >= 1);
    // A picture comes back whole.
    for (int r = 0; r < files.rows.size(); ++r) {
        if (files.value(r, QStringLiteral("fileext")).toString() != QStringLiteral("png"))
            continue;
        const QString id = files.value(r, QStringLiteral("fileid")).toString();
        QImage image;
        QVERIFY(image.loadFromData(store->readFilePart(admin, id, 0, store->fileSize(admin, id))));
        break;
    }
}

QTEST_GUILESS_MAIN(TestDemoFiller)
#include "tst_demofiller.moc"
