#include "settingskeeper.h"
#include "zxinifile.h"
#include "zxroot.h"

#include <QTemporaryDir>
#include <QTest>

class TestZxRoot : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void firstStartDefaults();
    void settingsRoundTrip();
    void unreadableEntryKeepsDefaults();
    void isAdmin_data();
    void isAdmin();
    void clockIsReplaceable();
    void versionAndPlatform();

private:
    QTemporaryDir m_dir;
};

void TestZxRoot::init()
{
    const QString path = m_dir.filePath(QStringLiteral("root.ini"));
    QFile::remove(path);
    SetSettingsFilePath(path);
}

void TestZxRoot::firstStartDefaults()
{
    Tzxroot root;
    QCOMPARE(Tzxroot::Instance(), &root);
    root.Init();
    QCOMPARE(root.CurrentLang, QStringLiteral("Ru"));
    QCOMPARE(root.CurrentDesign, QStringLiteral("Amakrits"));
    root.Destr();
    QCOMPARE(ReadSettingsEntry(QStringLiteral("App"), QStringLiteral("Tzxroot")),
             QStringLiteral("{\"App\":{\"CurrentLang\":\"Ru\",\"CurrentDesign\":\"Amakrits\"}}"));
}

void TestZxRoot::settingsRoundTrip()
{
    {
        Tzxroot root;
        root.Init();
        root.CurrentDesign = QStringLiteral("Тёмный");
        root.Destr();
    }
    QCOMPARE(Tzxroot::Instance(), nullptr);
    Tzxroot again;
    again.Init();
    QCOMPARE(again.CurrentDesign, QStringLiteral("Тёмный"));
}

void TestZxRoot::unreadableEntryKeepsDefaults()
{
    WriteSettingsEntry(QStringLiteral("App"), QStringLiteral("Tzxroot"),
                       QStringLiteral("{\"App\":{\"CurrentLang\":{\"x\":\"1\"},\"CurrentDesign\":\"Glow\"}}"));
    Tzxroot root;
    root.Init();
    QCOMPARE(root.CurrentLang, QStringLiteral("Ru"));
    QCOMPARE(root.CurrentDesign, QStringLiteral("Glow"));

    WriteSettingsEntry(QStringLiteral("App"), QStringLiteral("Tzxroot"), QStringLiteral("not json"));
    root.Init();
    QCOMPARE(root.CurrentDesign, QStringLiteral("Amakrits"));
}

void TestZxRoot::isAdmin_data()
{
    QTest::addColumn<QString>("roleId");
    QTest::addColumn<bool>("admin");
    QTest::newRow("before sign-in") << "" << false;
    QTest::newRow("one") << "1" << true;
    QTest::newRow("minus one") << "-1" << true;
    QTest::newRow("leading zero") << "01" << false;
    QTest::newRow("leading space") << " 1" << false;
    QTest::newRow("two") << "2" << false;
}

void TestZxRoot::isAdmin()
{
    QFETCH(QString, roleId);
    QFETCH(bool, admin);
    Tzxroot root;
    root.Sess.RoleID = roleId;
    QCOMPARE(root.IsAdmin(), admin);
}

void TestZxRoot::clockIsReplaceable()
{
    Tzxroot root;
    const QDateTime before = QDateTime::currentDateTime();
    const QDateTime local = root.GetNow();
    QVERIFY(local >= before && local <= QDateTime::currentDateTime());
    const QDateTime serverTime(QDate(2031, 1, 2), QTime(3, 4, 5));
    root.GetNowFunc = [serverTime] { return serverTime; };
    QCOMPARE(root.GetNow(), serverTime);
}

void TestZxRoot::versionAndPlatform()
{
    Tzxroot root;
    QCOMPARE(root.Ver->Version, QStringLiteral("2.3.17"));
    QVERIFY(root.Ver->PoductCode.isEmpty());
#if defined(Q_OS_LINUX) && Q_PROCESSOR_WORDSIZE == 8
    QCOMPARE(Tzxroot::GetOSApp(), QStringLiteral("linux64"));
#endif
}

QTEST_GUILESS_MAIN(TestZxRoot)
#include "tst_zxroot.moc"
