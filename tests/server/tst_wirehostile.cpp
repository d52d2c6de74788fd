// Hostile clients against the real document server: raw bytes on both ports, upload
// chunks out of order, byte ranges at the limits of a number, and guessed identifiers of
// what the user may not read. Nothing is recorded, nothing hidden comes back, and the
// server goes on serving.
#include "methodsfixture.h"
#include "zxhttpparser.h"
#include "zxremotemessage.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QtEndian>

#include <limits>

using Call = MethodsFixture::Call;

namespace {

const QString Ok = QStringLiteral("ok");
const QString Refused = QStringLiteral("EQiraRequestError");

// Fixed identifiers, so that table rows can name them before the store exists.
const QString PlainFile = QStringLiteral("plain-file");
const QString HiddenBranch = QStringLiteral("hidden-branch");
const QString HiddenSub = QStringLiteral("hidden-sub");
const QString HiddenFile = QStringLiteral("hidden-file");
const QString TreeOnlyBranch = QStringLiteral("tree-only");
const QString TreeOnlyFile = QStringLiteral("tree-only-file");
const QString OwnOnlyBranch = QStringLiteral("own-only");
const QString OthersFile = QStringLiteral("others-file");

// Put into the names and the bytes of everything the user may not read.
const QByteArray FileMark("QQFILEQQ");
const QByteArray BranchMark("QQBRANCHQQ");

QByteArray pattern(qint64 size, quint32 seed)
{
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    QRandomGenerator random(seed);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    for (qsizetype i = bytes.size() & ~qsizetype(3); i < bytes.size(); ++i)
        bytes[i] = char(random.generate());
    return bytes;
}

void waitForNoTempFiles(MethodsFixture &fx)
{
    QElapsedTimer clock;
    clock.start();
    while (!fx.tempFiles().isEmpty() && clock.elapsed() < 10000)
        QTest::qWait(20);
}

// The outcome of a step as the tables name it: "ok" or the error's class.
QString outcome(const std::function<void()> &step, QString *message = nullptr)
{
    const QString failure = MethodsFixture::failure(step, message);
    return failure == QStringLiteral("(no exception)") ? Ok : failure;
}

// --- raw messages ----------------------------------------------------------------------

QByteArray frame(const QByteArray &payload)
{
    QByteArray out(4, '\0');
    qToBigEndian(quint32(payload.size()), out.data());
    return out + payload;
}

QCborMap param(const QString &name, const QString &type, const QCborValue &value, const QString &dir = QStringLiteral("in"))
{
    return QCborMap{{QStringLiteral("name"), name}, {QStringLiteral("type"), type}, {QStringLiteral("dir"), dir},
                    {QStringLiteral("value"), value}};
}

QByteArray call(const QString &method, const QCborValue &params)
{
    return QCborMap{{QStringLiteral("msg"), QStringLiteral("call")},
                    {QStringLiteral("id"), 2},
                    {QStringLiteral("method"), QStringLiteral("TQiraServerClass.") + method},
                    {QStringLiteral("params"), params}}
        .toCborValue()
        .toCbor();
}

// A first chunk of a check-in of PlainFile.
QByteArray putStart(const QCborValue &stream = QByteArray(1000, 'x'))
{
    return call(QStringLiteral("PutBigFileToServer"),
                QCborArray{param(QStringLiteral("FileID"), QStringLiteral("string"), PlainFile),
                           param(QStringLiteral("Stream"), stream.isString() ? QStringLiteral("string") : QStringLiteral("blob"),
                                 stream, QStringLiteral("inout")),
                           param(QStringLiteral("FileSize"), QStringLiteral("string"), QStringLiteral("1000")),
                           param(QStringLiteral("Status"), QStringLiteral("string"), QStringLiteral("Start"))});
}

QByteArray signIn(const QString &login, const QString &password)
{
    TZxRemoteMessage message;
    message.Kind = TZxMessageKind::Connect;
    message.Id = 1;
    message.Version = ZxProtocolVersion;
    message.UserName = login;
    message.Password = TextMD5(password);
    return message.Encode();
}

QCborMap readFrame(QTcpSocket &socket)
{
    while (socket.bytesAvailable() < 4)
        if (!socket.waitForReadyRead(10000))
            return {};
    const qint64 length = qFromBigEndian<quint32>(socket.peek(4).constData());
    while (socket.bytesAvailable() < 4 + length)
        if (!socket.waitForReadyRead(10000))
            return {};
    socket.read(4);
    return QCborValue::fromCbor(socket.read(length)).toMap();
}

bool open(QTcpSocket &socket, quint16 port)
{
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(10000);
}

void send(QTcpSocket &socket, const QByteArray &bytes)
{
    socket.write(bytes);
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(10000)) {
    }
}

struct HttpReply
{
    int status = 0;
    QCborMap message;
};

HttpReply readHttp(QTcpSocket &socket)
{
    TZxHttpParser parser(TZxHttpParser::TMode::Response, 1 << 20);
    while (parser.Next() != TZxHttpParser::TStep::Message) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(10000))
            return {};
        parser.Append(socket.readAll());
    }
    return {parser.Status(), QCborValue::fromCbor(parser.Body()).toMap()};
}

QByteArray httpRequest(const QByteArray &body, const QByteArray &headers, qint64 length)
{
    return "POST /qira HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/cbor\r\nContent-Length: "
           + QByteArray::number(length < 0 ? body.size() : length) + "\r\n" + headers + "\r\n" + body;
}

QString errorClass(const QCborMap &reply)
{
    if (reply.value(QStringLiteral("msg")).toString() != QStringLiteral("error"))
        return QStringLiteral("(no error: %1)").arg(reply.value(QStringLiteral("msg")).toString());
    return reply.value(QStringLiteral("class")).toString();
}

// A store with PlainFile in a branch everybody reads and writes, each check of a raw
// request ending the same way: nothing recorded, and a new client signs in and lists.
struct PlainStore
{
    MethodsFixture fx;
    QString branch = fx.branch(QStringLiteral("Открытая"));
    QByteArray bytes = QByteArrayLiteral("первая версия");

    PlainStore()
    {
        fx.grant(branch, {}, QStringLiteral("2"), QStringLiteral("rtree,rfile,wfile"));
        fx.file(branch, QStringLiteral("обычный"), {{QStringLiteral("fileid"), PlainFile}});
        fx.upload(fx.admin, PlainFile, bytes);
    }

    void checkUnchanged(const QString &before)
    {
        waitForNoTempFiles(fx);
        QCOMPARE(fx.snapshot(), before);
        for (const QString &transport : {QStringLiteral("tcp"), QStringLiteral("http")}) {
            auto fresh = fx.connect(QStringLiteral("user"), transport);
            auto list = MethodsFixture::load(MethodsFixture::getFiles(*fresh, ServerFixture::listOf(branch)),
                                             QStringLiteral("iqFiles"));
            QCOMPARE(MethodsFixture::column(*list, QStringLiteral("fileid")), QStringList{PlainFile});
            QCOMPARE(MethodsFixture::download(*fresh, PlainFile), bytes);
        }
    }
};

// --- guessed identifiers -----------------------------------------------------------------

// What a reading call sent back: its result and output parameters, or its error.
struct Reply
{
    QString outcome;
    QByteArray bytes;
};

Reply ask(Call &call, const QStringList &outputs = {})
{
    Reply reply;
    QString message;
    reply.outcome = outcome([&] { call.run(); }, &message);
    if (reply.outcome != Ok) {
        reply.bytes = message.toUtf8();
        return reply;
    }
    QStringList names = outputs;
    if (call.hasResult())
        names.prepend(ZxReturnValueName);
    for (const QString &name : names) {
        const TZxParam &p = call.param(name);
        reply.bytes += p.DataType() == TZxParamType::Blob ? p.AsBytes() : p.AsString().toUtf8();
    }
    return reply;
}

} // namespace

class TestWireHostile : public QObject
{
    Q_OBJECT

private slots:
    void rawTcp_data();
    void rawTcp();
    void rawHttp_data();
    void rawHttp();
    void chunksOutOfOrder_data();
    void chunksOutOfOrder();
    void partRanges_data();
    void partRanges();
    void guessedIdentifiers_data();
    void guessedIdentifiers();
    void refreshAfterTheGrantIsGone();
};

void TestWireHostile::rawTcp_data()
{
    QTest::addColumn<QString>("login"); // empty: no connect first
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("error"); // empty: the client gives up and closes

    const QString protocol = QStringLiteral("ERemoteProtocolError");
    const QString params = QStringLiteral("ERemoteParamError");
    const QString notConnected = QStringLiteral("ERemoteNotConnected");
    const QString user = QStringLiteral("user");
    const QCborValue fileId = param(QStringLiteral("FileID"), QStringLiteral("string"), PlainFile);
    QByteArray oversized(4, '\0');
    qToBigEndian(quint32(ZxDefaultMaxRequestSize + 1), oversized.data());

    QTest::newRow("CBOR array, not a message") << user << user << frame(QCborArray{QStringLiteral("call"), 2}.toCborValue().toCbor())
                                               << protocol;
    QTest::newRow("bytes after the message") << user << user << frame(putStart() + '\0') << protocol;
    QTest::newRow("length over the request bound") << user << user << oversized + putStart() << protocol;
    QTest::newRow("truncated frame, then closed") << user << user << frame(putStart()).chopped(100) << QString();
    QTest::newRow("call before connect") << QString() << QString() << frame(putStart()) << notConnected;
    QTest::newRow("calls after a refused connect") << user << QStringLiteral("guess") << frame(putStart()) << notConnected;
    QTest::newRow("second connect, as somebody else")
        << user << user << frame(signIn(QStringLiteral("admin"), QStringLiteral("admin"))) << protocol;
    QTest::newRow("FileID as an integer")
        << user << user
        << frame(call(QStringLiteral("GetFileSizeServer"), QCborArray{param(QStringLiteral("FileID"), QStringLiteral("int64"), 1)}))
        << params;
    QTest::newRow("Stream as text") << user << user << frame(putStart(QStringLiteral("bytes as text"))) << params;
    QTest::newRow("FileID missing")
        << user << user
        << frame(call(QStringLiteral("GetFilePart"), QCborArray{param(QStringLiteral("PosFrom"), QStringLiteral("int64"), 0),
                                                                param(QStringLiteral("PosTo"), QStringLiteral("int64"), 10)}))
        << Refused;
    QTest::newRow("FileSize missing")
        << user << user
        << frame(call(QStringLiteral("PutBigFileToServer"),
                      QCborArray{fileId, param(QStringLiteral("Stream"), QStringLiteral("blob"), QByteArray("x"), QStringLiteral("inout")),
                                 param(QStringLiteral("Status"), QStringLiteral("string"), QStringLiteral("Start"))}))
        << Refused;
    QTest::newRow("parameters a map, not a list")
        << user << user << frame(call(QStringLiteral("GetFileSizeServer"), QCborMap{{QStringLiteral("FileID"), PlainFile}}))
        << protocol;
    QTest::newRow("parameter without a type")
        << user << user
        << frame(call(QStringLiteral("GetFileSizeServer"),
                      QCborArray{QCborMap{{QStringLiteral("name"), QStringLiteral("FileID")},
                                          {QStringLiteral("dir"), QStringLiteral("in")},
                                          {QStringLiteral("value"), PlainFile}}}))
        << protocol;
    QTest::newRow("output parameter sent")
        << user << user
        << frame(call(QStringLiteral("GetFileSizeServer"),
                      QCborArray{fileId, param(QStringLiteral("ReturnValue"), QStringLiteral("string"), QStringLiteral("1"),
                                               QStringLiteral("result"))}))
        << params;
    QTest::newRow("one parameter twice, in other case")
        << user << user
        << frame(call(QStringLiteral("GetFileSizeServer"),
                      QCborArray{fileId, param(QStringLiteral("fileid"), QStringLiteral("string"), HiddenFile)}))
        << protocol;
}

void TestWireHostile::rawTcp()
{
    QFETCH(QString, login);
    QFETCH(QString, password);
    QFETCH(QByteArray, request);
    QFETCH(QString, error);
    PlainStore store;
    MethodsFixture &fx = store.fx;
    QTcpSocket raw;
    QVERIFY(open(raw, fx.host->TcpPort()));
    // A sign-in records its time: the snapshot follows a good one and precedes a refused one.
    const bool signsIn = !login.isEmpty() && password == login;
    QString before = signsIn ? QString() : fx.snapshot();
    if (!login.isEmpty()) {
        send(raw, frame(signIn(login, password)));
        const QCborMap reply = readFrame(raw);
        QCOMPARE(reply.value(QStringLiteral("msg")).toString(), signsIn ? QStringLiteral("connected") : QStringLiteral("error"));
    }
    if (signsIn)
        before = fx.snapshot();
    send(raw, request);
    if (error.isEmpty()) {
        raw.abort();
    } else {
        const QCborMap reply = readFrame(raw);
        QCOMPARE(errorClass(reply), error);
        QVERIFY(!reply.value(QStringLiteral("message")).toString().isEmpty());
    }
    store.checkUnchanged(before);
}

void TestWireHostile::rawHttp_data()
{
    QTest::addColumn<QByteArray>("headers"); // {tcp}: a TCP session's token, {ended}: a disconnected one's
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<qint64>("length"); // -1: the body's
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");

    const QString protocol = QStringLiteral("ERemoteProtocolError");
    const QString notConnected = QStringLiteral("ERemoteNotConnected");
    QTest::newRow("body not CBOR") << QByteArray("X-Qira-Session: {ended}\r\n") << QByteArray("PutBigFileToServer Start")
                                   << qint64(-1) << 200 << protocol;
    QTest::newRow("token of a TCP session") << QByteArray("X-Qira-Session: {tcp}\r\n") << putStart() << qint64(-1) << 200
                                            << notConnected;
    QTest::newRow("token of a disconnected session") << QByteArray("X-Qira-Session: {ended}\r\n") << putStart()
                                                     << qint64(-1) << 200 << notConnected;
    QTest::newRow("two session headers") << QByteArray("X-Qira-Session: {ended}\r\nX-Qira-Session: {tcp}\r\n") << putStart()
                                         << qint64(-1) << 200 << notConnected;
    QTest::newRow("Content-Length over the request bound") << QByteArray() << putStart() << ZxDefaultMaxRequestSize + 1
                                                           << 413 << protocol;
}

void TestWireHostile::rawHttp()
{
    QFETCH(QByteArray, headers);
    QFETCH(QByteArray, body);
    QFETCH(qint64, length);
    PlainStore store;
    MethodsFixture &fx = store.fx;

    QTcpSocket tcp;
    QVERIFY(open(tcp, fx.host->TcpPort()));
    send(tcp, frame(signIn(QStringLiteral("user"), QStringLiteral("user"))));
    const QByteArray tcpToken = readFrame(tcp).value(QStringLiteral("session")).toString().toLatin1();
    QVERIFY(!tcpToken.isEmpty());

    QTcpSocket http;
    QVERIFY(open(http, fx.host->HttpPort()));
    send(http, httpRequest(signIn(QStringLiteral("user"), QStringLiteral("user")), {}, -1));
    const QByteArray endedToken = readHttp(http).message.value(QStringLiteral("session")).toString().toLatin1();
    QVERIFY(!endedToken.isEmpty());
    const QByteArray disconnect =
        QCborMap{{QStringLiteral("msg"), QStringLiteral("disconnect")}, {QStringLiteral("id"), 3}}.toCborValue().toCbor();
    send(http, httpRequest(disconnect, "X-Qira-Session: " + endedToken + "\r\n", -1));
    QCOMPARE(readHttp(http).message.value(QStringLiteral("msg")).toString(), QStringLiteral("disconnected"));

    const QString before = fx.snapshot();
    send(http, httpRequest(body, headers.replace("{tcp}", tcpToken).replace("{ended}", endedToken), length));
    const HttpReply reply = readHttp(http);
    QTEST(reply.status, "status");
    QTEST(errorClass(reply.message), "error");
    http.abort();
    store.checkUnchanged(before);
}

void TestWireHostile::chunksOutOfOrder_data()
{
    QTest::addColumn<QStringList>("outcomes"); // of each step in turn
    QTest::addColumn<bool>("recorded");        // whether the new version is the current one
    const QString o = Ok;
    const QString r = Refused;
    // Empty chunks after the End: only the order refuses them, not the size.
    QTest::newRow("empty End again after a complete upload") << QStringList{o, o, o, r, r} << false;
    QTest::newRow("empty Process after End") << QStringList{o, o, o, r, r} << false;
    QTest::newRow("Start again after End begins anew") << QStringList{o, o, o, o, o, o} << true;
    QTest::newRow("chunk one byte over 10 MiB") << QStringList{o, r, r} << false;
    QTest::newRow("negative FileSize") << QStringList{o, r, r} << false;
    QTest::newRow("FileSize beyond 64 bits") << QStringList{o, r, r} << false;
    QTest::newRow("FileSize changes between chunks") << QStringList{o, o, r, r} << false;
    QTest::newRow("EndChange twice") << QStringList{o, o, o, o, r} << true;
    QTest::newRow("the same version checked in again") << QStringList{o, o, o, o, o, o, o, r} << true;
}

void TestWireHostile::chunksOutOfOrder()
{
    QFETCH(QStringList, outcomes);
    QFETCH(bool, recorded);
    PlainStore store;
    MethodsFixture &fx = store.fx;
    auto c = fx.connect(QStringLiteral("user"));
    const QByteArray second = pattern(10485761, 11);
    const QByteArray head = second.left(10485760);
    const QByteArray tail = second.mid(10485760);
    const QString size = QString::number(second.size());
    const QString json = GetQiraHistoryJson(UploadHistoryInfo(PlainFile, ServerFixture::md5(second), second.size()));
    const auto bracket = [&](const char *method) {
        return [&, method] { Call(*c, QString::fromLatin1(method)).text(QStringLiteral("FileHistInfo"), json).run(); };
    };
    const auto put = [&](const QByteArray &chunk, const QString &declared, const char *status) {
        return [&, chunk, declared, status] {
            Call(*c, QStringLiteral("PutBigFileToServer"))
                .text(QStringLiteral("FileID"), PlainFile)
                .blob(QStringLiteral("Stream"), chunk, TZxParamDir::InputOutput)
                .text(QStringLiteral("FileSize"), declared)
                .text(QStringLiteral("Status"), QString::fromLatin1(status))
                .run();
        };
    };
    using Steps = QList<std::function<void()>>;
    const Steps upload{bracket("NewChange"), put(head, size, "Start"), put(tail, size, "End")};
    const QHash<QString, Steps> steps{
        {QStringLiteral("empty End again after a complete upload"), upload + Steps{put({}, size, "End"), bracket("EndChange")}},
        {QStringLiteral("empty Process after End"), upload + Steps{put({}, size, "Process"), bracket("EndChange")}},
        {QStringLiteral("Start again after End begins anew"),
         upload + Steps{put(head, size, "Start"), put(tail, size, "End"), bracket("EndChange")}},
        {QStringLiteral("chunk one byte over 10 MiB"),
         Steps{bracket("NewChange"), put(second, size, "Start"), bracket("EndChange")}},
        {QStringLiteral("negative FileSize"),
         Steps{bracket("NewChange"), put(head, QStringLiteral("-10485761"), "Start"), bracket("EndChange")}},
        {QStringLiteral("FileSize beyond 64 bits"),
         Steps{bracket("NewChange"), put(head, QStringLiteral("99999999999999999999"), "Start"), bracket("EndChange")}},
        {QStringLiteral("FileSize changes between chunks"),
         Steps{bracket("NewChange"), put(head, size, "Start"), put(tail, QString::number(second.size() + 1), "End"),
               bracket("EndChange")}},
        {QStringLiteral("EndChange twice"), upload + Steps{bracket("EndChange"), bracket("EndChange")}},
        {QStringLiteral("the same version checked in again"), upload + Steps{bracket("EndChange")} + upload + Steps{bracket("EndChange")}},
    };
    const auto row = steps.constFind(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(row != steps.constEnd());
    const QString before = fx.snapshot();
    QStringList seen;
    QStringList messages;
    for (const std::function<void()> &step : row.value()) {
        QString message;
        seen.append(outcome(step, &message));
        messages.append(message);
    }
    QVERIFY2(seen == outcomes, qPrintable(seen.join(u',') + u'\n' + messages.join(u'\n')));
    for (qsizetype i = 0; i < seen.size(); ++i)
        QVERIFY2(seen.at(i) == Ok || !messages.at(i).isEmpty(), "a refusal says why");
    c.reset();
    waitForNoTempFiles(fx);
    QVERIFY(fx.tempFiles().isEmpty());
    if (!recorded)
        QCOMPARE(fx.snapshot(), before);

    auto reader = fx.connect(QStringLiteral("other"));
    QVERIFY(MethodsFixture::download(*reader, PlainFile) == (recorded ? second : store.bytes));
    auto history = MethodsFixture::load(Call(*reader, QStringLiteral("GetHistory")).text(QStringLiteral("FileID"), PlainFile).run().bytes(),
                                        QStringLiteral("iqHistory"));
    QCOMPARE(history->RecordCount(), recorded ? 2 : 1);
}

void TestWireHostile::partRanges_data()
{
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<qint64>("offset"); // the expected bytes: offset and length in the content
    QTest::addColumn<qint64>("length");
    QTest::addColumn<QString>("error");

    constexpr qint64 size = 17 * 1048576; // more than one call may fetch
    constexpr qint64 bound = 16 * 1048576 + 1;
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    constexpr qint64 min = std::numeric_limits<qint64>::min();
    QTest::newRow("starts past the end") << size + 1 << size + 100 << qint64(0) << qint64(0) << Ok;
    QTest::newRow("ends past the end") << size - 10 << size + 100 << size - 10 << qint64(10) << Ok;
    QTest::newRow("ends before it starts") << qint64(100) << qint64(99) << qint64(0) << qint64(0) << Ok;
    QTest::newRow("negative start") << qint64(-1) << qint64(10) << qint64(0) << qint64(0) << Refused;
    QTest::newRow("negative end") << qint64(0) << qint64(-1) << qint64(0) << qint64(0) << Refused;
    QTest::newRow("the per-call bound") << qint64(1) << bound << qint64(1) << bound << Ok;
    QTest::newRow("one byte over the per-call bound") << qint64(0) << bound << qint64(0) << qint64(0) << Refused;
    QTest::newRow("to the largest number") << qint64(0) << max << qint64(0) << qint64(0) << Refused;
    QTest::newRow("from and to the largest number") << max << max << qint64(0) << qint64(0) << Ok;
    QTest::newRow("from and to the smallest number") << min << min << qint64(0) << qint64(0) << Refused;
}

void TestWireHostile::partRanges()
{
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(qint64, offset);
    QFETCH(qint64, length);
    QFETCH(QString, error);
    MethodsFixture fx;
    const QString file = fx.file(fx.branch(QStringLiteral("Архив")), QStringLiteral("большой"));
    const QByteArray bytes = pattern(17 * 1048576, 5);
    fx.upload(fx.admin, file, bytes);
    auto c = fx.connect(QStringLiteral("user"));
    QByteArray got;
    QString message;
    const QString seen = outcome(
        [&] {
            got = Call(*c, QStringLiteral("GetFilePart"))
                      .text(QStringLiteral("FileID"), file)
                      .int64(QStringLiteral("PosFrom"), from)
                      .int64(QStringLiteral("PosTo"), to)
                      .run()
                      .bytes();
        },
        &message);
    QVERIFY2(seen == error, qPrintable(seen + QStringLiteral(", ") + QString::number(got.size()) + QStringLiteral(" bytes ") + message));
    QCOMPARE(got.size(), qsizetype(length));
    QVERIFY(got == bytes.mid(offset, length));
    QCOMPARE(MethodsFixture::download(*c, file).size(), bytes.size());
}

void TestWireHostile::guessedIdentifiers_data()
{
    QTest::addColumn<QString>("id");
    QTest::newRow("closed branch") << HiddenBranch;
    QTest::newRow("branch inside a closed one") << HiddenSub;
    QTest::newRow("file of a closed branch") << HiddenFile;
    QTest::newRow("branch seen, files not read") << TreeOnlyBranch;
    QTest::newRow("file of a branch seen, not read") << TreeOnlyFile;
    QTest::newRow("branch of own files only") << OwnOnlyBranch;
    QTest::newRow("another user's file there") << OthersFile;
    QTest::newRow("no such id") << QStringLiteral("00000000-0000-0000-0000-000000000000");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks") << QStringLiteral("   ");
    QTest::newRow("quote") << QStringLiteral("x' OR '1'='1");
    QTest::newRow("statement") << QStringLiteral("x'); DELETE FROM files; --");
    QTest::newRow("LIKE wildcards") << QStringLiteral("hidden%");
    QTest::newRow("single wildcard") << QStringLiteral("hidden_file");
    QTest::newRow("parent path") << QStringLiteral("../../qira.db");
    QTest::newRow("content path") << QStringLiteral("content/../qira.db");
    QTest::newRow("control characters") << QStringLiteral("hidden-file\n\t\r");
    QTest::newRow("5000 characters") << QString(5000, u'h');
}

// A user calls every reading method with an identifier he has no business with, or one
// made up: the reply is a refusal or empty, and carries nothing of what he may not read.
void TestWireHostile::guessedIdentifiers()
{
    QFETCH(QString, id);
    MethodsFixture fx;
    const QString open = fx.branch(QStringLiteral("Открытая"));
    const QString hiddenName = QStringLiteral("Закрытая ") + QString::fromLatin1(BranchMark);
    const QString hiddenSubName = QStringLiteral("Вложенная ") + QString::fromLatin1(BranchMark);
    fx.store->insertBranch(fx.admin, HiddenBranch, {}, hiddenName);
    fx.store->insertBranch(fx.admin, HiddenSub, HiddenBranch, hiddenSubName);
    fx.store->insertBranch(fx.admin, TreeOnlyBranch, {}, QStringLiteral("Только дерево"));
    fx.store->insertBranch(fx.admin, OwnOnlyBranch, {}, QStringLiteral("Свои"));
    fx.grant(HiddenBranch, QStringLiteral("other"), {}, QStringLiteral("rtree,rfile,wfile"));
    fx.grant(TreeOnlyBranch, {}, QStringLiteral("2"), QStringLiteral("rtree"));
    fx.grant(OwnOnlyBranch, {}, QStringLiteral("2"), QStringLiteral("rtree,rfile,wfile,rmyfile"));

    QByteArray secret;
    while (secret.size() < 77777)
        secret += FileMark + " секрет ";
    secret.truncate(77777);
    const QString secretName = QString::fromLatin1(FileMark) + QStringLiteral(" договор");
    const QString plain = fx.file(open, QStringLiteral("обычный"));
    fx.upload(fx.admin, plain, "видимое содержимое");
    fx.file(HiddenBranch, secretName, {{QStringLiteral("fileid"), HiddenFile}});
    fx.file(TreeOnlyBranch, secretName, {{QStringLiteral("fileid"), TreeOnlyFile}});
    fx.file(OwnOnlyBranch, secretName, {{QStringLiteral("fileid"), OthersFile}}, &fx.other);
    fx.upload(fx.admin, HiddenFile, secret);
    fx.upload(fx.admin, TreeOnlyFile, secret);
    fx.upload(fx.other, OthersFile, secret);
    const QList<QByteArray> leaks{FileMark, BranchMark, ServerFixture::md5(secret).toLatin1(),
                                  QCryptographicHash::hash(secret, QCryptographicHash::Sha256).toHex(), "77777", "75.954"};

    auto c = fx.connect(QStringLiteral("user"));
    const QString before = fx.snapshot();

    struct Asked
    {
        QString what;
        Reply reply;
    };
    QList<Asked> asked;
    const auto note = [&](const QString &what, Call &call, const QStringList &outputs = {}) {
        asked.append({what, ask(call, outputs)});
    };
    const auto byId = [&](const char *method, const char *name) {
        Call call(*c, QString::fromLatin1(method));
        call.text(QString::fromLatin1(name), id);
        note(QString::fromLatin1(method), call);
    };
    struct Scope
    {
        const char *what;
        std::function<void(TQiraFilter &)> set;
    };
    const QList<Scope> scopes{
        {"branch", [&](TQiraFilter &f) { f.TreeID = id; }},
        {"branch and sub-branches", [&](TQiraFilter &f) { f.TreeID = id; f.IsRecursive = true; }},
        {"branch, deleted and previews", [&](TQiraFilter &f) { f.TreeID = id; f.IsShowDel = true; f.IsPreview = true; }},
        {"file in an open branch", [&](TQiraFilter &f) { f.TreeID = open; f.FileID = id; }},
        {"file anywhere, with preview", [&](TQiraFilter &f) { f.IsShowAll = true; f.FileID = id; f.IsPreview = true; }},
    };
    for (const Scope &scope : scopes) {
        TQiraFilter filter = ServerFixture::listOf({});
        scope.set(filter);
        for (const char *method : {"GetFiles", "GetFileList", "GetKolRows"}) {
            Call call(*c, QString::fromLatin1(method));
            call.text(QStringLiteral("QiraFilter"), MethodsFixture::filterJson(filter));
            const QStringList outputs = QByteArray(method) == "GetKolRows" ? QStringList{QStringLiteral("TotalSize")} : QStringList{};
            note(QStringLiteral("%1, %2").arg(QString::fromLatin1(method), QString::fromLatin1(scope.what)), call, outputs);
        }
    }
    for (const bool deleted : {false, true}) {
        Call call(*c, QStringLiteral("GetTree"));
        call.text(QStringLiteral("ParentID"), id).flag(QStringLiteral("IsShowDel"), deleted);
        note(QStringLiteral("GetTree"), call);
    }
    for (const bool raise : {false, true}) {
        Call call(*c, QStringLiteral("GetServerFileName"));
        call.text(QStringLiteral("FileID"), id).flag(QStringLiteral("IsExcept"), raise);
        note(QStringLiteral("GetServerFileName"), call);
    }
    for (const QString &name : {hiddenName, hiddenSubName, id}) {
        for (const QString &parent : {QString(), id}) {
            Call call(*c, QStringLiteral("SearchNode"));
            call.text(QStringLiteral("ParentID"), parent).text(QStringLiteral("NodeName"), name);
            note(QStringLiteral("SearchNode under \"%1\"").arg(parent), call);
        }
    }
    {
        Call call(*c, QStringLiteral("GetFilePart"));
        call.text(QStringLiteral("FileID"), id).int64(QStringLiteral("PosFrom"), 0).int64(QStringLiteral("PosTo"), 1048576);
        note(QStringLiteral("GetFilePart"), call);
    }
    byId("GetRights", "TreeID");
    byId("FindTree", "TreeID");
    byId("GetTreeRight", "TreeID");
    byId("GetClientFileName", "FileID");
    byId("GetFileSizeServer", "FileID");
    byId("GetHistory", "FileID");
    byId("CreatePreview", "FileID");
    {
        Call call(*c, QStringLiteral("RefreshFiles"));
        note(QStringLiteral("RefreshFiles"), call);
    }

    const QStringList allowed{Ok, Refused, QStringLiteral("EQiraRightsError")};
    for (const Asked &a : asked) {
        const QString where = a.what + QStringLiteral(": ") + a.reply.outcome + QStringLiteral(": ")
                              + QString::fromUtf8(a.reply.bytes.left(300));
        QVERIFY2(allowed.contains(a.reply.outcome), qPrintable(where));
        for (const QByteArray &leak : leaks)
            QVERIFY2(!a.reply.bytes.contains(leak), qPrintable(QString::fromLatin1(leak) + QStringLiteral(" in ") + where));
    }
    QCOMPARE(fx.snapshot(), before);
    QVERIFY(fx.tempFiles().isEmpty());
    auto fresh = fx.connect(QStringLiteral("user"));
    QCOMPARE(MethodsFixture::download(*fresh, plain), QByteArray("видимое содержимое"));
}

// The last list read again after the user lost the right to read it holds none of it.
void TestWireHostile::refreshAfterTheGrantIsGone()
{
    MethodsFixture fx;
    const QString branch = fx.branch(QStringLiteral("Бывшая"));
    fx.grant(branch, {}, QStringLiteral("2"), QStringLiteral("rtree,rfile"));
    const QString file = fx.file(branch, QString::fromLatin1(FileMark));
    fx.upload(fx.admin, file, FileMark);
    auto c = fx.connect(QStringLiteral("user"), QStringLiteral("http"));
    QVERIFY(MethodsFixture::getFiles(*c, ServerFixture::listOf(branch)).contains(FileMark));
    fx.grant(branch, QStringLiteral("user"), {}, QString()); // his own grant of nothing wins

    QByteArray refreshed;
    const QString seen = outcome([&] { refreshed = Call(*c, QStringLiteral("RefreshFiles")).run().bytes(); });
    QVERIFY2(seen == QStringLiteral("EQiraRightsError") || seen == Ok, qPrintable(seen));
    QVERIFY(!refreshed.contains(FileMark));
    QCOMPARE(outcome([&] { MethodsFixture::download(*c, file); }), QStringLiteral("EQiraRightsError"));
    auto top = MethodsFixture::load(Call(*c, QStringLiteral("GetTree")).text(QStringLiteral("ParentID"), {}).run().bytes(),
                                    QStringLiteral("iqTree"));
    QVERIFY(!MethodsFixture::column(*top, QStringLiteral("treeid")).contains(branch));
}

QTEST_GUILESS_MAIN(TestWireHostile)
#include "tst_wirehostile.moc"
