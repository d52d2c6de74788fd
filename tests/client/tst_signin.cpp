#include "dmqiraclientdatas.h"
#include "dmzxdataclient.h"
#include "fmqiraclientmains.h"
#include "fmzxlogin.h"
#include "qiraclientview.h"
#include "qiraserverclass.h"
#include "qiraserverfixture.h"
#include "recordingresponder.h"
#include "whenmodal.h"
#include "zxapplication.h"
#include "zxauthenticator.h"
#include "zxcallcontext.h"
#include "zxdataset.h"
#include "zxdatasetmodel.h"
#include "zxdbgrid.h"
#include "zxdispatcher.h"
#include "zxeditor.h"
#include "zxinifile.h"
#include "zxremoteserver.h"
#include "zxactions.h"
#include "zxbase.h"
#include "zxroot.h"

#include <Qsci/qsciscintilla.h>

#include <QCheckBox>
#include <QHeaderView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

class FakeView : public TQiraClientView
{
public:
    void ShowMess(bool visible) override { messVisible = visible; }
    bool messVisible = false;
};

// A server whose Hello says no but still fills the session: faults only a fake can make.
class RefusingHelloServer : public TZxAuthenticator
{
public:
    RefusingHelloServer()
    {
        dispatcher.SetAuthenticator(this);
        dispatcher.AddMethod(QiraServerClass, QStringLiteral("Hello"),
                             {{QStringLiteral("ConnectInfo"), TZxParamType::String, TZxParamDir::InputOutput},
                              {ZxReturnValueName, TZxParamType::Boolean, TZxParamDir::Result}},
                             [](TZxCallContext &c) {
                                 c.Param(QStringLiteral("ConnectInfo"))
                                     .SetString(QStringLiteral("{\"Login\":\"x\",\"RoleID\":\"7\"}"));
                                 c.Param(ZxReturnValueName).SetBoolean(false);
                             });
        TZxServerOptions options;
        options.Address = QHostAddress::LocalHost;
        options.TcpPort = 0;
        options.HttpPort = 0;
        server = std::make_unique<TZxRemoteServer>(dispatcher, options);
        server->Start();
    }
    ~RefusingHelloServer() override { server->Stop(); }
    TZxSessionInfo Authenticate(const QString &userName, const QString &) override
    {
        TZxSessionInfo info;
        info.Login = userName;
        return info;
    }
    TZxDispatcher dispatcher;
    std::unique_ptr<TZxRemoteServer> server;
};

} // namespace

class TestSignIn : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void connectionParams_data();
    void connectionParams();
    void auth_data();
    void auth();
    void inactiveUserIsRefused();
    void helloFalseIsSilent();
    void serverClockBecomesRootClock();
    void startUpSignsIn();
    void versionMismatchEndsProgram();
    void portWithLetter();
    void reconnectReusesCredentials();
    void loginWindowChecks_data();
    void loginWindowChecks();
    void loginRemembersAsTypedAndSendsTrimmed();
    void loginCancelEndsProgram();
    void settingsPageRoundTrip();
    void errorTable();
    void viewSql();

private:
    void writeMainSettings(const QString &port, bool remember, const QString &login = QStringLiteral("admin"),
                           const QString &password = QStringLiteral("admin"));
    TfmQiraClientMain *startMainWindow();

    std::unique_ptr<QiraServerFixture> m_server;
    std::unique_ptr<Tzxroot> m_root;
    QTemporaryDir m_settingsDir;
    bool m_terminated = false;
};

void TestSignIn::initTestCase()
{
    m_server = std::make_unique<QiraServerFixture>();
    SetTerminateHandler([this] { m_terminated = true; });
}

void TestSignIn::init()
{
    m_root = std::make_unique<Tzxroot>();
    SetSettingsFilePath(m_settingsDir.filePath(QStringLiteral("client.ini")));
    QFile::remove(m_settingsDir.filePath(QStringLiteral("client.ini")));
    m_root->Init();
    m_terminated = false;
}

void TestSignIn::cleanup()
{
    QTest::qWait(0);
    m_root.reset();
}

void TestSignIn::writeMainSettings(const QString &port, bool remember, const QString &login, const QString &password)
{
    WriteSettingsEntry(QStringLiteral("ConnectionSettings"), QStringLiteral("TfmQiraClientMain"),
                       QStringLiteral("{\"CliSettings\":{\"Server\":\"127.0.0.1\",\"Port\":\"%1\",\"Protocol\":\"TCP\"}}").arg(port));
    WriteSettingsEntry(QStringLiteral("ConnectionSettings"), QStringLiteral("TfmZxLogins"),
                       QStringLiteral("{\"Auth\":{\"SaveAuth\":\"%1\",\"Login\":\"%2\",\"Password\":\"%3\"}}")
                           .arg(remember ? QStringLiteral("1") : QStringLiteral("0"), login, password));
}

TfmQiraClientMain *TestSignIn::startMainWindow()
{
    return new TfmQiraClientMain; // signs in during its creation
}

void TestSignIn::connectionParams_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("expected");
    QTest::newRow("TCP") << "TCP" << "Protocol=tcp/ip";
    QTest::newRow("HTTP") << "HTTP" << "Protocol=http";
    QTest::newRow("HTTPS") << "HTTPS" << "Protocol=http";
    QTest::newRow("lower case tcp") << "tcp" << "Protocol=http";
    QTest::newRow("empty") << "" << "Protocol=http";
}

void TestSignIn::connectionParams()
{
    QFETCH(QString, protocol);
    QFETCH(QString, expected);
    TConnectDs info;
    info.Server = QStringLiteral("  host ");
    info.Port = 211;
    info.Protocol = protocol;
    info.User = QStringLiteral(" ivanov ");
    info.Password = QStringLiteral("  Секрет1 ");
    const QStringList params = TdmQiraClientDatas::ConnectionParams(info);
    QCOMPARE(params, (QStringList{QStringLiteral("DriverID=DS"), QStringLiteral("Port=211"), QStringLiteral("Server=host"),
                                  expected, QStringLiteral("User_Name=ivanov"),
                                  QStringLiteral("Password=") + TextMD5(QStringLiteral("Секрет1"))}));
    for (const QString &param : params)
        QVERIFY(!param.contains(QStringLiteral("Секрет")));
}

void TestSignIn::auth_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<bool>("admin");
    QTest::newRow("administrator over TCP") << "admin" << "admin" << "TCP" << true << true;
    QTest::newRow("administrator over HTTP") << "admin" << "admin" << "HTTP" << true << true;
    QTest::newRow("password with blanks around") << "admin" << " admin\t" << "TCP" << true << true;
    QTest::newRow("ordinary user") << "user" << "user" << "TCP" << true << false;
    QTest::newRow("wrong password") << "admin" << "nimda" << "TCP" << false << false;
    QTest::newRow("unknown user") << "nobody" << "admin" << "HTTP" << false << false;
}

void TestSignIn::auth()
{
    QFETCH(QString, login);
    QFETCH(QString, password);
    QFETCH(QString, protocol);
    QFETCH(bool, signedIn);
    QFETCH(bool, admin);
    RecordingResponder responder;
    FakeView view;
    TdmQiraClientDatas data(&view);
    QCOMPARE(data.Auth(m_server->connectDs(login, password, protocol)), signedIn);
    QCOMPARE(m_root->IsAdmin(), admin);
    if (signedIn) {
        QVERIFY(responder.boxes.isEmpty());
        QCOMPARE(m_root->Sess.Login, login);
        QVERIFY(!m_root->Sess.UserID.isEmpty());
        QCOMPARE(data.GetServerVersion(), QStringLiteral("2.3.17"));
    } else {
        QCOMPARE(responder.boxes.size(), 1);
        QCOMPARE(responder.boxes[0].kind, QStringLiteral("window"));
        QVERIFY2(responder.boxes[0].caption.endsWith(QStringLiteral(". Функция Auth.Ошибка авторизации!")),
                 qPrintable(responder.boxes[0].caption));
        QVERIFY(!responder.boxes[0].text.isEmpty());
        QVERIFY(!data.cnQiraCli.Connected());
    }
}

void TestSignIn::inactiveUserIsRefused()
{
    RecordingResponder responder;
    FakeView view;
    {
        TdmQiraClientDatas data(&view);
        QVERIFY(data.Auth(m_server->connectDs(QStringLiteral("admin"), QStringLiteral("admin"))));
        TdmDCUsers &users = *data.dmDCUsers;
        users.Open();
        QVERIFY(users.iqData->Locate(QStringLiteral("login"), QStringLiteral("user")));
        users.iqData->Edit();
        users.iqData->FieldByName(QStringLiteral("active")).SetValue(0);
        users.iqData->Post(); // saves at once
        QVERIFY(responder.boxes.isEmpty());
        QVERIFY(!users.iqData->UpdatesPending());
    }
    TdmQiraClientDatas data(&view);
    QVERIFY(!data.Auth(m_server->connectDs(QStringLiteral("user"), QStringLiteral("user"))));
    QCOMPARE(responder.boxes.size(), 1);
    QVERIFY(!responder.boxes[0].text.isEmpty());

    // switch the user on again for the other tests
    TdmQiraClientDatas admin(&view);
    QVERIFY(admin.Auth(m_server->connectDs(QStringLiteral("admin"), QStringLiteral("admin"))));
    admin.dmDCUsers->Open();
    QVERIFY(admin.dmDCUsers->iqData->Locate(QStringLiteral("login"), QStringLiteral("user")));
    admin.dmDCUsers->iqData->Edit();
    admin.dmDCUsers->iqData->FieldByName(QStringLiteral("active")).SetValue(1);
    admin.dmDCUsers->iqData->Post();
    QVERIFY(admin.Auth(m_server->connectDs(QStringLiteral("user"), QStringLiteral("user"))));
}

void TestSignIn::helloFalseIsSilent()
{
    RecordingResponder responder;
    RefusingHelloServer server;
    FakeView view;
    TdmQiraClientDatas data(&view);
    TConnectDs info = m_server->connectDs(QStringLiteral("x"), QStringLiteral("y"));
    info.Port = server.server->TcpPort();
    QVERIFY(!data.Auth(info));
    QVERIFY(responder.boxes.isEmpty());
    QCOMPARE(m_root->Sess.RoleID, QStringLiteral("7")); // whatever the server put there
}

void TestSignIn::serverClockBecomesRootClock()
{
    const QDateTime serverTime(QDate(2031, 5, 6), QTime(7, 8, 9));
    TQiraStoreOptions options;
    options.clock = [serverTime] { return serverTime; };
    QiraServerFixture server(true, options);
    FakeView view;
    TdmQiraClientDatas data(&view);
    QVERIFY(data.Auth(server.connectDs(QStringLiteral("admin"), QStringLiteral("admin"))));
    QCOMPARE(m_root->GetNow(), serverTime);
}

void TestSignIn::startUpSignsIn()
{
    RecordingResponder responder;
    writeMainSettings(QString::number(m_server->host->TcpPort()), true);
    QPointer<TfmQiraClientMain> window = startMainWindow();
    QCOMPARE(window->windowTitle(), QStringLiteral("QiraClient Desktop - "));
    QCOMPARE(window->lbInfoClient->text(), QStringLiteral("Client Version: 2.3.17 ; Server Version: 2.3.17"));
    QVERIFY(responder.boxes.isEmpty());
    QVERIFY(window->alCommands->action(QStringLiteral("alRights"))->isVisible());
    QCOMPARE(Tzxroot::Instance()->Ver->PoductCode, QStringLiteral("vazoded"));

    // the error grid: time first, with the button that opens the error window
    QHeaderView *header = window->grError->horizontalHeader();
    QStringList titles;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical))
            titles << window->errorModel->headerData(logical, Qt::Horizontal).toString();
    }
    QCOMPARE(titles, (QStringList{QStringLiteral("Время"), QStringLiteral("Заголовок"), QStringLiteral("Сообщение")}));
    window->dmQiraClientDatas->AddError(QStringLiteral("Заголовок ошибки"), QStringLiteral("текст"));
    QVERIFY(window->paError->isVisibleTo(window));
    auto *button = qobject_cast<TZxCellButtonDelegate *>(window->grError->itemDelegateForColumn(2));
    QVERIFY(button);
    emit button->buttonClicked(window->errorModel->index(0, 2));
    QCOMPARE(responder.boxes.last().caption, QStringLiteral("Заголовок ошибки"));
    delete window;
}

void TestSignIn::versionMismatchEndsProgram()
{
    RecordingResponder responder;
    m_root->Ver->Version = QStringLiteral("2.3.17.1");
    writeMainSettings(QString::number(m_server->host->TcpPort()), true);
    TfmQiraClientMain *window = startMainWindow();
    QVERIFY(m_terminated);
    QCOMPARE(window->windowTitle(), QStringLiteral("Qira Client Desktop"));
    QVERIFY(!window->tmRun->isActive());
    QCOMPARE(responder.boxes.size(), 1);
    QCOMPARE(responder.boxes[0].kind, QStringLiteral("error"));
    QCOMPARE(responder.boxes[0].text,
             QStringLiteral("Версии клиентской и серверной части отличаются!\rЗапрещается запуск приложений разных версий\r"
                            "Работа программы будет завершена...\rВерсия клиентской части: 2.3.17.1\r"
                            "Версия серверной части: 2.3.17\r"));
    delete window;
}

void TestSignIn::portWithLetter()
{
    RecordingResponder responder;
    writeMainSettings(QStringLiteral("21a"), true);
    TfmQiraClientMain *window = startMainWindow();
    QCOMPARE(responder.boxes.size(), 1);
    QCOMPARE(responder.boxes[0].kind, QStringLiteral("window"));
    QCOMPARE(responder.boxes[0].caption, QStringLiteral("EConvertError. Функция Connect. Ошибка подключения."));
    QCOMPARE(window->windowTitle(), QStringLiteral("Qira Client Desktop"));
    QCOMPARE(window->lbInfoClient->text(), QStringLiteral("Client Version: 2.3.17"));
    delete window;
}

void TestSignIn::reconnectReusesCredentials()
{
    RecordingResponder responder;
    writeMainSettings(QString::number(m_server->host->TcpPort()), true, QStringLiteral("user"), QStringLiteral("user"));
    TfmQiraClientMain *window = startMainWindow();
    QCOMPARE(m_root->Sess.Login, QStringLiteral("user"));
    // forget the remembered credentials: a login window now would wait for a person
    writeMainSettings(QString::number(m_server->host->TcpPort()), false);
    window->dmQiraClientDatas->cnQiraCli.Close();
    window->btnConnect->click();
    QVERIFY(window->dmQiraClientDatas->cnQiraCli.Connected());
    QCOMPARE(m_root->Sess.Login, QStringLiteral("user"));
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(window->lbInfoClient->text().endsWith(QStringLiteral(" ; Server Version: 2.3.17")));
    QVERIFY(responder.boxes.isEmpty());
    delete window;
}

void TestSignIn::loginWindowChecks_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty login") << "  " << "x" << "Логин не может быть пустым!";
    QTest::newRow("empty password") << "admin" << " " << "Пароль не может быть пустым!";
}

void TestSignIn::loginWindowChecks()
{
    QFETCH(QString, login);
    QFETCH(QString, password);
    QFETCH(QString, message);
    RecordingResponder responder;
    FakeView view;
    TdmQiraClientDatas data(&view);
    data.SetConnectInfo(m_server->connectDs(QString(), QString()));
    // remembered, so the automatic confirmation runs the checks by itself
    WriteSettingsEntry(QStringLiteral("ConnectionSettings"), QStringLiteral("TfmZxLogins"),
                       QStringLiteral("{\"Auth\":{\"SaveAuth\":\"1\",\"Login\":\"%1\",\"Password\":\"%2\"}}").arg(login, password));
    auto *window = new TfmZxLogins;
    bool stillOpen = false;
    QTimer::singleShot(700, [&stillOpen] {
        auto *login = qobject_cast<TfmZxLogins *>(QApplication::activeModalWidget());
        stillOpen = login != nullptr;
        if (login)
            login->reject();
    });
    QVERIFY(!window->Auth(&data, true));
    QVERIFY(stillOpen);
    QCOMPARE(responder.boxes.size(), 1);
    QCOMPARE(responder.boxes[0].text, message);
}

void TestSignIn::loginRemembersAsTypedAndSendsTrimmed()
{
    RecordingResponder responder;
    FakeView view;
    TdmQiraClientDatas data(&view);
    data.SetConnectInfo(m_server->connectDs(QString(), QString()));

    // AutoLogin false: remembered credentials do not confirm by themselves
    WriteSettingsEntry(QStringLiteral("ConnectionSettings"), QStringLiteral("TfmZxLogins"),
                       QStringLiteral("{\"Auth\":{\"SaveAuth\":\"1\",\"Login\":\"admin\",\"Password\":\"admin\"}}"));
    auto *waiting = new TfmZxLogins;
    bool waited = false;
    QTimer::singleShot(700, [&waited] {
        auto *login = qobject_cast<TfmZxLogins *>(QApplication::activeModalWidget());
        waited = login != nullptr;
        if (login) {
            login->edLogin->setText(QStringLiteral("  admin "));
            login->edPassword->setText(QStringLiteral(" admin  "));
            login->btnOk->click();
        }
    });
    QVERIFY(waiting->Auth(&data, false));
    QVERIFY(waited);
    QCOMPARE(data.ConnectInfo().User, QStringLiteral("admin"));
    QCOMPARE(ReadSettingsEntry(QStringLiteral("ConnectionSettings"), QStringLiteral("TfmZxLogins")),
             QStringLiteral("{\"Auth\":{\"SaveAuth\":\"1\",\"Login\":\"  admin \",\"Password\":\" admin  \"}}"));

    // unticking erases the remembered login and password
    auto *unticked = new TfmZxLogins;
    whenModal([](QWidget *modal) {
        auto *login = qobject_cast<TfmZxLogins *>(modal);
        login->cbSaveAuth->setChecked(false);
        login->btnOk->click();
    });
    QVERIFY(unticked->Auth(&data, false));
    QCOMPARE(ReadSettingsEntry(QStringLiteral("ConnectionSettings"), QStringLiteral("TfmZxLogins")),
             QStringLiteral("{\"Auth\":{\"SaveAuth\":\"0\",\"Login\":\"\",\"Password\":\"\"}}"));
    QVERIFY(responder.boxes.isEmpty());
}

void TestSignIn::loginCancelEndsProgram()
{
    FakeView view;
    TdmQiraClientDatas data(&view);
    auto *window = new TfmZxLogins;
    whenModal([](QWidget *modal) { qobject_cast<TfmZxLogins *>(modal)->btnCancel->click(); });
    QVERIFY(!window->Auth(&data, true));
    QVERIFY(m_terminated);
}

void TestSignIn::settingsPageRoundTrip()
{
    RecordingResponder responder;
    writeMainSettings(QStringLiteral("1"), false);
    QTimer::singleShot(0, [] {
        QTRY_VERIFY(QApplication::activeModalWidget());
        qobject_cast<QDialog *>(QApplication::activeModalWidget())->reject(); // the login window
    });
    TfmQiraClientMain *window = startMainWindow();
    window->edHost->setText(QStringLiteral(" server.local "));
    window->edPort->setText(QStringLiteral(" 2110"));
    window->cbProtocol->setCurrentIndex(window->cbProtocol->findText(QStringLiteral("HTTP")));
    window->edDirProj->setText(QStringLiteral("  /home/пользователь/Документы  "));
    window->SaveSettings();
    QCOMPARE(ReadSettingsEntry(QStringLiteral("ConnectionSettings"), QStringLiteral("TfmQiraClientMain")),
             QStringLiteral("{\"CliSettings\":{\"Server\":\" server.local \",\"Port\":\" 2110\",\"Protocol\":\"HTTP\","
                            "\"DirProj\":\"/home/пользователь/Документы\",\"ColorDel\":\"12171775\","
                            "\"ColorWorkin\":\"11195903\",\"ColorCurrentPos\":\"7960832\"}}"));
    window->edHost->clear();
    window->cbProtocol->setCurrentIndex(0);
    window->RestoreSettings();
    QCOMPARE(window->edHost->text(), QStringLiteral(" server.local "));
    QCOMPARE(window->cbProtocol->currentText(), QStringLiteral("HTTP"));

    WriteSettingsEntry(QStringLiteral("ConnectionSettings"), QStringLiteral("TfmQiraClientMain"),
                       QStringLiteral("{\"CliSettings\":{\"Protocol\":\"FTP\"}}"));
    window->RestoreSettings();
    QCOMPARE(window->cbProtocol->currentIndex(), -1);
    window->SaveSettings(); // no protocol chosen: the failure is reported, nothing written
    QCOMPARE(responder.boxes.last().caption, QStringLiteral("EStringListError. Функция SaveSettings. Ошибка сохранения настроек."));
    QCOMPARE(ReadSettingsEntry(QStringLiteral("ConnectionSettings"), QStringLiteral("TfmQiraClientMain")),
             QStringLiteral("{\"CliSettings\":{\"Protocol\":\"FTP\"}}"));
    delete window;
}

void TestSignIn::errorTable()
{
    RecordingResponder responder;
    FakeView view;
    TdmQiraClientDatas data(&view);
    TZxDatasetModel model(data.mtErrors);
    data.ShowError();
    QCOMPARE(responder.boxes.size(), 1);
    QCOMPARE(responder.boxes[0].caption, QString());
    QCOMPARE(responder.boxes[0].text, QString());

    data.AddError(QStringLiteral("Получение файлов"), QStringLiteral("первая"));
    QTest::qWait(2);
    data.QiraError(QStringLiteral("Отправка файла"), QStringLiteral("вторая\rстрока"));
    QVERIFY(view.messVisible);
    QCOMPARE(data.mtErrors->RecordCount(), 2);
    data.mtErrors->First();
    QCOMPARE(data.mtErrors->FieldByName(QStringLiteral("Title")).AsString(), QStringLiteral("Отправка файла"));
    const QDateTime newest = data.mtErrors->FieldByName(QStringLiteral("TimeErr")).AsDateTime();
    data.mtErrors->Next();
    QCOMPARE(data.mtErrors->FieldByName(QStringLiteral("MessErr")).AsString(), QStringLiteral("первая"));
    QVERIFY(data.mtErrors->FieldByName(QStringLiteral("TimeErr")).AsDateTime() <= newest);

    data.AddError(QString(20000, u'x'), QString(20000, u'y')); // cut, never refused
    QCOMPARE(data.mtErrors->RecordCount(), 3);

    data.ClearErrorTable();
    QCOMPARE(data.mtErrors->RecordCount(), 0);
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(view.messVisible);
}

void TestSignIn::viewSql()
{
    RecordingResponder responder;
    FakeView view;
    TdmQiraClientDatas data(&view);
    QVERIFY(data.Auth(m_server->connectDs(QStringLiteral("admin"), QStringLiteral("admin"))));

    QWidget window;
    auto *grid = new TZxDBGrid(&window);
    auto *button = new QPushButton(QStringLiteral("x"), &window);
    TZxDataset files(QStringLiteral("iqFiles"));
    TZxDatasetModel model(&files);
    grid->setModel(&model);
    window.show();

    button->setFocus();
    QTRY_VERIFY(button->hasFocus());
    data.ViewSQL();
    QCOMPARE(responder.boxes.size(), 1);
    QCOMPARE(responder.boxes[0].text, QStringLiteral("Не выбран элемент управления! (ViewSQL)"));

    grid->setFocus();
    QTRY_VERIFY(grid->hasFocus());
    QString shown;
    bool readOnly = false;
    whenModal([&shown, &readOnly](QWidget *modal) {
        auto *editor = qobject_cast<Tfmzxeditor *>(modal);
        shown = editor->edEditor->text();
        readOnly = editor->edEditor->isReadOnly();
        editor->btnOk->click();
    });
    data.ViewSQL();
    QVERIFY2(shown.contains(QStringLiteral("select"), Qt::CaseInsensitive), qPrintable(shown));
    QVERIFY(readOnly);
    QCOMPARE(responder.boxes.size(), 1);
}

QTEST_MAIN(TestSignIn)
#include "tst_signin.moc"
