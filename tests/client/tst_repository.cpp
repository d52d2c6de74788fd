#include "tst_transferfixture.h"

#include "qirashellopen.h"
#include "recordingresponder.h"
#include "zxinifile.h"
#include "zxroot.h"

#include <QTemporaryDir>
#include <QTest>

// The local repository against the real server: where a stored file goes, when it is
// fetched, what is opened, and which names from the server are never written.
class TestRepository : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void freshnessRule_data();
    void freshnessRule();
    void openLocalNeverRefreshes();
    void subFoldersUnderRepository();
    void clientNames_data();
    void clientNames();
    void runFile_data();
    void runFile();
    void noRepositoryConfigured();
    void noFileChosen();
    void unknownFileIsReported();

private:
    TdmQiraClientDatas &signIn(const QString &repository);
    QString repo() const { return m_sandbox->filePath(QStringLiteral("хранилище")); }

    std::unique_ptr<TransferServer> m_server;
    std::unique_ptr<Tzxroot> m_root;
    std::unique_ptr<TdmQiraClientDatas> m_data;
    std::unique_ptr<QTemporaryDir> m_sandbox;
    RecordingView m_view;
    QTemporaryDir m_settings;
    QStringList m_opened;
    QString m_contracts;
    QString m_year;
};

void TestRepository::initTestCase()
{
    SetSettingsFilePath(m_settings.filePath(QStringLiteral("client.ini")));
    m_root = std::make_unique<Tzxroot>();
    m_root->Init();
    m_server = std::make_unique<TransferServer>();
    m_contracts = m_server->addBranch(QStringLiteral("Договоры"));
    m_year = m_server->addBranch(QStringLiteral("2024 год"), m_contracts);
    SetShellOpener([this](const QUrl &url) { m_opened.append(url.toLocalFile()); });
}

void TestRepository::init()
{
    m_sandbox = std::make_unique<QTemporaryDir>();
    QDir().mkpath(repo());
    m_view = RecordingView();
    m_opened.clear();
}

void TestRepository::cleanup()
{
    m_data.reset();
    m_server->proxy->setReplyHook({});
    m_server->proxy->clear();
}

TdmQiraClientDatas &TestRepository::signIn(const QString &repository)
{
    m_data = std::make_unique<TdmQiraClientDatas>(&m_view);
    if (!m_data->Auth(m_server->connectDs(QStringLiteral("admin"), repository)))
        qFatal("sign-in failed");
    m_server->proxy->clear();
    return *m_data;
}

void TestRepository::freshnessRule_data()
{
    // the stored file has 19 bytes; the local copy has this many (-1: none)
    QTest::addColumn<int>("localSize");
    QTest::addColumn<bool>("fetched");
    QTest::newRow("same size, other bytes: kept") << 19 << false;
    QTest::newRow("one byte more: fetched") << 20 << true;
    QTest::newRow("one byte less: fetched") << 18 << true;
    QTest::newRow("missing: fetched") << -1 << true;
}

void TestRepository::freshnessRule()
{
    QFETCH(int, localSize);
    QFETCH(bool, fetched);
    RecordingResponder responder;
    const QByteArray stored = QByteArrayLiteral("серверная!");
    QCOMPARE(stored.size(), 19);
    const QString fileId = m_server->addFile(m_contracts, QStringLiteral("Свежесть"), QStringLiteral("txt"), stored);
    const QString path = repo() + QStringLiteral("/Договоры/Свежесть.txt");
    const QByteArray copy(qMax(localSize, 0), 'x');
    if (localSize >= 0)
        writeFile(path, copy);
    TdmQiraClientDatas &data = signIn(repo());

    data.OpenFileQira(fileId, true, true);

    QVERIFY2(errorRows(data).isEmpty(), qPrintable(errorRows(data).join(u'|')));
    QCOMPARE(m_server->proxy->calls(QStringLiteral("GetFilePart")).isEmpty(), !fetched);
    QCOMPARE(readAll(path), fetched ? stored : copy);
    QCOMPARE(m_opened, QStringList{path});
    // the server's name is asked for, with IsExcept set
    QCOMPARE(m_server->proxy->calls(QStringLiteral("GetServerFileName")).size(), 1);
    QVERIFY(m_server->proxy->calls(QStringLiteral("GetServerFileName")).first().param(QStringLiteral("IsExcept"))->AsBoolean());
}

void TestRepository::openLocalNeverRefreshes()
{
    RecordingResponder responder;
    const QString fileId = m_server->addFile(m_contracts, QStringLiteral("Локальный"), QStringLiteral("txt"),
                                             QByteArrayLiteral("новая версия на сервере"));
    const QString path = repo() + QStringLiteral("/Договоры/Локальный.txt");
    writeFile(path, QByteArrayLiteral("старая"));
    TdmQiraClientDatas &data = signIn(repo());

    data.OpenLocalFile(fileId);
    QCOMPARE(readAll(path), QByteArrayLiteral("старая"));
    QVERIFY(m_server->proxy->calls(QStringLiteral("GetFilePart")).isEmpty());
    QCOMPARE(m_opened, QStringList{path});

    // without a local copy it is fetched first
    QFile::remove(path);
    data.OpenLocalFile(fileId);
    QCOMPARE(readAll(path), QByteArrayLiteral("новая версия на сервере"));
    QCOMPARE(m_opened, (QStringList{path, path}));
    QVERIFY(errorRows(data).isEmpty());
}

void TestRepository::subFoldersUnderRepository()
{
    RecordingResponder responder;
    const QString fileId = m_server->addFile(m_year, QStringLiteral("Договор аренды"), QStringLiteral("pdf"),
                                             QByteArrayLiteral("%PDF-1.4 договор"));
    TdmQiraClientDatas &data = signIn(repo());
    QCOMPARE(data.GetClientName(fileId), QStringLiteral("Договоры\\2024 год\\Договор аренды.pdf"));
    const QString expected = repo() + QStringLiteral("/Договоры/2024 год/Договор аренды.pdf");
    QCOMPARE(data.GetLocalFileName(fileId), expected);

    data.OpenFileQira(fileId, false, true);

    QCOMPARE(readAll(expected), QByteArrayLiteral("%PDF-1.4 договор"));
    QVERIFY(m_opened.isEmpty()); // fetched only
    QCOMPARE(filesUnder(repo()), QStringList{QStringLiteral("Договоры/2024 год/Договор аренды.pdf")});
    QVERIFY(!m_view.progressVisible);
}

void TestRepository::clientNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("written"); // under the repository; empty: refused
    QTest::newRow("climbs with /") << "../x" << "";
    QTest::newRow("climbs with \\") << "..\\x" << "";
    QTest::newRow("climbs from inside") << "a\\..\\..\\x" << "";
    QTest::newRow("absolute") << "/etc/x" << "";
    QTest::newRow("absolute with \\") << "\\\\server\\share\\x" << "";
    QTest::newRow("drive") << "C:\\x" << "";
    QTest::newRow("drive without separator") << "c:x" << "";
    QTest::newRow("NUL") << QStringLiteral("a") + QChar(u'\0') + QStringLiteral(".txt") << "";
    QTest::newRow("a folder") << "a\\b\\" << "";
    QTest::newRow("both separators") << "a/b\\c.txt" << "a/b/c.txt";
    QTest::newRow("dots inside a name") << "a\\..b\\c..txt" << "a/..b/c..txt";
}

void TestRepository::clientNames()
{
    QFETCH(QString, name);
    QFETCH(QString, written);
    RecordingResponder responder;
    const QString fileId = m_server->addFile(m_contracts, QStringLiteral("Имя"), QStringLiteral("txt"), QByteArrayLiteral("байты"));
    TdmQiraClientDatas &data = signIn(repo());
    m_server->proxy->setReplyHook([name](const WireProxy::Call &call, TZxRemoteMessage &reply) {
        if (call.method == QStringLiteral("GetClientFileName"))
            WireProxy::result(reply)->SetString(name);
        return true;
    });

    data.OpenFileQira(fileId, true, true);

    if (written.isEmpty()) {
        const QStringList rows = errorRows(data);
        QCOMPARE(rows.size(), 1);
        QVERIFY2(rows[0].startsWith(QStringLiteral("Получение локального имени файла\nEInOutError. Функция GetLocalFileName. "
                                                   "Ошибка открытия файла.\rНедопустимое имя файла")),
                 qPrintable(rows[0]));
        QVERIFY(m_server->proxy->calls(QStringLiteral("GetFilePart")).isEmpty());
        QVERIFY(m_opened.isEmpty());
        // nothing anywhere in the sandbox but the empty repository
        QCOMPARE(filesUnder(m_sandbox->path()), QStringList());
        QCOMPARE(QDir(m_sandbox->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("хранилище")});
    } else {
        QVERIFY2(errorRows(data).isEmpty(), qPrintable(errorRows(data).join(u'|')));
        QCOMPARE(filesUnder(repo()), QStringList{written});
        QCOMPARE(m_opened, QStringList{repo() + u'/' + written});
    }
}

void TestRepository::runFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("asks");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("opened");
    QTest::newRow("EXE in capitals, OK") << "setup.EXE" << true << int(IdOk) << true;
    QTest::newRow("exe, Cancel") << "setup.exe" << true << int(IdCancel) << false;
    QTest::newRow("com and a blank") << "tool.com " << true << int(IdCancel) << false;
    QTest::newRow("installer package") << "install.msi" << false << 0 << true;
    QTest::newRow("batch file") << "run.bat" << false << 0 << true;
    QTest::newRow("no extension") << "README" << false << 0 << true;
    QTest::newRow("exe in a folder name only") << "dir.exe/readme.txt" << false << 0 << true;
}

void TestRepository::runFile()
{
    QFETCH(QString, name);
    QFETCH(bool, asks);
    QFETCH(int, answer);
    QFETCH(bool, opened);
    RecordingResponder responder;
    responder.answers = {answer};
    TdmQiraClientDatas data(&m_view);
    const QString path = repo() + u'/' + name;
    data.RunFile(path);
    QCOMPARE(responder.boxes.size(), asks ? 1 : 0);
    if (asks) {
        QCOMPARE(responder.boxes[0].kind, QStringLiteral("okcancel"));
        QCOMPARE(responder.boxes[0].caption, QStringLiteral("Запуск программы"));
        QCOMPARE(responder.boxes[0].text,
                 QStringLiteral("Данный файл является программой.\rПрограмма может нанести вред Вашему компьютеру.\r"
                                "Не запускайте, которые не уверены, что безопасны для запуска.\rЗапустить программу ?"));
    }
    QCOMPARE(m_opened, opened ? QStringList{path} : QStringList());
}

void TestRepository::noRepositoryConfigured()
{
    RecordingResponder responder;
    const QString fileId = m_server->addFile(m_contracts, QStringLiteral("Без хранилища"), QStringLiteral("txt"), QByteArrayLiteral("x"));
    TdmQiraClientDatas &data = signIn(QStringLiteral("   "));
    data.OpenFileQira(fileId, true, true);
    data.OpenLocalFile(fileId);
    QCOMPARE(responder.boxes.size(), 2);
    for (const RecordingResponder::Box &box : responder.boxes) {
        QCOMPARE(box.kind, QStringLiteral("error"));
        QCOMPARE(box.text, QStringLiteral("Не указан каталог для локального хранилища файлов!"));
    }
    QCOMPARE(m_view.settingsShown, 2);
    QVERIFY(m_server->proxy->calls().isEmpty());
    QVERIFY(m_opened.isEmpty());
    QCOMPARE(data.GetLocalFileName(fileId), QString());
}

void TestRepository::noFileChosen()
{
    RecordingResponder responder;
    TdmQiraClientDatas &data = signIn(repo());
    data.OpenFileQira(QStringLiteral("  "), true, true);
    data.OpenLocalFile(QString());
    QCOMPARE(responder.boxes.size(), 2);
    QCOMPARE(responder.boxes[0].text, QStringLiteral("Не выбран файл! (OpenFileQira)"));
    QCOMPARE(responder.boxes[1].text, QStringLiteral("Не выбран файл! (OpenFileQira)"));
    QVERIFY(m_server->proxy->calls().isEmpty());
}

void TestRepository::unknownFileIsReported()
{
    RecordingResponder responder;
    TdmQiraClientDatas &data = signIn(repo());
    data.OpenFileQira(QStringLiteral("нет-такого-файла"), true, true);
    const QStringList rows = errorRows(data);
    // the name queries report each, and nothing is fetched or opened
    QVERIFY2(rows.size() == 2, qPrintable(rows.join(u'|')));
    QVERIFY2(rows[0].startsWith(QStringLiteral("Получение пользовательского названия файла\n")), qPrintable(rows[0]));
    QVERIFY2(rows[0].contains(QStringLiteral(". Функция GetClientName. Ошибка вызова удаленной процедуры.\r")), qPrintable(rows[0]));
    QVERIFY2(rows[1].startsWith(QStringLiteral("Получение названия файла на сервере\n")), qPrintable(rows[1]));
    QVERIFY(m_server->proxy->calls(QStringLiteral("GetFilePart")).isEmpty());
    QVERIFY(m_opened.isEmpty());
    QVERIFY(filesUnder(repo()).isEmpty());
}

QTEST_MAIN(TestRepository)
#include "tst_repository.moc"
