#include "zxerror.h"
#include "zxremoteerror.h"
#include "zxremotemessage.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborStreamWriter>
#include <QCborValue>
#include <QTest>
#include <QtEndian>

#include <functional>
#include <limits>

namespace {

QByteArray written(const std::function<void(QCborStreamWriter &)> &write)
{
    QByteArray out;
    QCborStreamWriter w(&out);
    write(w);
    return out;
}

QCborMap param(const QString &name, const QString &type, const QString &dir, const QCborValue &value)
{
    return QCborMap{{QStringLiteral("name"), name},
                    {QStringLiteral("type"), type},
                    {QStringLiteral("dir"), dir},
                    {QStringLiteral("value"), value}};
}

QByteArray call(const QCborArray &params)
{
    return QCborMap{{QStringLiteral("msg"), QStringLiteral("call")},
                    {QStringLiteral("id"), 5},
                    {QStringLiteral("method"), QStringLiteral("TQiraServerClass.GetFiles")},
                    {QStringLiteral("params"), params}}
        .toCborValue()
        .toCbor();
}

QByteArray callRaw(const QString &type, const std::function<void(QCborStreamWriter &)> &value)
{
    return written([&](QCborStreamWriter &w) {
        w.startMap(4);
        w.append(QStringLiteral("msg"));
        w.append(QStringLiteral("call"));
        w.append(QStringLiteral("id"));
        w.append(1);
        w.append(QStringLiteral("method"));
        w.append(QStringLiteral("X.Y"));
        w.append(QStringLiteral("params"));
        w.startArray(1);
        w.startMap(4);
        w.append(QStringLiteral("name"));
        w.append(QStringLiteral("A"));
        w.append(QStringLiteral("type"));
        w.append(type);
        w.append(QStringLiteral("dir"));
        w.append(QStringLiteral("in"));
        w.append(QStringLiteral("value"));
        value(w);
        w.endMap();
        w.endArray();
        w.endMap();
    });
}

TZxParam typed(const QString &name, TZxParamType type, TZxParamDir dir, const QVariant &value)
{
    TZxParam p(name, type, dir);
    p.SetTypedValue(type, value);
    return p;
}

} // namespace

class TestRemoteMessage : public QObject
{
    Q_OBJECT

private slots:
    void callRoundTrip();
    void otherKindsRoundTrip();
    void timestampIsUtcText();
    void frameHasBigEndianLength();
    void refused_data();
    void refused();
    void unknownMembersAreSkipped();
    void unpairedSurrogate();
};

void TestRemoteMessage::callRoundTrip()
{
    TZxRemoteMessage m;
    m.Kind = TZxMessageKind::Call;
    m.Id = 42;
    m.Method = QStringLiteral("TQiraServerClass.GetFilePart");
    const QDateTime stamp(QDate(2024, 5, 1), QTime(10, 20, 30, 456));
    m.Params = {
        typed(QStringLiteral("S"), TZxParamType::String, TZxParamDir::Input, QStringLiteral("Файл 😀")),
        typed(QStringLiteral("I"), TZxParamType::Int32, TZxParamDir::Input, std::numeric_limits<qint32>::min()),
        typed(QStringLiteral("L"), TZxParamType::Int64, TZxParamDir::InputOutput,
              std::numeric_limits<qint64>::min()),
        typed(QStringLiteral("B"), TZxParamType::Boolean, TZxParamDir::Input, false),
        typed(QStringLiteral("T"), TZxParamType::Timestamp, TZxParamDir::Input, stamp),
        typed(QStringLiteral("Z"), TZxParamType::Blob, TZxParamDir::Input, QByteArray("\0\xff", 2)),
        typed(QStringLiteral("N"), TZxParamType::Blob, TZxParamDir::Input, QVariant()),
        typed(QStringLiteral("E"), TZxParamType::String, TZxParamDir::Input, QString()),
    };
    const TZxRemoteMessage back = TZxRemoteMessage::Decode(m.Encode());
    QCOMPARE(back.Kind, TZxMessageKind::Call);
    QCOMPARE(back.Id, quint64(42));
    QCOMPARE(back.Method, m.Method);
    QCOMPARE(back.Params.size(), m.Params.size());
    for (qsizetype i = 0; i < m.Params.size(); ++i) {
        QCOMPARE(back.Params[i].Name(), m.Params[i].Name());
        QCOMPARE(back.Params[i].DataType(), m.Params[i].DataType());
        QCOMPARE(back.Params[i].Direction(), m.Params[i].Direction());
        QCOMPARE(back.Params[i].IsNull(), m.Params[i].IsNull());
    }
    QCOMPARE(back.Params[0].AsString(), QStringLiteral("Файл 😀"));
    QCOMPARE(back.Params[1].AsInteger(), std::numeric_limits<qint32>::min());
    QCOMPARE(back.Params[2].AsLargeInt(), std::numeric_limits<qint64>::min());
    QCOMPARE(back.Params[3].AsBoolean(), false);
    QVERIFY(!back.Params[3].IsNull());
    QCOMPARE(back.Params[4].AsDateTime(), stamp);
    QCOMPARE(back.Params[5].AsBytes(), QByteArray("\0\xff", 2));
    QVERIFY(back.Params[7].AsString().isEmpty());
}

void TestRemoteMessage::otherKindsRoundTrip()
{
    TZxRemoteMessage connect;
    connect.Kind = TZxMessageKind::Connect;
    connect.Id = 1;
    connect.Version = ZxProtocolVersion;
    connect.UserName = QStringLiteral("иванов");
    connect.Password = QStringLiteral("5ebe2294ecd0e0f08eab7690d2a6ee69");
    TZxRemoteMessage back = TZxRemoteMessage::Decode(connect.Encode());
    QCOMPARE(back.Kind, TZxMessageKind::Connect);
    QCOMPARE(back.UserName, connect.UserName);
    QCOMPARE(back.Password, connect.Password);
    QCOMPARE(back.Version, ZxProtocolVersion);

    const TZxRemoteMessage error = TZxRemoteMessage::MakeError(0, QStringLiteral("EAuth"), QStringLiteral("нет"));
    back = TZxRemoteMessage::Decode(error.Encode());
    QCOMPARE(back.Kind, TZxMessageKind::Error);
    QCOMPARE(back.Id, quint64(0));
    QCOMPARE(back.ErrorClass, QStringLiteral("EAuth"));
    QCOMPARE(back.ErrorMessage, QStringLiteral("нет"));

    TZxRemoteMessage bye;
    bye.Kind = TZxMessageKind::Disconnect;
    bye.Id = 9;
    QCOMPARE(TZxRemoteMessage::Decode(bye.Encode()).Kind, TZxMessageKind::Disconnect);
}

void TestRemoteMessage::timestampIsUtcText()
{
    TZxRemoteMessage m;
    m.Kind = TZxMessageKind::Result;
    m.Id = 3;
    m.Params = {typed(ZxReturnValueName, TZxParamType::Timestamp, TZxParamDir::Result,
                      QDateTime(QDate(2024, 5, 1), QTime(9, 30), Qt::OffsetFromUTC, 3 * 3600))};
    const QCborValue value = QCborValue::fromCbor(m.Encode());
    const QCborValue stamp = value[QStringLiteral("params")][0][QStringLiteral("value")];
    QCOMPARE(stamp.toCbor(), QCborValue(QCborKnownTags::DateTimeString, QStringLiteral("2024-05-01T06:30:00.000Z")).toCbor());
    // Any RFC 3339 offset is read back as the same instant.
    const QByteArray other = call({param(QStringLiteral("T"), QStringLiteral("timestamp"), QStringLiteral("in"),
                                         QCborValue(QCborKnownTags::DateTimeString,
                                                    QStringLiteral("2024-05-01T09:30:00+03:00")))});
    QCOMPARE(TZxRemoteMessage::Decode(other).Params[0].AsDateTime().toUTC(),
             QDateTime(QDate(2024, 5, 1), QTime(6, 30), Qt::UTC));
}

void TestRemoteMessage::frameHasBigEndianLength()
{
    TZxRemoteMessage bye;
    bye.Kind = TZxMessageKind::Disconnected;
    bye.Id = 1;
    const QByteArray frame = bye.EncodeFrame();
    QCOMPARE(qFromBigEndian<quint32>(frame.constData()), quint32(frame.size() - 4));
    QCOMPARE(frame.mid(4), bye.Encode());
}

void TestRemoteMessage::refused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = call({param(QStringLiteral("A"), QStringLiteral("int32"), QStringLiteral("in"), 1)});
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("garbage") << QByteArray("GARBAGE\x01\x02");
    QTest::newRow("not a map") << QCborValue(QStringLiteral("call")).toCbor();
    QTest::newRow("truncated") << good.left(good.size() / 2);
    QTest::newRow("trailing bytes") << good + QByteArray("\x00", 1);
    QTest::newRow("no kind") << QCborMap{{QStringLiteral("id"), 1}}.toCborValue().toCbor();
    QTest::newRow("unknown kind")
        << QCborMap{{QStringLiteral("msg"), QStringLiteral("hello")}, {QStringLiteral("id"), 1}}.toCborValue().toCbor();
    QTest::newRow("call without id")
        << QCborMap{{QStringLiteral("msg"), QStringLiteral("call")},
                    {QStringLiteral("method"), QStringLiteral("X.Y")},
                    {QStringLiteral("params"), QCborArray()}}
               .toCborValue()
               .toCbor();
    QTest::newRow("id zero") << QCborMap{{QStringLiteral("msg"), QStringLiteral("disconnect")}, {QStringLiteral("id"), 0}}
                                    .toCborValue()
                                    .toCbor();
    QTest::newRow("negative id") << QCborMap{{QStringLiteral("msg"), QStringLiteral("disconnect")}, {QStringLiteral("id"), -1}}
                                        .toCborValue()
                                        .toCbor();
    QTest::newRow("connect without password")
        << QCborMap{{QStringLiteral("msg"), QStringLiteral("connect")},
                    {QStringLiteral("id"), 1},
                    {QStringLiteral("version"), 1},
                    {QStringLiteral("User_Name"), QStringLiteral("a")}}
               .toCborValue()
               .toCbor();
    QTest::newRow("duplicate key") << written([](QCborStreamWriter &w) {
        w.startMap(3);
        w.append(QStringLiteral("msg"));
        w.append(QStringLiteral("disconnect"));
        w.append(QStringLiteral("id"));
        w.append(1);
        w.append(QStringLiteral("id"));
        w.append(2);
        w.endMap();
    });
    QTest::newRow("key not text") << written([](QCborStreamWriter &w) {
        w.startMap(1);
        w.append(1);
        w.append(1);
        w.endMap();
    });
    // {"msg": <two bytes that are not UTF-8>}
    QTest::newRow("invalid utf-8") << QByteArray::fromHex("a1636d736762fffe");
    QTest::newRow("params not array")
        << QCborMap{{QStringLiteral("msg"), QStringLiteral("call")},
                    {QStringLiteral("id"), 1},
                    {QStringLiteral("method"), QStringLiteral("X.Y")},
                    {QStringLiteral("params"), QCborMap()}}
               .toCborValue()
               .toCbor();
    QTest::newRow("unknown type") << call({param(QStringLiteral("A"), QStringLiteral("float"), QStringLiteral("in"), 1)});
    QTest::newRow("unknown dir") << call({param(QStringLiteral("A"), QStringLiteral("int32"), QStringLiteral("up"), 1)});
    QTest::newRow("no value")
        << call({QCborMap{{QStringLiteral("name"), QStringLiteral("A")},
                          {QStringLiteral("type"), QStringLiteral("int32")},
                          {QStringLiteral("dir"), QStringLiteral("in")}}});
    QTest::newRow("no name") << call({param(QString(), QStringLiteral("int32"), QStringLiteral("in"), 1)});
    QTest::newRow("int32 too big")
        << call({param(QStringLiteral("A"), QStringLiteral("int32"), QStringLiteral("in"), qint64(1) << 31)});
    QTest::newRow("int32 too small")
        << call({param(QStringLiteral("A"), QStringLiteral("int32"), QStringLiteral("in"), -(qint64(1) << 31) - 1)});
    QTest::newRow("int64 beyond range")
        << callRaw(QStringLiteral("int64"), [](QCborStreamWriter &w) { w.append(std::numeric_limits<quint64>::max()); });
    QTest::newRow("int64 below range") << callRaw(QStringLiteral("int64"), [](QCborStreamWriter &w) {
        w.append(QCborNegativeInteger(quint64(1) << 63 | 1));
    });
    QTest::newRow("text as int64")
        << call({param(QStringLiteral("A"), QStringLiteral("int64"), QStringLiteral("in"), QStringLiteral("5"))});
    QTest::newRow("int as boolean") << call({param(QStringLiteral("A"), QStringLiteral("boolean"), QStringLiteral("in"), 1)});
    QTest::newRow("float as int64") << call({param(QStringLiteral("A"), QStringLiteral("int64"), QStringLiteral("in"), 1.5)});
    QTest::newRow("text as blob")
        << call({param(QStringLiteral("A"), QStringLiteral("blob"), QStringLiteral("in"), QStringLiteral("x"))});
    QTest::newRow("undefined value")
        << call({param(QStringLiteral("A"), QStringLiteral("string"), QStringLiteral("in"), QCborValue())});
    QTest::newRow("timestamp without offset")
        << call({param(QStringLiteral("A"), QStringLiteral("timestamp"), QStringLiteral("in"),
                       QCborValue(QCborKnownTags::DateTimeString, QStringLiteral("2024-05-01T09:30:00")))});
    QTest::newRow("timestamp as epoch") << callRaw(QStringLiteral("timestamp"), [](QCborStreamWriter &w) {
        w.append(QCborKnownTags::UnixTime_t);
        w.append(1714550000);
    });
    QTest::newRow("timestamp nonsense")
        << call({param(QStringLiteral("A"), QStringLiteral("timestamp"), QStringLiteral("in"),
                       QCborValue(QCborKnownTags::DateTimeString, QStringLiteral("soon")))});
    QTest::newRow("names differ only in case")
        << call({param(QStringLiteral("A"), QStringLiteral("int32"), QStringLiteral("in"), 1),
                 param(QStringLiteral("a"), QStringLiteral("int32"), QStringLiteral("in"), 2)});
    QTest::newRow("deep nesting in unknown member") << written([](QCborStreamWriter &w) {
        w.startMap(3);
        w.append(QStringLiteral("msg"));
        w.append(QStringLiteral("disconnect"));
        w.append(QStringLiteral("id"));
        w.append(1);
        w.append(QStringLiteral("deep"));
        for (int i = 0; i < 100; ++i)
            w.startArray(1);
        w.append(1);
        for (int i = 0; i < 100; ++i)
            w.endArray();
        w.endMap();
    });
}

void TestRemoteMessage::refused()
{
    QFETCH(QByteArray, bytes);
    QVERIFY_THROWS_EXCEPTION(ERemoteProtocolError, TZxRemoteMessage::Decode(bytes));
}

void TestRemoteMessage::unknownMembersAreSkipped()
{
    const QByteArray bytes = QCborMap{{QStringLiteral("msg"), QStringLiteral("error")},
                                      {QStringLiteral("class"), QStringLiteral("EX")},
                                      {QStringLiteral("message"), QStringLiteral("m")},
                                      {QStringLiteral("hint"), QCborMap{{QStringLiteral("a"), QCborArray{1, 2}}}}}
                                 .toCborValue()
                                 .toCbor();
    QCOMPARE(TZxRemoteMessage::Decode(bytes).ErrorClass, QStringLiteral("EX"));
}

void TestRemoteMessage::unpairedSurrogate()
{
    QString lone = QStringLiteral("a");
    lone.append(QChar(0xD800));
    TZxRemoteMessage m;
    m.Kind = TZxMessageKind::Call;
    m.Id = 1;
    m.Method = QStringLiteral("X.Y");
    m.Params = {typed(QStringLiteral("S"), TZxParamType::String, TZxParamDir::Input, lone)};
    QVERIFY_THROWS_EXCEPTION(EConvertError, m.Encode());
    // An error text is repaired rather than lost.
    const TZxRemoteMessage error = TZxRemoteMessage::MakeError(1, QStringLiteral("E"), lone);
    QCOMPARE(TZxRemoteMessage::Decode(error.Encode()).ErrorMessage, QStringLiteral("a\uFFFD"));
}

QTEST_GUILESS_MAIN(TestRemoteMessage)
#include "tst_remotemessage.moc"
