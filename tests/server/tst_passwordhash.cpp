#include "qirapasswordhash.h"
#include "zxbase.h"

#include <QTest>

class TestPasswordHash : public QObject
{
    Q_OBJECT

private slots:
    void pbkdf2Vectors_data();
    void pbkdf2Vectors();
    void storedForm();
    void digestForm_data();
    void digestForm();
};

// Published PBKDF2-HMAC-SHA256 test vectors.
void TestPasswordHash::pbkdf2Vectors_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("salt");
    QTest::addColumn<int>("iterations");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("hex");
    QTest::newRow("c=1") << QByteArray("password") << QByteArray("salt") << 1 << 32
                         << QByteArray("120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b");
    QTest::newRow("c=2") << QByteArray("password") << QByteArray("salt") << 2 << 32
                         << QByteArray("ae4d0c95af6b46d32d0adff928f06dd02a303f8ef3c251dfd6e2d85a95474c43");
    QTest::newRow("c=4096") << QByteArray("password") << QByteArray("salt") << 4096 << 32
                            << QByteArray("c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a");
    QTest::newRow("two blocks") << QByteArray("passwordPASSWORDpassword")
                                << QByteArray("saltSALTsaltSALTsaltSALTsaltSALTsalt") << 4096 << 40
                                << QByteArray("348c89dbcbd32b2f32d814b8116e84cf2b17347ebc1800181c4e2a1fb8dd53e1c635518c7dac47e9");
}

void TestPasswordHash::pbkdf2Vectors()
{
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, salt);
    QFETCH(int, iterations);
    QFETCH(int, length);
    QFETCH(QByteArray, hex);
    QCOMPARE(TQiraPasswordHash::pbkdf2Sha256(password, salt, iterations, length).toHex(), hex);
}

void TestPasswordHash::storedForm()
{
    const QString digest = TextMD5(QStringLiteral("secret"));
    const TQiraPasswordHash a = TQiraPasswordHash::create(digest, 50);
    const TQiraPasswordHash b = TQiraPasswordHash::create(digest, 50);
    QVERIFY(a.verify(digest));
    QVERIFY(!a.verify(TextMD5(QStringLiteral("Secret"))));
    QVERIFY2(a.salt != b.salt && a.hash != b.hash, "each password gets its own salt");
    QVERIFY(!a.hash.toHex().contains(digest.toLatin1()));
    QCOMPARE(a.iterations, 50);
}

void TestPasswordHash::digestForm_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("digest");
    QTest::newRow("md5") << TextMD5(QStringLiteral("x")) << true;
    QTest::newRow("upper case") << TextMD5(QStringLiteral("x")).toUpper() << false;
    QTest::newRow("short") << QStringLiteral("abc") << false;
    QTest::newRow("plain password of 32") << QStringLiteral("qwertyuiopasdfghjklzxcvbnm123456") << false;
}

void TestPasswordHash::digestForm()
{
    QFETCH(QString, text);
    QFETCH(bool, digest);
    QCOMPARE(TQiraPasswordHash::isDigest(text), digest);
}

QTEST_GUILESS_MAIN(TestPasswordHash)
#include "tst_passwordhash.moc"
