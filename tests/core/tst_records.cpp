#include "qirainfo.h"
#include "recordingresponder.h"

#include <QTest>
#include <QTimeZone>

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void sessionJsonText();
    void sessionDecoding();
    void rightsDecoding_data();
    void rightsDecoding();
    void malformedRecordIsReported();
    void filterJsonText();
    void filterRoundTrip();
    void historyJsonText();
    void isoOffsets_data();
    void isoOffsets();
};

void TestRecords::sessionJsonText()
{
    TZxSessionInfo info;
    info.Login = QStringLiteral("Иванов");
    info.PasswdMd5 = QStringLiteral("900150983cd24fb0d6963f7d28e17f72");
    info.SessionStart = QDateTime::currentDateTime();
    QCOMPARE(GetZxSessionInfo(info),
             QStringLiteral("{\n"
                            "    \"Login\": \"Иванов\",\n"
                            "    \"UserID\": \"\",\n"
                            "    \"PasswdMd5\": \"900150983cd24fb0d6963f7d28e17f72\",\n"
                            "    \"RoleID\": \"\",\n"
                            "    \"RoleName\": \"\",\n"
                            "    \"Protocol\": \"\"\n"
                            "}"));
}

void TestRecords::sessionDecoding()
{
    const TZxSessionInfo info = DecodeZxSessionInfo(QStringLiteral(
        "{\"Login\":\"petrov\",\"UserID\":\"u1\",\"RoleID\":\"1\",\"RoleName\":\"Администраторы\","
        "\"Protocol\":\"tcp/ip\",\"roleid\":\"-1\",\"Extra\":5}"));
    QCOMPARE(info.Login, QStringLiteral("petrov"));
    QCOMPARE(info.UserID, QStringLiteral("u1"));
    QCOMPARE(info.RoleID, QStringLiteral("1")); // "roleid" does not match "RoleID"
    QCOMPARE(info.RoleName, QStringLiteral("Администраторы"));
    QCOMPARE(info.Protocol, QStringLiteral("tcp/ip"));
    QCOMPARE(info.PasswdMd5, QString());

    const TZxSessionInfo noRole = DecodeZxSessionInfo(QStringLiteral("{\"Login\":\"x\"}"));
    QCOMPARE(noRole.RoleID, QString());
}

void TestRecords::rightsDecoding_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<QList<bool>>("flags"); // RTree WTree AdmTree RFile WFile RMyFile
    QTest::newRow("all") << "{\"rtree\":true,\"wtree\":true,\"admtree\":true,\"rfile\":true,\"wfile\":true,\"rmyfile\":true}"
                         << QList<bool>{true, true, true, true, true, true};
    QTest::newRow("read only") << "{\"TreeID\":\"t\",\"rtree\":true,\"rfile\":true,\"wfile\":false}"
                               << QList<bool>{true, false, false, true, false, false};
    QTest::newRow("field names are not keys") << "{\"WFile\":true,\"RTree\":true}"
                                              << QList<bool>{false, false, false, false, false, false};
    QTest::newRow("non-boolean values") << "{\"wfile\":1,\"rfile\":\"true\"}"
                                        << QList<bool>{false, false, false, false, false, false};
    QTest::newRow("empty object") << "{}" << QList<bool>{false, false, false, false, false, false};
}

void TestRecords::rightsDecoding()
{
    QFETCH(QString, json);
    QFETCH(QList<bool>, flags);
    const TTreeRights r = DecodeZxTreeRights(json);
    QCOMPARE((QList<bool>{r.RTree, r.WTree, r.AdmTree, r.RFile, r.WFile, r.RMyFile}), flags);
}

void TestRecords::malformedRecordIsReported()
{
    RecordingResponder responder;
    const TTreeRights rights = DecodeZxTreeRights(QStringLiteral("{\"wfile\":true"));
    QVERIFY(!rights.WFile);
    QCOMPARE(responder.boxes.size(), 1);
    QCOMPARE(responder.boxes[0].kind, QStringLiteral("window"));
    QCOMPARE(responder.boxes[0].caption, QStringLiteral("Функция DecodeZxTreeRights. Ошибка выполнения функции."));
}

void TestRecords::filterJsonText()
{
    TQiraFilter filter;
    filter.KolRows = 50;
    filter.order = QStringLiteral("f.filename, f.sumdoc desc");
    filter.filter = QStringLiteral("(f.filename Like '%\"отчёт\"\\%')");
    filter.TreeID = QStringLiteral("0cc175b9c0f1b6a831c399e269772661");
    filter.CurrentPage = 9000000000LL;
    filter.IsRecursive = true;
    QCOMPARE(GetQiraFilterJson(filter),
             QStringLiteral("{\n"
                            "    \"IsShowDel\": false,\n"
                            "    \"IsShowAll\": false,\n"
                            "    \"CurrentPage\": 9000000000,\n"
                            "    \"KolRows\": 50,\n"
                            "    \"IsPreview\": false,\n"
                            "    \"TreeID\": \"0cc175b9c0f1b6a831c399e269772661\",\n"
                            "    \"FileID\": \"\",\n"
                            "    \"order\": \"f.filename, f.sumdoc desc\",\n"
                            "    \"filter\": \"(f.filename Like '%\\\"отчёт\\\"\\\\%')\",\n"
                            "    \"IsRecursive\": true\n"
                            "}"));
}

void TestRecords::filterRoundTrip()
{
    TQiraFilter filter;
    filter.IsShowDel = true;
    filter.IsPreview = true;
    filter.KolRows = 500000;
    filter.FileID = QStringLiteral("f1");
    filter.filter = QStringLiteral("(f.docn='1\r\n2')");
    const TQiraFilter back = DecodeQiraFilter(GetQiraFilterJson(filter));
    QCOMPARE(back.IsShowDel, true);
    QCOMPARE(back.IsShowAll, false);
    QCOMPARE(back.IsPreview, true);
    QCOMPARE(back.KolRows, qint64(500000));
    QCOMPARE(back.FileID, filter.FileID);
    QCOMPARE(back.filter, filter.filter);
}

void TestRecords::historyJsonText()
{
    const TQiraHistoryInfo info = UploadHistoryInfo(QStringLiteral("fid"), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"), 1536);
    QCOMPARE(info.histid.size(), 32);
    const QString zero = IsoDateTimeWithOffset(ZeroDateTime());
    QVERIFY2(zero.startsWith(QStringLiteral("1899-12-30T00:00:00.000")), qPrintable(zero));
    QCOMPARE(GetQiraHistoryJson(info),
             QStringLiteral("{\n"
                            "    \"histid\": \"%1\",\n"
                            "    \"fileid\": \"fid\",\n"
                            "    \"ordnum\": 0,\n"
                            "    \"datecreate\": \"%2\",\n"
                            "    \"usercreate\": \"\",\n"
                            "    \"md5_file\": \"d41d8cd98f00b204e9800998ecf8427e\",\n"
                            "    \"file_datecreate\": \"%2\",\n"
                            "    \"file_dateupdate\": \"%2\",\n"
                            "    \"size_file\": 1536\n"
                            "}").arg(info.histid, zero));

    TQiraHistoryInfo fraction;
    fraction.size_file = 0.1;
    fraction.datecreate = QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9, 42));
    const TQiraHistoryInfo back = DecodeQiraHistoryInfo(GetQiraHistoryJson(fraction));
    QCOMPARE(back.size_file, 0.1);
    QCOMPARE(back.datecreate, fraction.datecreate);
    QVERIFY(GetQiraHistoryJson(fraction).contains(QStringLiteral("\"size_file\": 0.1\n")));
}

void TestRecords::isoOffsets_data()
{
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<QString>("text");
    const QDateTime utcMoment(QDate(2024, 3, 5), QTime(10, 0, 0, 5), Qt::UTC);
    QTest::newRow("utc") << utcMoment << "2024-03-05T10:00:00.005Z";
    QTest::newRow("plus three") << utcMoment.toOffsetFromUtc(3 * 3600) << "2024-03-05T13:00:00.005+03:00";
    QTest::newRow("minus five thirty") << utcMoment.toOffsetFromUtc(-(5 * 3600 + 1800)) << "2024-03-05T04:30:00.005-05:30";
}

void TestRecords::isoOffsets()
{
    // Local time is the rule for records; the zone is fixed here so the text is known.
    QFETCH(QDateTime, moment);
    QFETCH(QString, text);
    qputenv("TZ", QByteArray("UTC") + (moment.offsetFromUtc() == 0 ? QByteArray() :
        (moment.offsetFromUtc() > 0 ? QByteArray("-") : QByteArray("+"))
        + QByteArray::number(std::abs(moment.offsetFromUtc()) / 3600) + ':'
        + QByteArray::number(std::abs(moment.offsetFromUtc()) % 3600 / 60)));
    tzset();
    QCOMPARE(IsoDateTimeWithOffset(moment), text);
    qunsetenv("TZ");
    tzset();
}

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
