// Chunked transfer over the wire as the client does it: uploads of 10 MiB chunks
// between NewChange and EndChange, downloads of inclusive 1 MiB ranges; versions the
// server must not record.
#include "methodsfixture.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

using Call = MethodsFixture::Call;

namespace {

QByteArray pattern(qint64 size, quint32 seed)
{
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (qsizetype i = 0; i + 4 <= bytes.size(); i += 4) {
        const quint32 word = random.generate();
        memcpy(bytes.data() + i, &word, 4);
    }
    for (qsizetype i = bytes.size() & ~qsizetype(3); i < bytes.size(); ++i)
        bytes[i] = char(random.generate());
    return bytes;
}

qint64 put(TZxConnection &c, const QString &fileId, const QByteArray &chunk, qint64 size, const QString &status)
{
    return Call(c, QStringLiteral("PutBigFileToServer"))
        .text(QStringLiteral("FileID"), fileId)
        .blob(QStringLiteral("Stream"), chunk, TZxParamDir::InputOutput)
        .text(QStringLiteral("FileSize"), QString::number(size))
        .text(QStringLiteral("Status"), status)
        .run()
        .result()
        .toLongLong();
}

void bracket(TZxConnection &c, const QString &method, const TQiraHistoryInfo &info)
{
    Call(c, method).text(QStringLiteral("FileHistInfo"), GetQiraHistoryJson(info)).run();
}

} // namespace

class TestWireTransfer : public QObject
{
    Q_OBJECT

private slots:
    void sizesByteForByte_data();
    void sizesByteForByte();
    void refusedVersionsRecordNothing_data();
    void refusedVersionsRecordNothing();
    void closedConnectionLeavesNoUpload();
};

void TestWireTransfer::sizesByteForByte_data()
{
    QTest::addColumn<QString>("transport");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("putCalls");
    QTest::addColumn<int>("partCalls");
    QTest::newRow("0") << "tcp" << qint64(0) << 0 << 0;
    QTest::newRow("1048576") << "tcp" << qint64(1048576) << 1 << 1;
    QTest::newRow("1048577") << "tcp" << qint64(1048577) << 1 << 2;
    QTest::newRow("2097152") << "tcp" << qint64(2097152) << 1 << 2;
    QTest::newRow("10485760") << "tcp" << qint64(10485760) << 1 << 10;
    QTest::newRow("10485761") << "tcp" << qint64(10485761) << 2 << 11;
    QTest::newRow("25 MiB") << "tcp" << qint64(25 * 1048576) << 3 << 25;
    // Over HTTP the upload state lives with the session token, not the socket.
    QTest::newRow("10485761 http") << "http" << qint64(10485761) << 2 << 11;
    QTest::newRow("1048577 http") << "http" << qint64(1048577) << 1 << 2;
}

void TestWireTransfer::sizesByteForByte()
{
    QFETCH(QString, transport);
    QFETCH(qint64, size);
    QFETCH(int, putCalls);
    QFETCH(int, partCalls);
    MethodsFixture fx;
    const QString branch = fx.branch(QStringLiteral("Проекты"));
    fx.grant(branch, {}, QStringLiteral("2"), QStringLiteral("rtree,rfile,wfile"));
    const QString file = fx.file(branch, QStringLiteral("данные"));
    const QByteArray bytes = pattern(size, quint32(size));

    auto writer = fx.connect(QStringLiteral("user"), transport);
    int calls = -1;
    QCOMPARE(MethodsFixture::upload(*writer, file, bytes, &calls), size);
    QCOMPARE(calls, putCalls);
    QVERIFY(fx.tempFiles().isEmpty());

    auto reader = fx.connect(QStringLiteral("other"), transport);
    QList<QPair<qint64, qint64>> ranges;
    const QByteArray fetched = MethodsFixture::download(*reader, file, &ranges);
    QCOMPARE(ranges.size(), partCalls);
    QCOMPARE(fetched.size(), bytes.size());
    QVERIFY(fetched == bytes);
    if (!ranges.isEmpty()) {
        // The last range ends one past the last byte; a range starting there is empty.
        QCOMPARE(ranges.last().second, size);
        QCOMPARE(Call(*reader, QStringLiteral("GetFilePart"))
                     .text(QStringLiteral("FileID"), file)
                     .int64(QStringLiteral("PosFrom"), size)
                     .int64(QStringLiteral("PosTo"), size)
                     .run()
                     .bytes(),
                 QByteArray());
    }
    auto row = MethodsFixture::fileRow(*reader, file);
    QCOMPARE(row->FieldByName(QStringLiteral("md5_file")).AsString(), ServerFixture::md5(bytes));
    QCOMPARE(row->FieldByName(QStringLiteral("count_history")).AsInteger(), qint64(1));
    QCOMPARE(row->FieldByName(QStringLiteral("size_file")).AsString(),
             QString::number(std::round(double(size) / 1024.0 * 1000.0) / 1000.0, 'f', 3));
}

void TestWireTransfer::refusedVersionsRecordNothing_data()
{
    QTest::addColumn<QString>("error");
    const QString request = QStringLiteral("EQiraRequestError");
    QTest::newRow("digest does not match") << request;
    QTest::newRow("digest of the declared bytes, other bytes sent") << request;
    QTest::newRow("fewer bytes than declared") << request;
    QTest::newRow("more bytes than declared") << request;
    QTest::newRow("Process without Start") << request;
    QTest::newRow("no NewChange") << request;
    QTest::newRow("EndChange of another version") << request;
    QTest::newRow("EndChange on another connection") << request;
    QTest::newRow("local file missing") << request;
    QTest::newRow("unknown status") << request;
}

void TestWireTransfer::refusedVersionsRecordNothing()
{
    MethodsFixture fx;
    const QString branch = fx.branch(QStringLiteral("Проекты"));
    fx.grant(branch, {}, QStringLiteral("2"), QStringLiteral("rtree,rfile,wfile"));
    const QString file = fx.file(branch, QStringLiteral("договор"));
    const QByteArray first("первая версия договора");
    fx.upload(fx.admin, file, first);
    auto c = fx.connect(QStringLiteral("user"));
    auto again = fx.connect(QStringLiteral("user")); // signing in records the time: before the snapshot
    const QByteArray second = pattern(10485761, 7);
    const TQiraHistoryInfo info = UploadHistoryInfo(file, ServerFixture::md5(second), second.size());
    const QByteArray head = second.left(10485760);
    const QByteArray tail = second.mid(10485760);
    const qint64 size = second.size();

    const QHash<QString, std::function<void()>> steps{
        {QStringLiteral("digest does not match"),
         [&] {
             MethodsFixture::upload(*c, file, second, nullptr, ServerFixture::md5(first));
         }},
        {QStringLiteral("digest of the declared bytes, other bytes sent"),
         [&] {
             bracket(*c, QStringLiteral("NewChange"), info);
             QByteArray damaged = head;
             damaged[12345] = char(damaged.at(12345) ^ 1);
             put(*c, file, damaged, size, QStringLiteral("Start"));
             put(*c, file, tail, size, QStringLiteral("End"));
             bracket(*c, QStringLiteral("EndChange"), info);
         }},
        {QStringLiteral("fewer bytes than declared"),
         [&] {
             bracket(*c, QStringLiteral("NewChange"), info);
             put(*c, file, head, size, QStringLiteral("Start"));
             bracket(*c, QStringLiteral("EndChange"), info);
         }},
        {QStringLiteral("more bytes than declared"),
         [&] {
             bracket(*c, QStringLiteral("NewChange"), info);
             put(*c, file, head, size, QStringLiteral("Start"));
             put(*c, file, tail + "x", size, QStringLiteral("End"));
         }},
        {QStringLiteral("Process without Start"),
         [&] {
             bracket(*c, QStringLiteral("NewChange"), info);
             put(*c, file, head, size, QStringLiteral("Process"));
         }},
        {QStringLiteral("no NewChange"),
         [&] {
             put(*c, file, head, size, QStringLiteral("Start"));
             put(*c, file, tail, size, QStringLiteral("End"));
             bracket(*c, QStringLiteral("EndChange"), info);
         }},
        {QStringLiteral("EndChange of another version"),
         [&] {
             bracket(*c, QStringLiteral("NewChange"), info);
             put(*c, file, head, size, QStringLiteral("Start"));
             put(*c, file, tail, size, QStringLiteral("End"));
             TQiraHistoryInfo other = info;
             other.histid = NewID();
             bracket(*c, QStringLiteral("EndChange"), other);
         }},
        {QStringLiteral("EndChange on another connection"),
         [&] {
             bracket(*c, QStringLiteral("NewChange"), info);
             put(*c, file, head, size, QStringLiteral("Start"));
             put(*c, file, tail, size, QStringLiteral("End"));
             bracket(*again, QStringLiteral("EndChange"), info);
         }},
        {QStringLiteral("local file missing"),
         [&] {
             TQiraHistoryInfo missing = UploadHistoryInfo(file, ServerFixture::md5(QByteArray()), -1);
             bracket(*c, QStringLiteral("NewChange"), missing);
             bracket(*c, QStringLiteral("EndChange"), missing);
         }},
        {QStringLiteral("unknown status"),
         [&] {
             bracket(*c, QStringLiteral("NewChange"), info);
             put(*c, file, head, size, QStringLiteral("start"));
         }},
    };
    const auto step = steps.constFind(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(step != steps.constEnd());
    const QString before = fx.snapshot();
    QString message;
    QTEST(MethodsFixture::failure(step.value(), &message), "error");
    QVERIFY(!message.isEmpty());
    c.reset(); // whatever the connection still held goes with it
    QElapsedTimer clock;
    clock.start();
    while (!fx.tempFiles().isEmpty() && clock.elapsed() < 10000)
        QTest::qWait(20);
    QCOMPARE(fx.snapshot(), before);

    auto reader = fx.connect(QStringLiteral("other"));
    QCOMPARE(MethodsFixture::download(*reader, file), first);
    auto history = MethodsFixture::load(Call(*reader, QStringLiteral("GetHistory")).text(QStringLiteral("FileID"), file).run().bytes(),
                                        QStringLiteral("iqHistory"));
    QCOMPARE(history->RecordCount(), 1);
}

void TestWireTransfer::closedConnectionLeavesNoUpload()
{
    MethodsFixture fx;
    const QString branch = fx.branch(QStringLiteral("Проекты"));
    const QString file = fx.file(branch, QStringLiteral("большой"));
    for (const QString &transport : {QStringLiteral("tcp"), QStringLiteral("http")}) {
        auto c = fx.connect(QStringLiteral("admin"), transport);
        const QByteArray chunk = pattern(10485760, 3);
        bracket(*c, QStringLiteral("NewChange"), UploadHistoryInfo(file, ServerFixture::md5(chunk + chunk), 2 * chunk.size()));
        QCOMPARE(put(*c, file, chunk, 2 * chunk.size(), QStringLiteral("Start")), qint64(chunk.size()));
        QCOMPARE(fx.tempFiles().size(), 1);
        if (transport == QStringLiteral("http"))
            c->Close(); // a disconnect ends the session at once
        c.reset();
        QElapsedTimer clock;
        clock.start();
        while (!fx.tempFiles().isEmpty() && clock.elapsed() < 10000)
            QTest::qWait(20);
        QVERIFY2(fx.tempFiles().isEmpty(), qPrintable(transport));
    }
}

QTEST_GUILESS_MAIN(TestWireTransfer)
#include "tst_wiretransfer.moc"
