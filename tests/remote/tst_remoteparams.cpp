#include "zxerror.h"
#include "zxparams.h"
#include "zxremoteerror.h"
#include "zxstoredproc.h"

#include <QTest>

class TestRemoteParams : public QObject
{
    Q_OBJECT

private slots:
    void namesMatchWithoutCase();
    void addingTwiceAddsOnce();
    void missingParamRaises();
    void conversions_data();
    void conversions();
    void refusedConversions_data();
    void refusedConversions();
    void nullReadsAsDefaults();
    void closeKeepsInputsAndDropsOutputs();
    void renamingClearsParams();
};

void TestRemoteParams::namesMatchWithoutCase()
{
    TZxParams params;
    params.Add(QStringLiteral("FileID"), TZxParamType::String, TZxParamDir::Input).SetString(QStringLiteral("a"));
    QVERIFY(params.FindParam(QStringLiteral("fileid")));
    QCOMPARE(params.ParamByName(QStringLiteral("FILEID")).AsString(), QStringLiteral("a"));
    // Cyrillic names fold too.
    params.Add(QStringLiteral("Файл"), TZxParamType::Int32, TZxParamDir::Input);
    QVERIFY(params.FindParam(QStringLiteral("ФАЙЛ")));
}

void TestRemoteParams::addingTwiceAddsOnce()
{
    TZxParams params;
    TZxParam &first = params.Add(QStringLiteral("PosFrom"), TZxParamType::Int64, TZxParamDir::Input);
    first.SetLargeInt(7);
    TZxParam &second = params.Add(QStringLiteral("posfrom"), TZxParamType::String, TZxParamDir::Output);
    QCOMPARE(params.Count(), 1);
    QCOMPARE(&first, &second);
    // The first declaration stands.
    QCOMPARE(second.DataType(), TZxParamType::Int64);
    QCOMPARE(second.Direction(), TZxParamDir::Input);
    QCOMPARE(second.AsLargeInt(), 7);
    // References survive growth of the list.
    for (int i = 0; i < 100; ++i)
        params.Add(QStringLiteral("P%1").arg(i), TZxParamType::Int32, TZxParamDir::Input);
    QCOMPARE(first.AsLargeInt(), 7);
}

void TestRemoteParams::missingParamRaises()
{
    TZxParams params;
    try {
        params.ParamByName(QStringLiteral("ReturnValue"));
        QFAIL("no exception");
    } catch (const EZxError &error) {
        QCOMPARE(error.className(), ZxRemoteClass::ParamError);
        QVERIFY(error.message().contains(QStringLiteral("ReturnValue")));
    }
}

// Each row sets a value through one setter on a parameter of one type and reads it
// back as text (the stored value's text form).
void TestRemoteParams::conversions_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("setter");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("number");

    const auto t = [](TZxParamType type) { return int(type); };
    QTest::newRow("int64 from text") << t(TZxParamType::Int64) << "string" << " -42 " << "-42" << qint64(-42);
    QTest::newRow("string from int") << t(TZxParamType::String) << "int" << "123" << "123" << qint64(123);
    QTest::newRow("int32 from int") << t(TZxParamType::Int32) << "int" << "2147483647" << "2147483647"
                                    << qint64(2147483647);
    QTest::newRow("boolean from text") << t(TZxParamType::Boolean) << "string" << "TRUE" << "True" << qint64(1);
    QTest::newRow("boolean from 0") << t(TZxParamType::Boolean) << "string" << "0" << "False" << qint64(0);
    // A text "True" reads as a Boolean, not as a number.
    QTest::newRow("string from bool") << t(TZxParamType::String) << "bool" << "1" << "True" << qint64(-1);
    QTest::newRow("int64 from bool") << t(TZxParamType::Int64) << "bool" << "1" << "1" << qint64(1);
}

void TestRemoteParams::conversions()
{
    QFETCH(int, type);
    QFETCH(QString, setter);
    QFETCH(QString, input);
    QFETCH(QString, text);
    QFETCH(qint64, number);
    TZxParam param(QStringLiteral("P"), TZxParamType(type), TZxParamDir::Input);
    if (setter == QStringLiteral("string"))
        param.SetString(input);
    else if (setter == QStringLiteral("int"))
        param.SetLargeInt(input.toLongLong());
    else
        param.SetBoolean(input == u'1');
    QCOMPARE(param.DataType(), TZxParamType(type));
    QCOMPARE(param.AsString(), text);
    if (number >= 0)
        QCOMPARE(param.AsLargeInt(), number);
    else
        QCOMPARE(param.AsBoolean(), true);
}

void TestRemoteParams::refusedConversions_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("step");
    QTest::newRow("text into int64") << int(TZxParamType::Int64) << "set abc";
    QTest::newRow("blank into int64") << int(TZxParamType::Int64) << "set blank";
    QTest::newRow("too big for int32") << int(TZxParamType::Int32) << "set 2147483648";
    QTest::newRow("text into timestamp") << int(TZxParamType::Timestamp) << "set abc";
    QTest::newRow("bytes into string") << int(TZxParamType::String) << "bytes";
    QTest::newRow("int into blob") << int(TZxParamType::Blob) << "int";
    QTest::newRow("blob read as text") << int(TZxParamType::Blob) << "read text";
    QTest::newRow("text read as number") << int(TZxParamType::String) << "read number";
}

void TestRemoteParams::refusedConversions()
{
    QFETCH(int, type);
    QFETCH(QString, step);
    TZxParam param(QStringLiteral("P"), TZxParamType(type), TZxParamDir::Input);
    if (param.DataType() == TZxParamType::Blob)
        param.SetBytes("\x01\x02");
    if (param.DataType() == TZxParamType::String)
        param.SetString(QStringLiteral("abc"));
    const QVariant before = param.Value();
    QVERIFY_THROWS_EXCEPTION(EConvertError, {
        if (step == QStringLiteral("set abc"))
            param.SetString(QStringLiteral("abc"));
        else if (step == QStringLiteral("set blank"))
            param.SetString(QStringLiteral("  "));
        else if (step == QStringLiteral("set 2147483648"))
            param.SetString(QStringLiteral("2147483648"));
        else if (step == QStringLiteral("bytes"))
            param.SetBytes("x");
        else if (step == QStringLiteral("int"))
            param.SetLargeInt(1);
        else if (step == QStringLiteral("read text"))
            param.AsString();
        else
            param.AsLargeInt();
    });
    // A refused value leaves the old one in place.
    QCOMPARE(param.Value(), before);
}

void TestRemoteParams::nullReadsAsDefaults()
{
    for (const TZxParamType type : {TZxParamType::String, TZxParamType::Int32, TZxParamType::Int64,
                                    TZxParamType::Boolean, TZxParamType::Timestamp, TZxParamType::Blob}) {
        TZxParam param(QStringLiteral("P"), type, TZxParamDir::Output);
        QVERIFY(param.IsNull());
        QCOMPARE(param.AsLargeInt(), 0);
        QCOMPARE(param.AsBoolean(), false);
        QVERIFY(!param.AsDateTime().isValid());
        QVERIFY(param.AsBytes().isEmpty());
        QVERIFY(param.AsString().isEmpty());
    }
    TZxParam stamp(QStringLiteral("P"), TZxParamType::Timestamp, TZxParamDir::Input);
    stamp.SetDateTime(QDateTime::currentDateTime());
    stamp.SetDateTime(QDateTime());
    QVERIFY(stamp.IsNull());
}

void TestRemoteParams::closeKeepsInputsAndDropsOutputs()
{
    TZxStoredProc sp(nullptr, QStringLiteral("TQiraServerClass.Hello"));
    sp.AddParam(QStringLiteral("In"), TZxParamType::String).SetString(QStringLiteral("i"));
    sp.AddParam(QStringLiteral("Io"), TZxParamType::String, TZxParamDir::InputOutput).SetString(QStringLiteral("io"));
    sp.AddParam(QStringLiteral("Out"), TZxParamType::String, TZxParamDir::Output).SetString(QStringLiteral("o"));
    sp.AddParam(ZxReturnValueName, TZxParamType::Boolean, TZxParamDir::Result).SetBoolean(true);
    sp.Close();
    QCOMPARE(sp.ParamByName(QStringLiteral("in")).AsString(), QStringLiteral("i"));
    QCOMPARE(sp.ParamByName(QStringLiteral("io")).AsString(), QStringLiteral("io"));
    QVERIFY(sp.ParamByName(QStringLiteral("out")).IsNull());
    QVERIFY(sp.ParamByName(ZxReturnValueName).IsNull());
    // Without a connection the call fails clearly, leaving outputs null.
    QVERIFY_THROWS_EXCEPTION(ERemoteConnectionError, sp.ExecProc());
}

void TestRemoteParams::renamingClearsParams()
{
    TZxStoredProc sp(nullptr, QStringLiteral("TQiraServerClass.GetFiles"));
    sp.AddParam(QStringLiteral("Filter"), TZxParamType::String);
    sp.SetStoredProcName(QStringLiteral("TQiraServerClass.GetFiles"));
    QCOMPARE(sp.Params().Count(), 1);
    sp.SetStoredProcName(QStringLiteral("TQiraServerClass.GetTree"));
    QCOMPARE(sp.Params().Count(), 0);
}

QTEST_GUILESS_MAIN(TestRemoteParams)
#include "tst_remoteparams.moc"
