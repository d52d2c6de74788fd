#include "zxbase.h"
#include "zxerror.h"

#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestZxBase : public QObject
{
    Q_OBJECT

private slots:
    void trimRemovesControlCharacters();
    void splitText_data();
    void splitText();
    void lastPart();
    void textMD5_data();
    void textMD5();
    void newIdIsFreshHex();
    void textToInt64_data();
    void textToInt64();
    void textToCurr_data();
    void textToCurr();
    void bytesToMB_data();
    void bytesToMB();
    void fileNameParts_data();
    void fileNameParts();
    void fileSizeAndDigest();
    void whereBuilder();
    void whereDates();
    void replaceAllIgnoresCase();
};

void TestZxBase::trimRemovesControlCharacters()
{
    QCOMPARE(ZxTrim(QStringLiteral("\t\r\n\x01 a b \x1f\x20")), QStringLiteral("a b"));
    QCOMPARE(ZxTrim(QStringLiteral("\u00a0x\u00a0")), QStringLiteral("\u00a0x\u00a0"));
}

void TestZxBase::splitText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<QStringList>("pieces");
    QTest::newRow("empty middle piece") << "a,,b" << "," << QStringList{"a", "", "b"};
    QTest::newRow("leading delimiter") << ",a" << "," << QStringList{"", "a"};
    QTest::newRow("trailing delimiter") << "a," << "," << QStringList{"a"};
    QTest::newRow("blank text") << "   " << "," << QStringList{};
    QTest::newRow("pieces trimmed") << " a ; b ;c " << ";" << QStringList{"a", "b", "c"};
    QTest::newRow("line breaks") << "one\r\ntwo\r\n\r\nthree" << "\r\n"
                                 << QStringList{"one", "two", "", "three"};
    QTest::newRow("path") << "\\корень\\ветка\\файл.txt" << "\\"
                          << QStringList{"", "корень", "ветка", "файл.txt"};
    QTest::newRow("no delimiter") << "  whole  " << "." << QStringList{"whole"};
}

void TestZxBase::splitText()
{
    QFETCH(QString, text);
    QFETCH(QString, delimiter);
    QFETCH(QStringList, pieces);
    QCOMPARE(SplitText(text, delimiter), pieces);
}

void TestZxBase::lastPart()
{
    QCOMPARE(LastPart(QStringLiteral("C:\\docs\\report.txt"), QStringLiteral("\\")),
             QStringLiteral("report.txt"));
    QCOMPARE(LastPart(QStringLiteral("  plain  "), QStringLiteral("\\")), QStringLiteral("plain"));
    QCOMPARE(LastPart(QStringLiteral("  "), QStringLiteral("\\")), QString());
}

void TestZxBase::textMD5_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("digest");
    // RFC 1321 test suite
    QTest::newRow("empty") << "" << "d41d8cd98f00b204e9800998ecf8427e";
    QTest::newRow("a") << "a" << "0cc175b9c0f1b6a831c399e269772661";
    QTest::newRow("abc") << "abc" << "900150983cd24fb0d6963f7d28e17f72";
    QTest::newRow("message digest") << "message digest" << "f96b697d7cb7938d525a2f31aaf161d0";
    QTest::newRow("alphabet") << "abcdefghijklmnopqrstuvwxyz" << "c3fcd3d76192e4007dfb496cca67e13b";
    QTest::newRow("digits") << "12345678901234567890123456789012345678901234567890123456789012345678901234567890"
                            << "57edf4a22be3c955ac49da2e2107b67a";
    QTest::newRow("trimmed") << " \tabc\r\n" << "900150983cd24fb0d6963f7d28e17f72";
    // every code unit above 127 counts as "?"
    QTest::newRow("cyrillic") << "пар" << "0d1b08c34858921bc7c662b228acb7ba";
    QTest::newRow("question marks") << "???" << "0d1b08c34858921bc7c662b228acb7ba";
}

void TestZxBase::textMD5()
{
    QFETCH(QString, text);
    QFETCH(QString, digest);
    QCOMPARE(TextMD5(text), digest);
}

void TestZxBase::newIdIsFreshHex()
{
    const QRegularExpression hex(QStringLiteral("^[0-9a-f]{32}$"));
    const QRegularExpression guid(
        QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));
    QVERIFY(guid.match(NewGuidText()).hasMatch());
    QSet<QString> seen;
    for (int i = 0; i < 1000; ++i) {
        const QString id = NewID();
        QVERIFY2(hex.match(id).hasMatch(), qPrintable(id));
        seen.insert(id);
    }
    QCOMPARE(seen.size(), 1000);
}

void TestZxBase::textToInt64_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("value");
    QTest::newRow("blank") << "  \t" << true << qint64(0);
    QTest::newRow("empty") << "" << true << qint64(0);
    QTest::newRow("decimal") << "1234" << true << qint64(1234);
    QTest::newRow("negative") << "-42" << true << qint64(-42);
    QTest::newRow("leading spaces") << "  7" << true << qint64(7);
    QTest::newRow("trailing space") << "7 " << false << qint64(0);
    QTest::newRow("hexadecimal") << "$64" << true << qint64(100);
    QTest::newRow("hex upper") << "$FF" << true << qint64(255);
    QTest::newRow("largest") << "9223372036854775807" << true << std::numeric_limits<qint64>::max();
    QTest::newRow("smallest") << "-9223372036854775808" << true << std::numeric_limits<qint64>::min();
    QTest::newRow("overflow") << "9223372036854775808" << false << qint64(0);
    QTest::newRow("letters") << "abc" << false << qint64(0);
    QTest::newRow("fraction") << "1.5" << false << qint64(0);
    QTest::newRow("bare dollar") << "$" << false << qint64(0);
    QTest::newRow("arabic-indic digits") << "\u0661" << false << qint64(0);
}

void TestZxBase::textToInt64()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(qint64, value);
    if (valid) {
        QCOMPARE(TextToInt64(text), value);
    } else {
        QVERIFY_THROWS_EXCEPTION(EConvertError, TextToInt64(text));
    }
}

void TestZxBase::textToCurr_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value");
    QTest::newRow("point") << "12.5" << true << 12.5;
    QTest::newRow("comma") << "12,5" << true << 12.5;
    QTest::newRow("four places") << "0,123456" << true << 0.1235;
    QTest::newRow("integer") << "1024" << true << 1024.0;
    QTest::newRow("two separators") << "1,234.5" << false << 0.0;
    QTest::newRow("text") << "abc" << false << 0.0;
    QTest::newRow("empty") << "" << false << 0.0;
}

void TestZxBase::textToCurr()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(double, value);
    if (valid) {
        QCOMPARE(TextToCurr(text), value);
    } else {
        QVERIFY_THROWS_EXCEPTION(EConvertError, TextToCurr(text));
    }
}

void TestZxBase::bytesToMB_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<double>("megabytes");
    QTest::newRow("zero") << qint64(0) << 0.0;
    QTest::newRow("one and a half") << qint64(1572864) << 1.5;
    QTest::newRow("half a megabyte") << qint64(524288) << 0.5;
    // 0.0625, 0.1875 and 0.3125 MB are exact halves at the third place
    QTest::newRow("half to even, down") << qint64(65536) << 0.062;
    QTest::newRow("half to even, up") << qint64(196608) << 0.188;
    QTest::newRow("half to even, down again") << qint64(327680) << 0.312;
    QTest::newRow("below half") << qint64(524) << 0.0;
    QTest::newRow("above half") << qint64(525) << 0.001;
    QTest::newRow("missing file") << qint64(-1) << -0.0;
}

void TestZxBase::bytesToMB()
{
    QFETCH(qint64, bytes);
    QFETCH(double, megabytes);
    QCOMPARE(BytesToMB(bytes), megabytes);
}

void TestZxBase::fileNameParts_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("ext");
    QTest::newRow("upper extension") << "C:\\x\\report.TXT" << "report" << "TXT";
    QTest::newRow("double extension") << "C:\\x\\notes.txt.txt" << "notes.txt" << "txt";
    QTest::newRow("extension inside name") << "a.txtb.txt" << "a.txtb" << "txt";
    QTest::newRow("no extension") << "C:\\x\\README" << "README" << "";
    QTest::newRow("tarball") << "archive.tar.gz" << "archive.tar" << "gz";
    QTest::newRow("trailing dot") << "draft." << "draft" << "";
    QTest::newRow("dot in folder") << "/home/u/v1.2/README" << "README" << "";
    QTest::newRow("drive only") << "C:file.doc" << "file" << "doc";
    QTest::newRow("cyrillic") << "/tmp/Отчёт.pdf" << "Отчёт" << "pdf";
}

void TestZxBase::fileNameParts()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(QString, ext);
    QCOMPARE(FileNameNoExt(path), name);
    QCOMPARE(FileExtNoDot(path), ext);
}

void TestZxBase::fileSizeAndDigest()
{
    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty"));
    const QString abc = dir.filePath(QStringLiteral("abc"));
    QFile(empty).open(QIODevice::WriteOnly);
    {
        QFile file(abc);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("abc");
    }
    QCOMPARE(FileSizeOf(dir.filePath(QStringLiteral("missing"))), qint64(-1));
    QCOMPARE(FileSizeOf(empty), qint64(0));
    QCOMPARE(FileSizeOf(abc), qint64(3));
    QCOMPARE(FileSizeOf(dir.path()), qint64(-1));
    QCOMPARE(FileMD5(abc), QStringLiteral("900150983cd24fb0d6963f7d28e17f72"));
    QCOMPARE(FileMD5(empty), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
    QVERIFY_THROWS_EXCEPTION(EInOutError, FileMD5(dir.filePath(QStringLiteral("missing"))));
}

void TestZxBase::whereBuilder()
{
    QString clause;
    AddWhere(QStringLiteral("f.docn"), QStringLiteral("   "), clause, QStringLiteral("="));
    QCOMPARE(clause, QString());
    AddWhere(QStringLiteral("f.docn"), QStringLiteral(" 12 "), clause, QStringLiteral("="));
    QCOMPARE(clause, QStringLiteral("(f.docn='12')"));
    AddWhereLike(QStringLiteral("f.filename"), QStringLiteral("отчёт"), clause);
    QCOMPARE(clause, QStringLiteral("(f.docn='12')and(f.filename Like '%отчёт%')"));
    AddWhereValue(QStringLiteral("f.del"), QVariant(), clause, QStringLiteral("="));
    AddWhereValue(QStringLiteral("f.del"), QVariant(QString()), clause, QStringLiteral("="));
    AddWhereValue(QStringLiteral("f.del"), QVariant(0), clause, QStringLiteral("="));
    QCOMPARE(clause, QStringLiteral("(f.docn='12')and(f.filename Like '%отчёт%')and(f.del=0)"));

    QString range;
    AddWhereRange(QStringLiteral("f.kodf"), QStringLiteral("a"), QString(), range);
    AddWhereValueRange(QStringLiteral("f.sumdoc"), QVariant(), QVariant(2.5), range);
    QCOMPARE(range, QStringLiteral("(f.kodf>='a')and(f.sumdoc<=2.5)"));

    // A clause made only of blanks counts as empty: no leading "and".
    QString blank = QStringLiteral("  ");
    AddWhere(QStringLiteral("f.kodf"), QStringLiteral("x"), blank, QStringLiteral("="));
    QCOMPARE(blank, QStringLiteral("  (f.kodf='x')"));

    // A quote inside a value is doubled, so the value cannot end the literal early.
    QString quoted;
    AddWhere(QStringLiteral("f.comment_file"), QStringLiteral("O'Brien"), quoted, QStringLiteral("="));
    QCOMPARE(quoted, QStringLiteral("(f.comment_file='O''Brien')"));
}

void TestZxBase::whereDates()
{
    QString clause;
    AddWhereDate(QStringLiteral("f.docdate"), QDate(2024, 3, 5), clause, QStringLiteral(">="));
    QCOMPARE(clause, QStringLiteral("(f.docdate>='2024.3.5')"));
    AddWhereDate(QStringLiteral("f.docdate"), QVariant(), clause, QStringLiteral("<="));
    AddWhereDate(QStringLiteral("f.docdate"), QStringLiteral(" "), clause, QStringLiteral("<="));
    QCOMPARE(clause, QStringLiteral("(f.docdate>='2024.3.5')"));

    QString range;
    AddWhereDateRange(QStringLiteral("f.datecreate"), QStringLiteral("01.12.2023"),
                      QDateTime(QDate(2024, 11, 30), QTime(23, 59)), range);
    QCOMPARE(range, QStringLiteral("(f.datecreate>='2023.12.1')and(f.datecreate<='2024.11.30')"));

    QString bad;
    QVERIFY_THROWS_EXCEPTION(EConvertError, AddWhereDate(QStringLiteral("f.docdate"),
                                                         QStringLiteral("не дата"), bad,
                                                         QStringLiteral("=")));
    QCOMPARE(bad, QString());
}

void TestZxBase::replaceAllIgnoresCase()
{
    QCOMPARE(ReplaceAll(QStringLiteral("Abc aBC"), QStringLiteral("abc"), QStringLiteral("x")),
             QStringLiteral("x x"));
    QCOMPARE(ReplaceChar(QStringLiteral("a/b/c"), u'/', u'\\'), QStringLiteral("a\\b\\c"));
}

QTEST_GUILESS_MAIN(TestZxBase)
#include "tst_zxbase.moc"
