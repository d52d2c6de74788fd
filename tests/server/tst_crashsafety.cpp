#include "qiracheckinsteps.h"
#include "serverfixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QThread>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

// A server process killed (SIGKILL) in the middle of check-ins and the store opened again
// on the same data: every file keeps its recorded versions and gains at most one per
// interrupted check-in, whole and matching its digest, and nothing is left over. The
// kills fall at each named step of the check-in, and at random moments as well.
class TestCrashSafety : public QObject
{
    Q_OBJECT

private slots:
    void killedAtEachStep_data();
    void killedAtEachStep();
    void killedDuringCheckIns_data();
    void killedDuringCheckIns();
};

namespace {

QByteArray payload(quint32 seed, int round, qsizetype base = 3 * 1048576)
{
    QRandomGenerator random(seed * 1000u + quint32(round));
    QByteArray bytes(base + 4 * int(random.bounded(16384)), Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    return bytes;
}

// What the database and the content folder hold must agree, version by version.
void verifyStore(ServerFixture &fx, const QString &fileId, qint64 versionsBefore, qint64 &versionsAfter)
{
    QVERIFY2(fx.tempFiles().isEmpty(), qPrintable(fx.tempFiles().join(u' ')));
    QSqlQuery versions(fx.store->connection());
    QVERIFY(versions.exec(QStringLiteral("SELECT ordnum, md5_file, size_bytes, content_key FROM versions"
                                         " WHERE fileid = '%1' ORDER BY ordnum").arg(fileId)));
    QSet<QString> used;
    qint64 count = 0;
    QString lastMd5;
    while (versions.next()) {
        ++count;
        QCOMPARE(versions.value(0).toLongLong(), count);
        const QString key = versions.value(3).toString();
        QFile content(fx.store->content().pathOf(key));
        QVERIFY2(content.open(QIODevice::ReadOnly), qPrintable(key));
        const QByteArray bytes = content.readAll();
        QCOMPARE(qint64(bytes.size()), versions.value(2).toLongLong());
        QCOMPARE(ServerFixture::md5(bytes), versions.value(1).toString());
        QCOMPARE(TQiraContentStore::keyOf(bytes), key);
        lastMd5 = versions.value(1).toString();
        used.insert(key);
    }
    // An interrupted check-in adds nothing or one whole version, never more.
    QVERIFY2(count == versionsBefore || count == versionsBefore + 1,
             qPrintable(QStringLiteral("%1 versions, %2 before").arg(count).arg(versionsBefore)));
    QCOMPARE(fx.fileValue(fileId, QStringLiteral("count_history")).toLongLong(), count);
    QCOMPARE(fx.fileValue(fileId, QStringLiteral("md5_file")).toString(), lastMd5);
    // No content that no version refers to.
    const QStringList keys = fx.store->content().keys();
    QCOMPARE(QSet<QString>(keys.begin(), keys.end()), used);
    versionsAfter = count;
}

// Runs a check-in in a child process that kills itself at the given occurrence of a step;
// returns false when the child was not killed.
bool checkInKilledAt(ServerFixture &fx, const QString &fileId, const QByteArray &bytes, TQiraCheckInStep step,
                     int occurrence)
{
    fx.store.reset(); // the child opens its own connection
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        int seen = 0;
        QiraCheckInSteps::setHook([&](TQiraCheckInStep reached) {
            if (reached == step && ++seen == occurrence)
                ::kill(::getpid(), SIGKILL);
            return false;
        });
        try {
            fx.store = fx.backend.open(fx.dataDir(), fx.storeOptions);
            fx.upload(fx.admin, fileId, bytes);
        } catch (...) {
            _exit(3);
        }
        _exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    fx.reopen();
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

} // namespace

void TestCrashSafety::killedAtEachStep_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("occurrence");
    for (quint32 seed : {11u, 29u, 53u}) {
        for (int step = 0; step < QiraCheckInSteps::count; ++step) {
            const QString name = QiraCheckInSteps::name(TQiraCheckInStep(step));
            // Two chunks: before the first and before the second.
            const int occurrences = TQiraCheckInStep(step) == TQiraCheckInStep::TempWrite ? 2 : 1;
            for (int occurrence = 1; occurrence <= occurrences; ++occurrence)
                QTest::addRow("%s #%d, seed %u", qPrintable(name), occurrence, seed) << seed << step << occurrence;
        }
    }
}

void TestCrashSafety::killedAtEachStep()
{
    QFETCH(quint32, seed);
    QFETCH(int, step);
    QFETCH(int, occurrence);
    ServerFixture fx;
    const QString fileId = fx.file(fx.branch(QStringLiteral("B")), QStringLiteral("doc"));
    const QByteArray first = payload(seed, 0);
    fx.upload(fx.admin, fileId, first);

    const QByteArray sent = payload(seed, 1, 10485760); // just over one chunk
    QVERIFY2(checkInKilledAt(fx, fileId, sent, TQiraCheckInStep(step), occurrence),
             "the check-in ended before the step was reached");
    qint64 after = 0;
    verifyStore(fx, fileId, 1, after);
    if (QTest::currentTestFailed())
        return;
    // Only a kill after the commit keeps the new version.
    const bool committed = TQiraCheckInStep(step) == TQiraCheckInStep::Reply;
    QCOMPARE(after, committed ? 2 : 1);
    QCOMPARE(fx.download(fx.admin, fileId), committed ? sent : first);
    const QByteArray next = payload(seed, 2);
    fx.upload(fx.admin, fileId, next);
    QCOMPARE(fx.download(fx.admin, fileId), next);
}

void TestCrashSafety::killedDuringCheckIns_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {11u, 29u, 53u})
        QTest::addRow("seed %u", seed) << seed;
}

void TestCrashSafety::killedDuringCheckIns()
{
    QFETCH(quint32, seed);
    constexpr int killPoints = 12;
    ServerFixture fx;
    const QString fileId = fx.file(fx.branch(QStringLiteral("B")), QStringLiteral("doc"));
    fx.upload(fx.admin, fileId, payload(seed, 0));

    // How long one check-in takes here, so that the kills fall inside the brackets.
    QElapsedTimer timer;
    timer.start();
    fx.upload(fx.admin, fileId, payload(seed, 1));
    const qint64 checkInUs = qMax<qint64>(timer.nsecsElapsed() / 1000, 1000);
    qint64 versions = 2;

    QRandomGenerator random(seed);
    int kept = 0;
    for (int point = 0; point < killPoints; ++point) {
        fx.store.reset(); // the child opens its own connection
        int ready[2];
        QVERIFY(::pipe(ready) == 0);
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            try {
                auto store = fx.backend.open(fx.dataDir(), fx.storeOptions);
                fx.store = std::move(store);
                const QByteArray bytes = payload(seed, 100 + point);
                // The clock starts with the check-in itself.
                if (::write(ready[1], "s", 1) != 1)
                    _exit(4);
                fx.upload(fx.admin, fileId, bytes);
            } catch (...) {
                _exit(3);
            }
            // Done before the kill: wait for it, as a server between calls would.
            QThread::sleep(30);
            _exit(0);
        }
        char started = 0;
        ::close(ready[1]);
        QVERIFY(::read(ready[0], &started, 1) == 1);
        ::close(ready[0]);
        // Anywhere in the one check-in: opening, chunks, the version's commit, or after.
        QThread::usleep(qint64(random.bounded(quint32(checkInUs * 2))) + 1000);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        QVERIFY2(WIFSIGNALED(status), "the server process ended before it was killed");

        fx.reopen();
        qint64 after = 0;
        verifyStore(fx, fileId, versions, after);
        if (QTest::currentTestFailed())
            return;
        kept += after > versions ? 1 : 0;
        if (after > versions) {
            const QByteArray got = fx.download(fx.admin, fileId);
            const QByteArray sent = payload(seed, 100 + point);
            QCOMPARE(got.size(), sent.size());
            QCOMPARE(ServerFixture::md5(got), ServerFixture::md5(sent));
        }
        versions = after;
        // The file still takes a new version after the crash.
        const QByteArray next = payload(seed, 10 + point);
        fx.upload(fx.admin, fileId, next);
        ++versions;
        QCOMPARE(fx.download(fx.admin, fileId), next);
    }
    qInfo("%d kills, %d of them after the version was recorded", killPoints, kept);
}

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
