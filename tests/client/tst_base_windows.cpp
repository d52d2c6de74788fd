#include "fmzxsetpasswd.h"
#include "recordingresponder.h"
#include "whenmodal.h"
#include "settingskeeper.h"
#include "zxactions.h"
#include "zxdbgrid.h"
#include "zxdmapp.h"
#include "zxerror_win.h"
#include "zxform.h"
#include "zxinifile.h"
#include "zxroot.h"
#include "zxsel_design.h"
#include "zxstyles.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStringListModel>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

class SampleWindow : public Tzxforms
{
public:
    SampleWindow() : Tzxforms(QStringLiteral("TfmSample")) { FormCreate(); }
};

QString boundsEntry() { return ReadSettingsEntry(QStringLiteral("FormSettings"), QStringLiteral("TfmSample")); }

} // namespace

class TestBaseWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void boundsRoundTrip();
    void maximisedWindowForgetsBounds();
    void hexadecimalAndBrokenBounds();
    void modalWindowFreedAfterReturn();
    void minimiseWithoutTrayKeepsWindow();
    void errorWindowShowsLines();
    void setPasswordChecks_data();
    void setPasswordChecks();
    void styleSelection();
    void unknownStyleReported();
    void actionsWithoutHandlerAreDisabled();
    void editModeToggles();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Tzxroot> m_root;
};

void TestBaseWindows::initTestCase()
{
    m_root = std::make_unique<Tzxroot>();
    SetSettingsFilePath(m_dir.filePath(QStringLiteral("client.ini")));
    m_root->Init();
}

void TestBaseWindows::init() { QFile::remove(m_dir.filePath(QStringLiteral("client.ini"))); }

void TestBaseWindows::boundsRoundTrip()
{
    {
        SampleWindow window;
        window.show();
        window.move(140, 90);
        window.resize(500, 300);
    }
    const TSettingsKeeper stored = TSettingsKeeper::fromJson(boundsEntry());
    const TSettingsKeeper *bounds = stored.TryGetSubsettingsValue(QStringLiteral("Bounds"));
    QVERIFY2(bounds, qPrintable(boundsEntry()));
    QCOMPARE(bounds->TryGetIntegerValue(QStringLiteral("Left")), std::optional<qint64>(140));

    SampleWindow again;
    again.show();
    QCOMPARE(again.pos(), QPoint(140, 90));
    QCOMPARE(again.size(), QSize(500, 300));
}

void TestBaseWindows::maximisedWindowForgetsBounds()
{
    WriteSettingsEntry(QStringLiteral("FormSettings"), QStringLiteral("TfmSample"),
                       QStringLiteral("{\"Bounds\":{\"Left\":\"5\",\"Top\":\"5\",\"Width\":\"400\",\"Height\":\"200\"}}"));
    {
        SampleWindow window;
        window.showMaximized();
    }
    QCOMPARE(boundsEntry(), QStringLiteral("{}"));
    SampleWindow again;
    const QSize designed = again.size();
    again.show();
    QCOMPARE(again.size(), designed);
}

void TestBaseWindows::hexadecimalAndBrokenBounds()
{
    WriteSettingsEntry(QStringLiteral("FormSettings"), QStringLiteral("TfmSample"),
                       QStringLiteral("{\"Bounds\":{\"Left\":\"$64\",\"Top\":\"abc\",\"Width\":450}}"));
    SampleWindow window;
    const int designedTop = window.y();
    window.show();
    QCOMPARE(window.x(), 100);
    QCOMPARE(window.y(), designedTop);
    QCOMPARE(window.frameGeometry().width(), 450); // stored bounds are the outer frame
}

void TestBaseWindows::modalWindowFreedAfterReturn()
{
    QPointer<SampleWindow> window = new SampleWindow;
    whenModal([](QWidget *modal) { qobject_cast<QDialog *>(modal)->reject(); });
    window->exec();
    QVERIFY(window); // still readable by the caller
    QTRY_VERIFY(!window);
}

void TestBaseWindows::minimiseWithoutTrayKeepsWindow()
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        QSKIP("this platform has a tray");
    SampleWindow window;
    window.show();
    window.showMinimized();
    QTest::qWait(20);
    window.ApplicationEventsMinimize();
    QVERIFY(!window.isHidden()); // never lost: it stays on the task bar
    QVERIFY(!window.trayIcon()->isVisible());
}

void TestBaseWindows::errorWindowShowsLines()
{
    QPointer<TfmzxError_Wins> window = new TfmzxError_Wins;
    QStringList seen;
    whenModal([&seen](QWidget *modal) {
        auto *errorWindow = qobject_cast<TfmzxError_Wins *>(modal);
        seen << errorWindow->windowTitle() << errorWindow->lbTitle->text()
             << QString::number(errorWindow->meErr->document()->blockCount());
        errorWindow->btnOk->click();
    });
    const int result = window->ErrDialog(QStringLiteral("Заголовок"), QStringLiteral("один\rдва\rтри"), QString());
    QCOMPARE(result, int(QDialog::Rejected));
    QCOMPARE(seen, (QStringList{QStringLiteral("Error"), QStringLiteral("Заголовок"), QStringLiteral("3")}));
}

void TestBaseWindows::setPasswordChecks_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("message"); // empty: accepted
    QTest::newRow("first empty") << "  " << "x" << "Пароль не может быть пустым!";
    QTest::newRow("second empty") << "secret" << "" << "Укажите пароль во 2-м поле!";
    QTest::newRow("different") << "secret" << "secreT"
                               << "Введенные пароли не совпадают в обоих полях!\rУкажите одинаковый пароль в обоих полях.";
    QTest::newRow("same but spaces") << "secret" << "  secret " << "";
}

void TestBaseWindows::setPasswordChecks()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, message);
    RecordingResponder responder;
    auto *window = new TfmZxSetPasswds;
    whenModal([first, second](QWidget *modal) {
        auto *dialog = qobject_cast<TfmZxSetPasswds *>(modal);
        dialog->edPasswd1->setText(first);
        dialog->edPasswd2->setText(second);
        dialog->btnOk->click();
        if (dialog->isVisible())
            dialog->Button1->click();
    });
    QString password = QStringLiteral("unchanged");
    const int result = window->Dialog(password);
    if (message.isEmpty()) {
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(password, QStringLiteral("secret"));
        QVERIFY(responder.boxes.isEmpty());
    } else {
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(password, QStringLiteral("unchanged"));
        QCOMPARE(responder.boxes.size(), 1);
        QCOMPARE(responder.boxes[0].text, message);
    }
}

void TestBaseWindows::styleSelection()
{
    QVERIFY(TZxStyles::StyleNames().startsWith(QStringLiteral("Amakrits")));
    TZxStyles::InitStyle();
    QCOMPARE(TZxStyles::ActiveStyleName(), QStringLiteral("Amakrits"));

    // Preview, then cancel: the style changes, the remembered name does not.
    auto *window = new Tfmzxsel_designs;
    whenModal([](QWidget *modal) {
        auto *dialog = qobject_cast<Tfmzxsel_designs *>(modal);
        const int carbon = dialog->mdDesign->stringList().indexOf(QStringLiteral("Carbon"));
        dialog->gdeProg->setCurrentIndex(dialog->mdDesign->index(carbon));
        dialog->btnRedraw->click();
        dialog->btnCancel->click();
    });
    window->exec();
    QCOMPARE(TZxStyles::ActiveStyleName(), QStringLiteral("Carbon"));
    QCOMPARE(m_root->CurrentDesign, QStringLiteral("Amakrits"));
    TZxStyles::InitStyle(); // the next window's creation switches back
    QCOMPARE(TZxStyles::ActiveStyleName(), QStringLiteral("Amakrits"));

    auto *chooser = new Tfmzxsel_designs;
    whenModal([](QWidget *modal) {
        auto *dialog = qobject_cast<Tfmzxsel_designs *>(modal);
        const int fusion = dialog->mdDesign->stringList().indexOf(QStringLiteral("Fusion"));
        dialog->gdeProg->setCurrentIndex(dialog->mdDesign->index(fusion));
        dialog->btnOk->click();
    });
    chooser->exec();
    QCOMPARE(m_root->CurrentDesign, QStringLiteral("Fusion"));
    QCOMPARE(TZxStyles::ActiveStyleName(), QStringLiteral("Fusion"));
    m_root->CurrentDesign = QStringLiteral("Amakrits");
    TZxStyles::InitStyle();
}

void TestBaseWindows::unknownStyleReported()
{
    RecordingResponder responder;
    m_root->CurrentDesign = QStringLiteral("Нет такого");
    SampleWindow window;
    QCOMPARE(responder.boxes.size(), 1);
    QCOMPARE(responder.boxes[0].kind, QStringLiteral("error"));
    QCOMPARE(TZxStyles::ActiveStyleName(), QStringLiteral("Amakrits"));
    m_root->CurrentDesign = QStringLiteral("Amakrits");
}

void TestBaseWindows::actionsWithoutHandlerAreDisabled()
{
    TZxActionList list;
    TZxAction *none = list.add(QStringLiteral("alOpenAs"), QStringLiteral("Файловые операции"), QStringLiteral("Открыть как"));
    TZxAction *some = list.add(QStringLiteral("alRefresh"), QStringLiteral("Дерево"), QStringLiteral("Обновить"));
    int runs = 0;
    some->setHandler([&runs] { ++runs; });
    QVERIFY(!none->isEnabled());
    QVERIFY(some->isEnabled());
    none->trigger();
    some->trigger();
    QCOMPARE(runs, 1);
    some->setAllowed(false);
    some->trigger();
    QCOMPARE(runs, 1);
    QCOMPARE(list.action(QStringLiteral("alRefresh")), some);
}

void TestBaseWindows::editModeToggles()
{
    QWidget window;
    auto *grid = new TZxDBGrid(&window);
    auto *button = new QPushButton(QStringLiteral("x"), &window);
    QStringListModel model({QStringLiteral("alpha"), QStringLiteral("beta")});
    grid->setModel(&model);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window) || true);
    TzxdmApps apps;

    button->setFocus();
    apps.SetEditMode(); // focus is not on a grid: nothing happens
    QVERIFY(grid->readOnly());

    grid->setFocus();
    QTRY_VERIFY(grid->hasFocus());
    apps.alZxAppUpdate();
    QCOMPARE(apps.alEditMode->text(), QStringLiteral("Режим редактирования"));
    apps.alEditMode->trigger();
    QVERIFY(!grid->readOnly());
    QVERIFY(!grid->incrementalSearch());
    apps.alZxAppUpdate();
    QCOMPARE(apps.alEditMode->text(), QStringLiteral("Режим поиска"));
    apps.alEditMode->trigger();
    QVERIFY(grid->readOnly());
    QVERIFY(grid->incrementalSearch());
}

QTEST_MAIN(TestBaseWindows)
#include "tst_base_windows.moc"
