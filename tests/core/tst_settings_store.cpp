#include "settingskeeper.h"
#include "zxerror.h"
#include "zxinifile.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void iniSectionsAndKeysIgnoreCase();
    void iniValuesKeptExactly();
    void iniKeepsForeignLines();
    void iniReplacesWholeValueAndAddsSections();
    void iniWriteFailureKeepsOldFile();
    void iniForeignEncodingKeepsBackup();
    void missingFileReadsEmpty();
    void keeperWritesIntegersAsStrings();
    void keeperReadsNumbersAsText();
    void keeperIntegerConversion_data();
    void keeperIntegerConversion();
    void keeperWrongKindsAreAbsent();
    void keeperMalformedJsonIsEmpty_data();
    void keeperMalformedJsonIsEmpty();
    void entryReplacedNeverMerged();
    void settingsPathRule();

private:
    QString iniPath() const { return m_dir.filePath(QStringLiteral("qira-client.ini")); }
    void writeFile(const QByteArray &bytes)
    {
        QFile file(iniPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray readFile() const
    {
        QFile file(iniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
};

void TestSettingsStore::init()
{
    QFile::remove(iniPath());
    SetSettingsFilePath(iniPath());
}

void TestSettingsStore::iniSectionsAndKeysIgnoreCase()
{
    writeFile("[ConnectionSettings]\nTfmZxLogins={\"a\":\"1\"}\n[FormSettings]\ntfmqiraclientmain=x\n");
    const TZxIniFile ini(iniPath());
    QCOMPARE(ini.ReadString(QStringLiteral("connectionsettings"), QStringLiteral("TFMZXLOGINS")),
             QStringLiteral("{\"a\":\"1\"}"));
    QCOMPARE(ini.ReadString(QStringLiteral("FORMSETTINGS"), QStringLiteral("TfmQiraClientMain")),
             QStringLiteral("x"));
    QCOMPARE(ini.ReadString(QStringLiteral("FormSettings"), QStringLiteral("TfmZxLogins")), QString());
}

void TestSettingsStore::iniValuesKeptExactly()
{
    const QString value = QStringLiteral("  {\"DirProj\":\"/home/пользователь/Документы\",\"x\":\"a=b\"}  ");
    TZxIniFile(iniPath()).WriteString(QStringLiteral("ConnectionSettings"), QStringLiteral("TfmQiraClientMain"), value);
    QCOMPARE(TZxIniFile(iniPath()).ReadString(QStringLiteral("ConnectionSettings"),
                                              QStringLiteral("TfmQiraClientMain")),
             value);
    QVERIFY(readFile().contains(value.toUtf8())); // UTF-8 on disk
}

void TestSettingsStore::iniKeepsForeignLines()
{
    writeFile("; kept comment\r\n[App]\r\nTzxroot=old\r\nOther=1\r\n\r\n[Extra]\r\nk=v\r\n");
    TZxIniFile(iniPath()).WriteString(QStringLiteral("app"), QStringLiteral("TZXROOT"), QStringLiteral("new"));
    const TZxIniFile ini(iniPath());
    QCOMPARE(ini.ReadString(QStringLiteral("App"), QStringLiteral("Tzxroot")), QStringLiteral("new"));
    QCOMPARE(ini.ReadString(QStringLiteral("App"), QStringLiteral("Other")), QStringLiteral("1"));
    QCOMPARE(ini.ReadString(QStringLiteral("Extra"), QStringLiteral("k")), QStringLiteral("v"));
    QVERIFY(readFile().startsWith("; kept comment\n"));
}

void TestSettingsStore::iniReplacesWholeValueAndAddsSections()
{
    TZxIniFile ini(iniPath());
    ini.WriteString(QStringLiteral("FormSettings"), QStringLiteral("A"), QStringLiteral("1"));
    ini.WriteString(QStringLiteral("App"), QStringLiteral("Tzxroot"), QStringLiteral("2"));
    ini.WriteString(QStringLiteral("FormSettings"), QStringLiteral("B"), QStringLiteral("3"));
    ini.WriteString(QStringLiteral("FormSettings"), QStringLiteral("a"), QStringLiteral("4\r\n5"));
    QCOMPARE(readFile(), QByteArray("[FormSettings]\nA=4  5\nB=3\n[App]\nTzxroot=2\n"));
}

void TestSettingsStore::iniWriteFailureKeepsOldFile()
{
    // A folder that cannot hold the file: the write fails loudly, nothing else changes.
    const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
    QFile(blocker).open(QIODevice::WriteOnly);
    TZxIniFile impossible(blocker + QStringLiteral("/qira-client.ini"));
    QVERIFY_THROWS_EXCEPTION(EInOutError, impossible.WriteString(QStringLiteral("App"), QStringLiteral("Tzxroot"),
                                                                 QStringLiteral("new")));

    writeFile("[App]\nTzxroot=old\n");
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const bool mayWriteAnywhere = QFile(m_dir.filePath(QStringLiteral("probe"))).open(QIODevice::WriteOnly);
    if (!mayWriteAnywhere) {
        TZxIniFile ini(iniPath());
        QVERIFY_THROWS_EXCEPTION(EInOutError, ini.WriteString(QStringLiteral("App"), QStringLiteral("Tzxroot"),
                                                              QStringLiteral("new")));
    }
    QFile::remove(m_dir.filePath(QStringLiteral("probe")));
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(readFile(), QByteArray("[App]\nTzxroot=old\n"));
}

void TestSettingsStore::iniForeignEncodingKeepsBackup()
{
    const QByteArray cp1251 = "[App]\nName=\xcf\xf0\xe8\xe2\xe5\xf2\n";
    writeFile(cp1251);
    TZxIniFile(iniPath()).WriteString(QStringLiteral("App"), QStringLiteral("Tzxroot"), QStringLiteral("x"));
    QFile backup(iniPath() + QStringLiteral(".bak"));
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QCOMPARE(backup.readAll(), cp1251);
    QCOMPARE(TZxIniFile(iniPath()).ReadString(QStringLiteral("App"), QStringLiteral("Tzxroot")), QStringLiteral("x"));
}

void TestSettingsStore::missingFileReadsEmpty()
{
    QCOMPARE(ReadSettingsEntry(QStringLiteral("App"), QStringLiteral("Tzxroot")), QString());
    QVERIFY(TSettingsKeeper::fromJson(QString()).isEmpty());
    QVERIFY(!QFile::exists(iniPath()));
}

void TestSettingsStore::keeperWritesIntegersAsStrings()
{
    TSettingsKeeper bounds;
    bounds.addInteger(QStringLiteral("Left"), 100);
    bounds.addInteger(QStringLiteral("Top"), -20);
    bounds.addText(QStringLiteral("Name"), QStringLiteral("Окно \"главное\""));
    TSettingsKeeper keeper;
    keeper.addGroup(QStringLiteral("Bounds"), bounds);
    QCOMPARE(keeper.toJson(),
             QStringLiteral("{\"Bounds\":{\"Left\":\"100\",\"Top\":\"-20\",\"Name\":\"Окно \\\"главное\\\"\"}}"));
    QCOMPARE(TSettingsKeeper().toJson(), QStringLiteral("{}"));

    const TSettingsKeeper back = TSettingsKeeper::fromJson(keeper.toJson());
    const TSettingsKeeper *group = back.TryGetSubsettingsValue(QStringLiteral("Bounds"));
    QVERIFY(group);
    QCOMPARE(group->TryGetIntegerValue(QStringLiteral("Top")), std::optional<qint64>(-20));
    QCOMPARE(group->TryGetStringValue(QStringLiteral("Left")), std::optional<QString>(QStringLiteral("100")));
    QCOMPARE(group->TryGetStringValue(QStringLiteral("Name")), std::optional<QString>(QStringLiteral("Окно \"главное\"")));
}

void TestSettingsStore::keeperReadsNumbersAsText()
{
    const TSettingsKeeper keeper = TSettingsKeeper::fromJson(
        QStringLiteral("{\"Bounds\":{\"Left\":64,\"Width\":12.5,\"Top\":\"7\"}}"));
    const TSettingsKeeper *bounds = keeper.TryGetSubsettingsValue(QStringLiteral("Bounds"));
    QVERIFY(bounds);
    QCOMPARE(bounds->TryGetStringValue(QStringLiteral("Left")), std::optional<QString>(QStringLiteral("64")));
    QCOMPARE(bounds->TryGetIntegerValue(QStringLiteral("Left")), std::optional<qint64>(64));
    QCOMPARE(bounds->TryGetStringValue(QStringLiteral("Width")), std::optional<QString>(QStringLiteral("12.5")));
    QCOMPARE(bounds->TryGetIntegerValue(QStringLiteral("Width")), std::nullopt);
}

void TestSettingsStore::keeperIntegerConversion_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("present");
    QTest::addColumn<qint64>("value");
    QTest::newRow("decimal") << "\"120\"" << true << qint64(120);
    QTest::newRow("hexadecimal") << "\"$64\"" << true << qint64(100);
    QTest::newRow("letters") << "\"abc\"" << false << qint64(0);
    QTest::newRow("empty text") << "\"\"" << false << qint64(0);
    QTest::newRow("trailing space") << "\"5 \"" << false << qint64(0);
    QTest::newRow("json number") << "300" << true << qint64(300);
    QTest::newRow("negative") << "\"-8\"" << true << qint64(-8);
}

void TestSettingsStore::keeperIntegerConversion()
{
    QFETCH(QString, stored);
    QFETCH(bool, present);
    QFETCH(qint64, value);
    const TSettingsKeeper keeper = TSettingsKeeper::fromJson(QStringLiteral("{\"Left\":%1}").arg(stored));
    const std::optional<qint64> read = keeper.TryGetIntegerValue(QStringLiteral("Left"));
    QCOMPARE(read.has_value(), present);
    if (present)
        QCOMPARE(*read, value);
}

void TestSettingsStore::keeperWrongKindsAreAbsent()
{
    const TSettingsKeeper keeper = TSettingsKeeper::fromJson(
        QStringLiteral("{\"Group\":{\"a\":\"1\"},\"Text\":\"x\",\"Flag\":true,\"List\":[1],\"Nothing\":null}"));
    QCOMPARE(keeper.TryGetStringValue(QStringLiteral("Group")), std::nullopt);
    QCOMPARE(keeper.TryGetIntegerValue(QStringLiteral("Group")), std::nullopt);
    QVERIFY(!keeper.TryGetSubsettingsValue(QStringLiteral("Text")));
    QVERIFY(!keeper.TryGetSubsettingsValue(QStringLiteral("Missing")));
    QCOMPARE(keeper.TryGetStringValue(QStringLiteral("Flag")), std::nullopt);
    QCOMPARE(keeper.TryGetStringValue(QStringLiteral("List")), std::nullopt);
    QCOMPARE(keeper.TryGetStringValue(QStringLiteral("Nothing")), std::nullopt);
    QCOMPARE(keeper.TryGetStringValue(QStringLiteral("text")), std::nullopt); // names are exact
}

void TestSettingsStore::keeperMalformedJsonIsEmpty_data()
{
    QTest::addColumn<QString>("json");
    QTest::newRow("empty") << "";
    QTest::newRow("not json") << "Left=5";
    QTest::newRow("truncated") << "{\"App\":{\"CurrentLang\":\"Ru\"";
    QTest::newRow("array") << "[\"a\"]";
    QTest::newRow("string") << "\"text\"";
}

void TestSettingsStore::keeperMalformedJsonIsEmpty()
{
    QFETCH(QString, json);
    QVERIFY(TSettingsKeeper::fromJson(json).isEmpty());
}

void TestSettingsStore::entryReplacedNeverMerged()
{
    TSettingsKeeper first;
    TSettingsKeeper bounds;
    bounds.addInteger(QStringLiteral("Left"), 1);
    first.addGroup(QStringLiteral("Bounds"), bounds);
    WriteSettingsEntry(QStringLiteral("FormSettings"), QStringLiteral("TfmQiraClientMain"), first.toJson());
    // a maximised window writes an empty object: the stored bounds disappear
    WriteSettingsEntry(QStringLiteral("FormSettings"), QStringLiteral("TfmQiraClientMain"), TSettingsKeeper().toJson());
    QCOMPARE(ReadSettingsEntry(QStringLiteral("FormSettings"), QStringLiteral("TfmQiraClientMain")), QStringLiteral("{}"));
    QVERIFY(!TSettingsKeeper::fromJson(ReadSettingsEntry(QStringLiteral("FormSettings"),
                                                         QStringLiteral("TfmQiraClientMain")))
                 .TryGetSubsettingsValue(QStringLiteral("Bounds")));
}

void TestSettingsStore::settingsPathRule()
{
    SetSettingsFilePath(QString());
    // the test program's own folder is writable here, so the file sits beside it
    QCOMPARE(SettingsFilePath(), QCoreApplication::applicationDirPath() + QStringLiteral("/tst_settings_store.ini"));

    QStandardPaths::setTestModeEnabled(true);
    const QString lockedDir = m_dir.filePath(QStringLiteral("program"));
    QVERIFY(QDir().mkpath(lockedDir));
    QFile::setPermissions(lockedDir, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QString beside = lockedDir + QStringLiteral("/qira-client.ini");
    const QString chosen = ChooseSettingsFile(beside);
    QFile::setPermissions(lockedDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (chosen == beside)
        QSKIP("running as a user that may write anywhere");
    QCOMPARE(chosen, QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                         + QStringLiteral("/qira-client.ini"));
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settings_store.moc"
