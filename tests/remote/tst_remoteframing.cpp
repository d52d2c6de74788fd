#include "zxframereader.h"
#include "zxhttpparser.h"

#include <QTest>
#include <QtEndian>

namespace {

QByteArray frame(const QByteArray &payload)
{
    QByteArray out(4, '\0');
    qToBigEndian(quint32(payload.size()), out.data());
    return out + payload;
}

QByteArray post(const QByteArray &body)
{
    return "POST /qira HTTP/1.1\r\nHost: h\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QByteArray pattern(qsizetype size, char seed)
{
    QByteArray out(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        out[i] = char(seed + i % 251);
    return out;
}

void addChunkRows()
{
    QTest::addColumn<int>("chunk");
    QTest::newRow("byte by byte") << 1;
    QTest::newRow("7 bytes") << 7;
    QTest::newRow("64 KiB") << 65536;
    QTest::newRow("all at once") << (1 << 30);
}

} // namespace

// Streams cut anywhere come out as the same messages, refused ones skipped exactly.
class TestRemoteFraming : public QObject
{
    Q_OBJECT

private slots:
    void frames_data() { addChunkRows(); }
    void frames();
    void httpRequests_data() { addChunkRows(); }
    void httpRequests();
};

void TestRemoteFraming::frames()
{
    QFETCH(int, chunk);
    const QByteArray big = pattern(200 * 1024, 'a');
    const QByteArray stream = frame("one") + frame(big) + frame(QByteArray(300 * 1024, 'x')) + frame({})
                              + frame("last");
    TZxFrameReader reader(256 * 1024);
    QList<QByteArray> frames;
    QList<quint32> refused;
    for (qsizetype at = 0; at < stream.size(); at += chunk) {
        reader.Append(stream.mid(at, chunk));
        while (true) {
            QByteArray payload;
            quint32 announced = 0;
            const TZxFrameReader::TStep step = reader.Next(payload, announced);
            if (step == TZxFrameReader::TStep::NeedMore)
                break;
            if (step == TZxFrameReader::TStep::Frame)
                frames.append(payload);
            else
                refused.append(announced);
        }
    }
    QCOMPARE(frames.size(), 4);
    QCOMPARE(frames[0], QByteArray("one"));
    QVERIFY(frames[1] == big);
    QCOMPARE(frames[2], QByteArray());
    QCOMPARE(frames[3], QByteArray("last"));
    QCOMPARE(refused, QList<quint32>{300 * 1024});
    QVERIFY(reader.Idle());
}

void TestRemoteFraming::httpRequests()
{
    QFETCH(int, chunk);
    const QByteArray big = pattern(200 * 1024, 'b');
    const QByteArray stream = post("first") + post(big) + post(QByteArray(300 * 1024, 'x'))
                              + "GET /qira?x=1 HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n" + post("last");
    TZxHttpParser parser(TZxHttpParser::TMode::Request, 256 * 1024);
    QList<QByteArray> bodies;
    QList<QByteArray> methods;
    int tooLarge = 0;
    bool getKeepsAlive = true;
    for (qsizetype at = 0; at < stream.size(); at += chunk) {
        parser.Append(stream.mid(at, chunk));
        while (true) {
            const TZxHttpParser::TStep step = parser.Next();
            if (step == TZxHttpParser::TStep::NeedMore)
                break;
            QVERIFY(step != TZxHttpParser::TStep::Malformed);
            if (step == TZxHttpParser::TStep::BodyTooLarge) {
                ++tooLarge;
                continue;
            }
            methods.append(parser.Method());
            bodies.append(parser.Body());
            QCOMPARE(parser.Path(), QByteArray("/qira"));
            if (parser.Method() == "GET")
                getKeepsAlive = parser.KeepAlive();
        }
    }
    QCOMPARE(methods, QList<QByteArray>({"POST", "POST", "GET", "POST"}));
    QCOMPARE(bodies[0], QByteArray("first"));
    QVERIFY(bodies[1] == big);
    QCOMPARE(bodies[2], QByteArray());
    QCOMPARE(bodies[3], QByteArray("last"));
    QCOMPARE(tooLarge, 1);
    QVERIFY(!getKeepsAlive);
    QVERIFY(parser.Idle());
}

QTEST_GUILESS_MAIN(TestRemoteFraming)
#include "tst_remoteframing.moc"
