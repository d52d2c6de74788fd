#include "tst_transferfixture.h"

#include "recordingresponder.h"
#include "zxinifile.h"
#include "zxroot.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

constexpr qint64 MiB = 1048576;

using Range = QPair<qint64, qint64>;
using Ranges = QList<Range>;

Ranges downloadRanges(const WireProxy &proxy)
{
    Ranges ranges;
    for (const WireProxy::Call &call : proxy.calls(QStringLiteral("GetFilePart")))
        ranges.append({call.integer(QStringLiteral("PosFrom")), call.integer(QStringLiteral("PosTo"))});
    return ranges;
}

// "Start 10485760" for each chunk sent.
QStringList uploadChunks(const WireProxy &proxy)
{
    QStringList chunks;
    for (const WireProxy::Call &call : proxy.calls(QStringLiteral("PutBigFileToServer")))
        chunks.append(call.text(QStringLiteral("Status")) + u' ' + QString::number(call.bytes(QStringLiteral("Stream")).size()));
    return chunks;
}

} // namespace

// Files travel in chunks between the client and the real server: exact ranges and
// statuses, byte-for-byte contents, the progress panel, and the faults a broken server
// or connection makes.
class TestTransfer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void progressScale_data();
    void progressScale();
    void download_data();
    void download();
    void upload_data();
    void upload();
    void singleChunkBarFollowsBytes();
    void windowStaysResponsive();
    void shortChunkIsReported();
    void droppedConnectionLeavesNoCopy();
    void uploadOfMissingFile();
    void changeBracketOfEmptyFile();

private:
    TdmQiraClientDatas &signIn();

    std::unique_ptr<TransferServer> m_server;
    std::unique_ptr<Tzxroot> m_root;
    std::unique_ptr<TdmQiraClientDatas> m_data;
    std::unique_ptr<QTemporaryDir> m_local;
    RecordingView m_view;
    QTemporaryDir m_settings;
    QString m_branch;
};

void TestTransfer::initTestCase()
{
    SetSettingsFilePath(m_settings.filePath(QStringLiteral("client.ini")));
    m_root = std::make_unique<Tzxroot>();
    m_root->Init();
    m_server = std::make_unique<TransferServer>();
    m_branch = m_server->addBranch(QStringLiteral("Передача"));
}

void TestTransfer::init()
{
    m_local = std::make_unique<QTemporaryDir>();
    m_view = RecordingView();
    m_server->proxy->setReplyHook({});
}

void TestTransfer::cleanup()
{
    m_data.reset();
    m_server->proxy->setReplyHook({});
    m_server->proxy->clear();
}

TdmQiraClientDatas &TestTransfer::signIn()
{
    m_data = std::make_unique<TdmQiraClientDatas>(&m_view);
    if (!m_data->Auth(m_server->connectDs(QStringLiteral("admin"), m_local->path())))
        qFatal("sign-in failed");
    m_server->proxy->clear();
    return *m_data;
}

void TestTransfer::progressScale_data()
{
    QTest::addColumn<qint64>("pos");
    QTest::addColumn<qint64>("max");
    QTest::addColumn<int>("expected");
    QTest::newRow("nothing to scale") << qint64(0) << qint64(0) << 0;
    QTest::newRow("start") << qint64(0) << qint64(9) << 0;
    QTest::newRow("end") << qint64(9) << qint64(9) << 0x7FFFFFFE;
    QTest::newRow("end of two") << qint64(1) << qint64(1) << 0x7FFFFFFE;
    QTest::newRow("half of three") << qint64(1) << qint64(2) << 1073741823;
    // 1/4 of the range is 536870911.5: the half goes to the even neighbour
    QTest::newRow("tie to even") << qint64(1) << qint64(4) << 536870912;
    QTest::newRow("bytes of a chunk") << qint64(1024) << qint64(1048576) << 2097152;
}

void TestTransfer::progressScale()
{
    QFETCH(qint64, pos);
    QFETCH(qint64, max);
    QFETCH(int, expected);
    QCOMPARE(TdmQiraClientDatas::ProgressScale(pos, max), expected);
}

void TestTransfer::download_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<Ranges>("first");  // the first ranges asked for
    QTest::addColumn<Range>("last");
    QTest::addColumn<int>("calls");
    QTest::newRow("empty: no call") << qint64(0) << Ranges{} << Range{-1, -1} << 0;
    QTest::newRow("one chunk exactly") << qint64(MiB) << Ranges{{0, MiB}} << Range{0, MiB} << 1;
    QTest::newRow("one byte more: an empty second range")
        << qint64(MiB + 1) << Ranges{{0, MiB}, {MiB + 1, MiB + 1}} << Range{MiB + 1, MiB + 1} << 2;
    QTest::newRow("two chunks") << qint64(2 * MiB) << Ranges{{0, MiB}, {MiB + 1, 2 * MiB}} << Range{MiB + 1, 2 * MiB} << 2;
    QTest::newRow("ten chunks") << qint64(10 * MiB) << Ranges{{0, MiB}, {MiB + 1, 2 * MiB}}
                                << Range{9 * MiB + 1, 10 * MiB} << 10;
    QTest::newRow("ten chunks and a byte") << qint64(10 * MiB + 1) << Ranges{{0, MiB}, {MiB + 1, 2 * MiB}}
                                           << Range{10 * MiB + 1, 10 * MiB + 1} << 11;
    QTest::newRow("25 MiB") << qint64(25 * MiB) << Ranges{{0, MiB}} << Range{24 * MiB + 1, 25 * MiB} << 25;
}

void TestTransfer::download()
{
    QFETCH(qint64, size);
    QFETCH(Ranges, first);
    QFETCH(Range, last);
    QFETCH(int, calls);
    RecordingResponder responder;
    const QByteArray content = randomBytes(size, quint32(size));
    const QString fileId = m_server->addFile(m_branch, QStringLiteral("скачать %1").arg(size), QStringLiteral("bin"), content);
    TdmQiraClientDatas &data = signIn();
    const QString path = m_local->filePath(QStringLiteral("скачанный.bin"));
    writeFile(path, QByteArrayLiteral("старая копия другого размера"));

    QVERIFY(data.GetBigFile(path, fileId, size, true));

    QVERIFY2(errorRows(data).isEmpty(), qPrintable(errorRows(data).join(u'|')));
    QVERIFY(responder.boxes.isEmpty());
    QVERIFY(readAll(path) == content);
    const Ranges ranges = downloadRanges(*m_server->proxy);
    QCOMPARE(ranges.size(), calls);
    QCOMPARE(ranges.mid(0, first.size()), first);
    if (calls > 0)
        QCOMPARE(ranges.last(), last);
    for (int i = 1; i < ranges.size(); ++i) // no gap, no overlap
        QCOMPARE(ranges[i].first, ranges[i - 1].second + 1);
    // the panel: shown, filled, hidden again
    QCOMPARE(m_view.progressShows, (QList<bool>{true, false}));
    QCOMPARE(m_view.fileName, path);
    QCOMPARE(m_view.totalSize, QStringLiteral("Общий размер: ") + TdmQiraClientDatas::MegabyteText(size) + QStringLiteral(" Мб"));
    QCOMPARE(m_view.progressMax, 0x7FFFFFFE);
    QCOMPARE(m_view.positions.first(), 0);
    if (calls > 1) {
        QCOMPARE(m_view.positions.last(), 0x7FFFFFFE);
        QCOMPARE(m_view.sended.last(), QStringLiteral("Передано: ") + TdmQiraClientDatas::MegabyteText(size) + QStringLiteral(" Мб"));
    }
    QCOMPARE(filesUnder(m_local->path()), QStringList{QStringLiteral("скачанный.bin")});
}

void TestTransfer::upload_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QStringList>("chunks");
    QTest::newRow("one byte") << qint64(1) << QStringList{QStringLiteral("Start 1")};
    QTest::newRow("1 MiB and a byte") << qint64(MiB + 1) << QStringList{QStringLiteral("Start 1048577")};
    QTest::newRow("one chunk exactly: no End") << qint64(10 * MiB) << QStringList{QStringLiteral("Start 10485760")};
    QTest::newRow("one byte more") << qint64(10 * MiB + 1)
                                   << QStringList{QStringLiteral("Start 10485760"), QStringLiteral("End 1")};
    QTest::newRow("25 MiB") << qint64(25 * MiB)
                            << QStringList{QStringLiteral("Start 10485760"), QStringLiteral("Process 10485760"),
                                           QStringLiteral("End 5242880")};
}

void TestTransfer::upload()
{
    QFETCH(qint64, size);
    QFETCH(QStringList, chunks);
    RecordingResponder responder;
    const QString fileId = m_server->addFile(m_branch, QStringLiteral("отправить %1").arg(size), QStringLiteral("bin"),
                                             QByteArrayLiteral("первая версия"));
    const QByteArray content = randomBytes(size, quint32(size) + 7);
    const QString path = m_local->filePath(QStringLiteral("отправка.bin"));
    writeFile(path, content);
    TdmQiraClientDatas &data = signIn();

    data.SendFileToServer(fileId, path, QString());

    QVERIFY2(errorRows(data).isEmpty(), qPrintable(errorRows(data).join(u'|')));
    QVERIFY(responder.boxes.isEmpty());
    QCOMPARE(m_server->proxy->methods(),
             QStringList{QStringLiteral("NewChange")} + QStringList(chunks.size(), QStringLiteral("PutBigFileToServer"))
                 + QStringList{QStringLiteral("EndChange")});
    QCOMPARE(uploadChunks(*m_server->proxy), chunks);
    for (const WireProxy::Call &call : m_server->proxy->calls(QStringLiteral("PutBigFileToServer")))
        QCOMPARE(call.text(QStringLiteral("FileSize")), QString::number(size));
    // the change record names the content's digest and size, the same in both calls
    const TQiraHistoryInfo opened =
        DecodeQiraHistoryInfo(m_server->proxy->calls(QStringLiteral("NewChange")).first().text(QStringLiteral("FileHistInfo")));
    QCOMPARE(opened.md5_file, QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex()));
    QCOMPARE(opened.size_file, double(size));
    QCOMPARE(m_server->proxy->calls(QStringLiteral("EndChange")).first().text(QStringLiteral("FileHistInfo")),
             m_server->proxy->calls(QStringLiteral("NewChange")).first().text(QStringLiteral("FileHistInfo")));
    QVERIFY(m_server->content(fileId) == content);
    QCOMPARE(m_view.progressShows, (QList<bool>{true, false}));
    QCOMPARE(m_view.positions.first(), 0);
}

void TestTransfer::singleChunkBarFollowsBytes()
{
    const QString fileId = m_server->addFile(m_branch, QStringLiteral("полоса"), QStringLiteral("bin"), randomBytes(MiB, 3));
    TdmQiraClientDatas &data = signIn();
    QVERIFY(data.GetBigFile(m_local->filePath(QStringLiteral("полоса.bin")), fileId, MiB, false));
    // 0 before the chunk, ProgressScale(0, 0) at its start, then one position per
    // 1024 bytes written
    const QList<int> positions = m_view.positions;
    QCOMPARE(positions.size(), 2 + 1024);
    QCOMPARE(positions.mid(0, 2), (QList<int>{0, 0}));
    QCOMPARE(positions[2], TdmQiraClientDatas::ProgressScale(1024, MiB));
    QCOMPARE(positions[513], TdmQiraClientDatas::ProgressScale(512 * 1024, MiB));
    QCOMPARE(positions.last(), 0x7FFFFFFE);
    QCOMPARE(m_view.sended, (QStringList{QStringLiteral("Передано: 0 Мб"), QStringLiteral("Передано: 1 Мб")}));
    // not asked to hide it: the caller does
    QVERIFY(m_view.progressVisible);

    // two chunks: the bar goes by chunks
    m_view.clearProgress();
    const QString twoId = m_server->addFile(m_branch, QStringLiteral("две"), QStringLiteral("bin"), randomBytes(2 * MiB, 4));
    QVERIFY(data.GetBigFile(m_local->filePath(QStringLiteral("две.bin")), twoId, 2 * MiB, true));
    QCOMPARE(m_view.positions, (QList<int>{0, 0, 0x7FFFFFFE}));
    QCOMPARE(m_view.sended, (QStringList{QStringLiteral("Передано: 0 Мб"), QStringLiteral("Передано: 1 Мб"),
                                         QStringLiteral("Передано: 1 Мб"), QStringLiteral("Передано: 2 Мб")}));
}

void TestTransfer::windowStaysResponsive()
{
    const QString fileId = m_server->addFile(m_branch, QStringLiteral("отзывчивость"), QStringLiteral("bin"),
                                             randomBytes(8 * MiB, 5));
    TdmQiraClientDatas &data = signIn();
    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start();
    // nothing here runs the event loop: only the transfer itself can
    QVERIFY(data.GetBigFile(m_local->filePath(QStringLiteral("отзывчивость.bin")), fileId, 8 * MiB, true));
    QVERIFY(ticks > 0);
}

void TestTransfer::shortChunkIsReported()
{
    RecordingResponder responder;
    const QByteArray content = randomBytes(2 * MiB, 6);
    const QString fileId = m_server->addFile(m_branch, QStringLiteral("короткий"), QStringLiteral("bin"), content);
    TdmQiraClientDatas &data = signIn();
    std::atomic<int> seen{0};
    m_server->proxy->setReplyHook([&seen](const WireProxy::Call &call, TZxRemoteMessage &reply) {
        if (call.method == QStringLiteral("GetFilePart") && seen++ == 0) {
            TZxParam *bytes = WireProxy::result(reply);
            bytes->SetBytes(bytes->AsBytes().chopped(1));
        }
        return true;
    });
    const QString path = m_local->filePath(QStringLiteral("короткий.bin"));

    QVERIFY(!data.GetBigFile(path, fileId, 2 * MiB, true));

    QCOMPARE(errorRows(data), QStringList{QStringLiteral("Копирование файла\nФайл не совпадает по длине с первичным файлом!\r"
                                                         "Размер файла-источника: 2097152\rРазмер полученного файла: 2097151")});
    QVERIFY(m_view.messVisible);
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(filesUnder(m_local->path()).isEmpty());
    QCOMPARE(m_view.progressShows, (QList<bool>{true, false}));
}

void TestTransfer::droppedConnectionLeavesNoCopy()
{
    RecordingResponder responder;
    const QString fileId = m_server->addFile(m_branch, QStringLiteral("обрыв"), QStringLiteral("bin"), randomBytes(5 * MiB, 7));
    TdmQiraClientDatas &data = signIn();
    std::atomic<int> seen{0};
    m_server->proxy->setReplyHook([&seen](const WireProxy::Call &call, TZxRemoteMessage &) {
        return !(call.method == QStringLiteral("GetFilePart") && ++seen == 3);
    });
    const QString path = m_local->filePath(QStringLiteral("обрыв.bin"));
    const QByteArray older = QByteArrayLiteral("прежняя копия");
    writeFile(path, older);

    QVERIFY(!data.GetBigFile(path, fileId, 5 * MiB, true));

    const QStringList rows = errorRows(data);
    QCOMPARE(rows.size(), 1);
    QVERIFY2(rows[0].startsWith(QStringLiteral("Копирование файла\n")), qPrintable(rows[0]));
    QVERIFY2(rows[0].contains(QStringLiteral(". Функция GetBigFile. Ошибка выполнения удаленной процедуры.\r")), qPrintable(rows[0]));
    QCOMPARE(downloadRanges(*m_server->proxy).size(), 3); // nothing retried
    // the half-fetched bytes are gone; what was there before is left as it was
    QCOMPARE(readAll(path), older);
    QCOMPARE(filesUnder(m_local->path()), QStringList{QStringLiteral("обрыв.bin")});
    QVERIFY(!m_view.progressVisible);
}

void TestTransfer::uploadOfMissingFile()
{
    RecordingResponder responder;
    TdmQiraClientDatas &data = signIn();
    const QString path = m_local->filePath(QStringLiteral("нет такого.txt"));
    QVERIFY(!data.PutBigFile(path, NewID()));
    QCOMPARE(errorRows(data), QStringList{QStringLiteral("Отправка файла на сервер\nФайл не найден! \rИмя файла: ") + path});
    QVERIFY(m_server->proxy->calls().isEmpty());
    QVERIFY(m_view.progressShows.isEmpty());
}

void TestTransfer::changeBracketOfEmptyFile()
{
    RecordingResponder responder;
    const QString fileId = m_server->addFile(m_branch, QStringLiteral("пустой"), QStringLiteral("txt"), QByteArrayLiteral("было"));
    const QString path = m_local->filePath(QStringLiteral("пустой.txt"));
    writeFile(path, {});
    TdmQiraClientDatas &data = signIn();
    data.SendFileToServer(fileId, path, QString());
    // no chunk, no message; the bracket still goes out
    QCOMPARE(m_server->proxy->methods(), (QStringList{QStringLiteral("NewChange"), QStringLiteral("EndChange")}));
    QVERIFY(m_view.progressShows.isEmpty());
    QVERIFY(errorRows(data).isEmpty());
    QCOMPARE(DecodeQiraHistoryInfo(m_server->proxy->calls().first().text(QStringLiteral("FileHistInfo"))).md5_file,
             QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
    QCOMPARE(m_server->server.store->fileSize(m_server->admin, fileId), qint64(0));
}

QTEST_MAIN(TestTransfer)
#include "tst_transfer_chunks.moc"
