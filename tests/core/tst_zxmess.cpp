#include "recordingresponder.h"
#include "zxerror.h"
#include "zxmess.h"

#include <QTest>

class TestZxMess : public QObject
{
    Q_OBJECT

private slots:
    void uncaughtFailureText_data();
    void uncaughtFailureText();
    void errorTextConvention();
    void defaultResponderAnswersCancel();
};

void TestZxMess::uncaughtFailureText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << "Нет связи" << "Нет связи.";
    QTest::newRow("full stop") << "Нет связи." << "Нет связи.";
    QTest::newRow("exclamation, below the full stop") << "Стоп!" << "Стоп!";
    QTest::newRow("closing bracket, below the full stop") << "(x)" << "(x)";
    QTest::newRow("digit, above the full stop") << "код 5" << "код 5.";
    QTest::newRow("empty") << "" << "";
}

void TestZxMess::uncaughtFailureText()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    RecordingResponder responder;
    ShowUncaughtFailure(message);
    QCOMPARE(responder.boxes.size(), 1);
    QCOMPARE(responder.boxes[0].kind, QStringLiteral("uncaught"));
    QCOMPARE(responder.boxes[0].text, shown);
}

void TestZxMess::errorTextConvention()
{
    const EZxError error(QStringLiteral("ERemoteConnectionError"), QStringLiteral("Соединение разорвано"));
    QCOMPARE(ZxErrorText(error, QStringLiteral("GetFiles"), ZxPhrase::RemoteCall),
             QStringLiteral("ERemoteConnectionError. Функция GetFiles. Ошибка вызова удаленной процедуры.\rСоединение разорвано"));
    QCOMPARE(ZxErrorText(EConvertError(QStringLiteral("x")), QStringLiteral("Connect"), ZxPhrase::Connect, false),
             QStringLiteral("EConvertError. Функция Connect. Ошибка подключения."));
}

void TestZxMess::defaultResponderAnswersCancel()
{
    // Without a window nothing may wait for a person, and nothing may proceed unasked.
    QCOMPARE(OkCancelBox(QStringLiteral("Вопрос"), QStringLiteral("Удалить?")), IdCancel);
}

QTEST_GUILESS_MAIN(TestZxMess)
#include "tst_zxmess.moc"
