#include "qiracheckinsteps.h"
#include "qiraerrors.h"
#include "serverfixture.h"

#include <QRandomGenerator>

#include <csignal>
#include <sys/resource.h>

// The content store and the database failing in the middle of a check-in, as a disk that
// refuses a write, a flush or a rename, or a database that refuses a statement would: the
// check-in ends with a clear error, the store is exactly as before, the previous version
// stays readable, and the next check-in succeeds.
class TestStoreFaults : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QiraCheckInSteps::setHook({}); }
    void failingStepKeepsPreviousVersion_data();
    void failingStepKeepsPreviousVersion();
    void failureAfterSharedContentKeepsIt();
    void fullDiskKeepsPreviousVersion();
};

namespace {

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

// Makes the given occurrence of a step fail.
void failAt(TQiraCheckInStep step, int occurrence)
{
    auto seen = std::make_shared<int>(0);
    QiraCheckInSteps::setHook([=](TQiraCheckInStep reached) { return reached == step && ++*seen == occurrence; });
}

// Runs a check-in that must fail with a store error; returns its message.
QString failedCheckIn(ServerFixture &fx, const QString &fileId, const QByteArray &bytes)
{
    try {
        fx.upload(fx.admin, fileId, bytes);
    } catch (const EQiraStoreError &error) {
        return error.message();
    } catch (const EZxError &error) {
        return QStringLiteral("unexpected %1: %2").arg(error.className(), error.message());
    }
    return QStringLiteral("the check-in succeeded");
}

} // namespace

void TestStoreFaults::failingStepKeepsPreviousVersion_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<QString>("message");
    const auto row = [](const char *tag, TQiraCheckInStep step, int occurrence, const char *message) {
        QTest::newRow(tag) << int(step) << occurrence << QString::fromUtf8(message);
    };
    row("first chunk not written", TQiraCheckInStep::TempWrite, 1, "Ошибка записи временного файла");
    row("second chunk not written", TQiraCheckInStep::TempWrite, 2, "Ошибка записи временного файла");
    row("content not flushed", TQiraCheckInStep::ContentSync, 1, "Не удается записать на диск временный файл");
    row("content not renamed", TQiraCheckInStep::ContentRename, 1, "Не удается переместить");
    row("version row refused", TQiraCheckInStep::VersionInsert, 1, "Ошибка базы данных");
    row("file row refused", TQiraCheckInStep::FileUpdate, 1, "Ошибка базы данных");
    row("commit refused", TQiraCheckInStep::VersionCommit, 1, "Ошибка базы данных");
}

void TestStoreFaults::failingStepKeepsPreviousVersion()
{
    QFETCH(int, step);
    QFETCH(int, occurrence);
    QFETCH(QString, message);
    ServerFixture fx;
    const QString fileId = fx.file(fx.branch(QStringLiteral("B")), QStringLiteral("doc"));
    const QByteArray first = randomBytes(1048576 + 12, 1);
    fx.upload(fx.admin, fileId, first);
    const QString before = fx.snapshot();

    failAt(TQiraCheckInStep(step), occurrence);
    const QByteArray second = randomBytes(10485760 + 4096, 2); // two chunks
    const QString got = failedCheckIn(fx, fileId, second);
    QiraCheckInSteps::setHook({});
    QVERIFY2(got.startsWith(message), qPrintable(got));

    QCOMPARE(fx.snapshot(), before);
    QCOMPARE(fx.download(fx.admin, fileId), first);
    fx.upload(fx.admin, fileId, second);
    QCOMPARE(fx.download(fx.admin, fileId), second);
    QCOMPARE(fx.fileValue(fileId, QStringLiteral("count_history")).toLongLong(), 2);
}

// Content is stored once for all files that hold the same bytes: a check-in failing after
// it found them stored must leave them to the file that owns them.
void TestStoreFaults::failureAfterSharedContentKeepsIt()
{
    ServerFixture fx;
    const QString branch = fx.branch(QStringLiteral("B"));
    const QString owner = fx.file(branch, QStringLiteral("owner"));
    const QString copy = fx.file(branch, QStringLiteral("copy"));
    const QByteArray bytes = randomBytes(65536, 3);
    fx.upload(fx.admin, owner, bytes);
    const QString before = fx.snapshot();

    failAt(TQiraCheckInStep::VersionCommit, 1);
    QVERIFY(failedCheckIn(fx, copy, bytes).startsWith(QStringLiteral("Ошибка базы данных")));
    QiraCheckInSteps::setHook({});
    QCOMPARE(fx.snapshot(), before);
    QCOMPARE(fx.download(fx.admin, owner), bytes);
}

// A real refusal from the system: a file size limit makes writes past it fail as on a
// full disk (the limit is the process's; the database may be in another process).
void TestStoreFaults::fullDiskKeepsPreviousVersion()
{
    ServerFixture fx;
    const QString fileId = fx.file(fx.branch(QStringLiteral("B")), QStringLiteral("doc"));
    const QByteArray first = randomBytes(65536, 4);
    fx.upload(fx.admin, fileId, first);
    const QString before = fx.snapshot();

    rlimit saved{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1048576;
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    const QString got = failedCheckIn(fx, fileId, randomBytes(3 * 1048576, 5));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY2(got.startsWith(QStringLiteral("Ошибка записи временного файла")), qPrintable(got));

    QCOMPARE(fx.snapshot(), before);
    QCOMPARE(fx.download(fx.admin, fileId), first);
}

QTEST_GUILESS_MAIN(TestStoreFaults)
#include "tst_storefaults.moc"
