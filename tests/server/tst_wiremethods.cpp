// Every method of TQiraServerClass over the wire, on its main path, and a server that
// keeps serving after requests it cannot use.
#include "methodsfixture.h"
#include "qirarights.h"
#include "zxremoteprotocol.h"
#include "zxversion.h"

#include <QCborMap>
#include <QCborValue>
#include <QTcpSocket>
#include <QtEndian>

using Call = MethodsFixture::Call;

namespace {

const QDateTime FixedNow(QDate(2030, 1, 2), QTime(3, 4, 5, 678));

TQiraStoreOptions fixedClock(QDateTime *now)
{
    TQiraStoreOptions options;
    options.clock = [now] { return *now; };
    return options;
}

QString sessionJson(const QString &login, const QString &password)
{
    TZxSessionInfo info;
    info.Login = login;
    info.PasswdMd5 = TextMD5(password);
    return GetZxSessionInfo(info);
}

// Hello as the client sends it; returns the answer and the record read back.
bool hello(TZxConnection &c, const QString &connectInfo, TZxSessionInfo *record = nullptr)
{
    Call call(c, QStringLiteral("Hello"));
    call.text(QStringLiteral("ConnectInfo"), connectInfo, TZxParamDir::InputOutput).run();
    if (record)
        *record = DecodeZxSessionInfo(call.param(QStringLiteral("ConnectInfo")).AsString());
    return call.boolean();
}

QString text(TZxConnection &c, const QString &method, const QString &name, const QString &value)
{
    return Call(c, method).text(name, value).run().result();
}

// Appends a file row to a list loaded from the server and posts it as the client's grid
// does; returns the new identifier.
QString appendFile(TZxConnection &c, TZxDataset &list, const QString &treeId, const QString &name,
                   const QString &method = QStringLiteral("StreamPostFiles"))
{
    const QString id = NewID();
    list.Append();
    list.FieldByName(QStringLiteral("fileid")).SetValue(id);
    list.FieldByName(QStringLiteral("treeid")).SetValue(treeId);
    list.FieldByName(QStringLiteral("filename")).SetValue(name);
    list.FieldByName(QStringLiteral("fileext")).SetValue(QStringLiteral("txt"));
    list.FieldByName(QStringLiteral("del")).SetValue(0);
    list.Post();
    MethodsFixture::post(c, method, list);
    return id;
}

} // namespace

class TestWireMethods : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_fx.reset(); }

    void helloCompletesTheSession_data();
    void helloCompletesTheSession();
    void helloRecordsTheSignInTime();
    void helloRefuses_data();
    void helloRefuses();
    void signInRefused();
    void versionAndClock();
    void rights();
    void treeOperations();
    void fileList();
    void refreshBeforeAnyList();
    void namesAndSizes();
    void checkInAndHistory();
    void purgeFile();
    void administrationTables();
    void storedValuesStayListable();
    void sqlTexts_data();
    void sqlTexts();
    void badRequestsKeepServing_data();
    void badRequestsKeepServing();
    void garbageOnTheWire();
    void callLog();

private:
    QDateTime m_now = FixedNow;
    std::unique_ptr<MethodsFixture> m_fx;
};

void TestWireMethods::init()
{
    m_now = FixedNow;
    m_fx = std::make_unique<MethodsFixture>(fixedClock(&m_now));
}

void TestWireMethods::helloCompletesTheSession_data()
{
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("roleId");
    QTest::addColumn<QString>("roleName");
    QTest::addColumn<QString>("protocol");
    QTest::newRow("admin tcp") << "tcp" << "admin" << "admin" << "1" << "Администратор" << "tcp/ip";
    QTest::newRow("user http") << "http" << "user" << "user" << "2" << "Пользователь" << "http";
    // The client sends the login as typed; the connection's is trimmed.
    QTest::newRow("login typed with blanks") << "tcp" << "user" << "  user " << "2" << "Пользователь" << "tcp/ip";
}

void TestWireMethods::helloCompletesTheSession()
{
    QFETCH(QString, transport);
    QFETCH(QString, login);
    QFETCH(QString, typed);
    auto c = m_fx->connect(login, transport);
    TZxSessionInfo record;
    QVERIFY(hello(*c, sessionJson(typed, login), &record));
    QCOMPARE(record.Login, login);
    QCOMPARE(record.UserID, login == QStringLiteral("admin") ? m_fx->admin.userId : m_fx->user.userId);
    QTEST(record.RoleID, "roleId");
    QTEST(record.RoleName, "roleName");
    QTEST(record.Protocol, "protocol");
    QCOMPARE(record.PasswdMd5, TextMD5(login));
}

void TestWireMethods::helloRecordsTheSignInTime()
{
    auto admin = m_fx->connect(QStringLiteral("admin"));
    auto c = m_fx->connect(QStringLiteral("user"));
    m_now = FixedNow.addDays(3);
    QVERIFY(hello(*c, sessionJson(QStringLiteral("user"), QStringLiteral("user"))));
    auto users = MethodsFixture::load(Call(*admin, QStringLiteral("GetUsers")).run().bytes(), QStringLiteral("iqUsers"));
    QVERIFY(users->Locate(QStringLiteral("login"), QStringLiteral("user")));
    QCOMPARE(users->FieldByName(QStringLiteral("last_datetime")).AsDateTime(), m_now);
}

void TestWireMethods::helloRefuses_data()
{
    QTest::addColumn<QString>("connectInfo");
    QTest::newRow("another login") << sessionJson(QStringLiteral("other"), QStringLiteral("other"));
    QTest::newRow("wrong digest") << sessionJson(QStringLiteral("boss"), QStringLiteral("guess"));
    QTest::newRow("no digest") << sessionJson(QStringLiteral("boss"), QString()).replace(TextMD5(QString()), QString());
    QTest::newRow("not JSON") << QStringLiteral("{\"Login\": \"boss\"");
    QTest::newRow("switched off since connect") << QString();
}

// A refused registration answers false, puts no role into the record and leaves the
// connection without its administrator rights.
void TestWireMethods::helloRefuses()
{
    QFETCH(QString, connectInfo);
    m_fx->addUser(QStringLiteral("boss"), QStringLiteral("1"));
    auto c = m_fx->connect(QStringLiteral("boss"));
    if (connectInfo.isEmpty()) {
        auto admin = m_fx->connect(QStringLiteral("admin"));
        auto users = MethodsFixture::load(Call(*admin, QStringLiteral("GetUsers")).run().bytes(), QStringLiteral("iqUsers"));
        QVERIFY(users->Locate(QStringLiteral("login"), QStringLiteral("boss")));
        users->Edit();
        users->FieldByName(QStringLiteral("active")).SetValue(0);
        users->Post();
        MethodsFixture::post(*admin, QStringLiteral("StreamPostUsers"), *users);
        connectInfo = sessionJson(QStringLiteral("boss"), QStringLiteral("boss"));
    }
    TZxSessionInfo record;
    QVERIFY(!hello(*c, connectInfo, &record));
    QCOMPARE(record.RoleID, QString());
    QCOMPARE(record.UserID, QString());
    QCOMPARE(MethodsFixture::failure([&] { Call(*c, QStringLiteral("GetUsers")).run(); }), QStringLiteral("EQiraRightsError"));
}

void TestWireMethods::signInRefused()
{
    QString unknown;
    QString wrong;
    QCOMPARE(MethodsFixture::failure([&] { m_fx->connect(QStringLiteral("nobody"), QStringLiteral("tcp"), QStringLiteral("x")); },
                                     &unknown),
             QStringLiteral("EQiraAuthError"));
    QCOMPARE(MethodsFixture::failure([&] { m_fx->connect(QStringLiteral("user"), QStringLiteral("http"), QStringLiteral("x")); },
                                     &wrong),
             QStringLiteral("EQiraAuthError"));
    QCOMPARE(unknown, wrong);
}

void TestWireMethods::versionAndClock()
{
    auto c = m_fx->connect(QStringLiteral("user"));
    QCOMPARE(Call(*c, QStringLiteral("getVersion")).run().result(), QStringLiteral("2.3.17"));
    QCOMPARE(Call(*c, QStringLiteral("getVersion")).run().result(), Tzxversion().Version);
    m_now = QDateTime(QDate(2031, 5, 6), QTime(7, 8, 9, 123));
    QCOMPARE(Call(*c, QStringLiteral("GetNow")).run().param(ZxReturnValueName).AsDateTime(), m_now);
}

void TestWireMethods::rights()
{
    const QString open = m_fx->branch(QStringLiteral("Общие"));
    const QString granted = m_fx->branch(QStringLiteral("Проекты"));
    m_fx->grant(granted, QStringLiteral("user"), {}, QStringLiteral("rtree,rfile,wfile"));
    auto admin = m_fx->connect(QStringLiteral("admin"));
    auto user = m_fx->connect(QStringLiteral("user"));
    const auto rightsOf = [](TZxConnection &c, const QString &treeId) {
        return DecodeZxTreeRights(text(c, QStringLiteral("GetRights"), QStringLiteral("TreeID"), treeId));
    };
    const TTreeRights all = rightsOf(*admin, granted);
    QCOMPARE(all.TreeID, granted);
    QVERIFY(all.RTree && all.WTree && all.AdmTree && all.RFile && all.WFile);
    const TTreeRights mine = rightsOf(*user, granted);
    QCOMPARE(mine.UserName, QStringLiteral("user"));
    QCOMPARE(mine.RoleID, QStringLiteral("2"));
    QVERIFY(mine.RTree && mine.RFile && mine.WFile);
    QVERIFY(!mine.WTree && !mine.AdmTree && !mine.RMyFile);
    const TTreeRights fallback = rightsOf(*user, open);
    QVERIFY(fallback.RTree && fallback.RFile);
    QVERIFY(!fallback.WFile && !fallback.WTree);
    QCOMPARE(MethodsFixture::failure([&] { rightsOf(*user, QStringLiteral("no-such-branch")); }),
             QStringLiteral("EQiraRequestError"));
}

void TestWireMethods::treeOperations()
{
    auto c = m_fx->connect(QStringLiteral("admin"));
    const QString top = NewID();
    const QString child = NewID();
    Call(*c, QStringLiteral("InsNode"))
        .text(QStringLiteral("NewTreeID"), top)
        .text(QStringLiteral("ParentTreeID"), QString())
        .text(QStringLiteral("NodeText"), QStringLiteral("Проекты"))
        .run();
    Call(*c, QStringLiteral("InsNode"))
        .text(QStringLiteral("NewTreeID"), child)
        .text(QStringLiteral("ParentTreeID"), top)
        .text(QStringLiteral("NodeText"), QStringLiteral("Смета"))
        .run();
    m_fx->grant(top, QStringLiteral("user"), {}, QStringLiteral("rtree,rfile"));
    const auto children = [&](const QString &parent, bool showDeleted) {
        return MethodsFixture::load(Call(*c, QStringLiteral("GetTree"))
                                        .text(QStringLiteral("ParentID"), parent)
                                        .flag(QStringLiteral("IsShowDel"), showDeleted)
                                        .run()
                                        .bytes(),
                                    QStringLiteral("iqTree"));
    };
    auto level = children(QString(), false);
    QCOMPARE(MethodsFixture::column(*level, QStringLiteral("treeid")), QStringList{top});
    QCOMPARE(MethodsFixture::column(*level, QStringLiteral("treename")), QStringList{QStringLiteral("Проекты")});
    QCOMPARE(MethodsFixture::column(*level, QStringLiteral("ccount")), QStringList{QStringLiteral("1")});
    QCOMPARE(MethodsFixture::column(*level, QStringLiteral("kolrights")), QStringList{QStringLiteral("1")});
    level = children(top, false);
    QCOMPARE(MethodsFixture::column(*level, QStringLiteral("parent_treeid")), QStringList{top});

    Call(*c, QStringLiteral("SetNodeText")).text(QStringLiteral("TreeID"), child).text(QStringLiteral("NewText"), QStringLiteral("Смета 2024")).run();
    QCOMPARE(Call(*c, QStringLiteral("SearchNode"))
                 .text(QStringLiteral("ParentID"), top)
                 .text(QStringLiteral("NodeName"), QStringLiteral("Смета 2024"))
                 .run()
                 .result(),
             child);
    QCOMPARE(text(*c, QStringLiteral("FindTree"), QStringLiteral("TreeID"), child), child + u',' + top);

    Call(*c, QStringLiteral("DelNode")).text(QStringLiteral("TreeID"), child).int32(QStringLiteral("Del"), 1).run();
    QVERIFY(children(top, false)->IsEmpty());
    level = children(top, true);
    QCOMPARE(MethodsFixture::column(*level, QStringLiteral("del")), QStringList{QStringLiteral("1")});
    Call(*c, QStringLiteral("DelNode")).text(QStringLiteral("TreeID"), child).int32(QStringLiteral("Del"), 0).run();
    QCOMPARE(children(top, false)->RecordCount(), 1);

    Call(*c, QStringLiteral("MoveNode")).text(QStringLiteral("TreeID"), child).text(QStringLiteral("NewParentID"), QString()).run();
    QCOMPARE(text(*c, QStringLiteral("FindTree"), QStringLiteral("TreeID"), child), child);
    QCOMPARE(children(QString(), false)->RecordCount(), 2);

    Call(*c, QStringLiteral("DelNodeFull")).text(QStringLiteral("TreeID"), child).run();
    QCOMPARE(text(*c, QStringLiteral("FindTree"), QStringLiteral("TreeID"), child), QString());
    QCOMPARE(MethodsFixture::column(*children(QString(), true), QStringLiteral("treeid")), QStringList{top});
}

void TestWireMethods::fileList()
{
    const QString branch = m_fx->branch(QStringLiteral("Проекты"));
    auto c = m_fx->connect(QStringLiteral("admin"));
    TQiraFilter filter = ServerFixture::listOf(branch, 2);
    auto list = MethodsFixture::load(MethodsFixture::getFiles(*c, filter), QStringLiteral("iqFiles"));
    QVERIFY(list->IsEmpty());
    QVERIFY(list->FindField(QStringLiteral("count_history")));
    QVERIFY(!list->FindField(QStringLiteral("blob_pic")));
    const QString act = appendFile(*c, *list, branch, QStringLiteral("Акт"));
    appendFile(*c, *list, branch, QStringLiteral("Счёт"));
    const QString contract = appendFile(*c, *list, branch, QStringLiteral("Договор"), QStringLiteral("StreamPostFileList"));
    m_fx->upload(m_fx->admin, act, QByteArray(1536, 'a'));

    list = MethodsFixture::load(MethodsFixture::getFiles(*c, filter), QStringLiteral("iqFiles"));
    QCOMPARE(MethodsFixture::column(*list, QStringLiteral("filename")),
             (QStringList{QStringLiteral("Акт"), QStringLiteral("Договор")}));
    QCOMPARE(MethodsFixture::column(*list, QStringLiteral("usercreate")), (QStringList{QStringLiteral("admin"), QStringLiteral("admin")}));
    filter.CurrentPage = 1;
    list = MethodsFixture::load(MethodsFixture::getFiles(*c, filter), QStringLiteral("iqFiles"));
    QCOMPARE(MethodsFixture::column(*list, QStringLiteral("filename")), QStringList{QStringLiteral("Счёт")});
    // RefreshFiles reads again what this connection last asked for: page 1.
    list = MethodsFixture::load(Call(*c, QStringLiteral("RefreshFiles")).run().bytes(), QStringLiteral("iqFiles"));
    QCOMPARE(MethodsFixture::column(*list, QStringLiteral("filename")), QStringList{QStringLiteral("Счёт")});

    Call count(*c, QStringLiteral("GetKolRows"));
    count.text(QStringLiteral("QiraFilter"), MethodsFixture::filterJson(filter)).run();
    QCOMPARE(count.result(), QStringLiteral("3"));
    QCOMPARE(count.param(QStringLiteral("TotalSize")).AsString(), QStringLiteral("1.500"));

    // The secondary list, with previews asked for, edited and posted back.
    filter.CurrentPage = 0;
    filter.KolRows = 1000;
    filter.IsPreview = true;
    auto secondary = MethodsFixture::load(MethodsFixture::getFiles(*c, filter, QStringLiteral("GetFileList")),
                                          QStringLiteral("iqFileList"));
    QCOMPARE(secondary->RecordCount(), 3);
    QVERIFY(secondary->FindField(QStringLiteral("blob_pic")));
    MethodsFixture::editFile(*c, contract, {{QStringLiteral("comment_file"), QStringLiteral("подписан")},
                                            {QStringLiteral("sumdoc"), QStringLiteral("12.5")}});
    auto row = MethodsFixture::fileRow(*c, contract);
    QCOMPARE(row->FieldByName(QStringLiteral("comment_file")).AsString(), QStringLiteral("подписан"));
    QCOMPARE(row->FieldByName(QStringLiteral("sumdoc")).AsString(), QStringLiteral("12.500"));

    // A deleted row marks the file deleted; it is listed only with deleted files shown.
    list = MethodsFixture::load(MethodsFixture::getFiles(*c, ServerFixture::listOf(branch)), QStringLiteral("iqFiles"));
    QVERIFY(list->Locate(QStringLiteral("fileid"), contract));
    list->Delete();
    MethodsFixture::post(*c, QStringLiteral("StreamPostFiles"), *list);
    filter = ServerFixture::listOf(branch);
    QCOMPARE(MethodsFixture::load(MethodsFixture::getFiles(*c, filter), QStringLiteral("iqFiles"))->RecordCount(), 2);
    filter.IsShowDel = true;
    list = MethodsFixture::load(MethodsFixture::getFiles(*c, filter), QStringLiteral("iqFiles"));
    QVERIFY(list->Locate(QStringLiteral("fileid"), contract));
    QCOMPARE(list->FieldByName(QStringLiteral("del")).AsInteger(), 1);
}

void TestWireMethods::refreshBeforeAnyList()
{
    auto c = m_fx->connect(QStringLiteral("user"));
    QCOMPARE(MethodsFixture::failure([&] { Call(*c, QStringLiteral("RefreshFiles")).run(); }),
             QStringLiteral("EQiraRequestError"));
    // Another connection's list is not this one's.
    auto other = m_fx->connect(QStringLiteral("user"));
    MethodsFixture::getFiles(*other, ServerFixture::listOf(m_fx->branch(QStringLiteral("Общие"))));
    QCOMPARE(MethodsFixture::failure([&] { Call(*c, QStringLiteral("RefreshFiles")).run(); }),
             QStringLiteral("EQiraRequestError"));
}

void TestWireMethods::namesAndSizes()
{
    const QString top = m_fx->branch(QStringLiteral("Проекты"));
    const QString sub = m_fx->branch(QStringLiteral("Смета"), top);
    const QString file = m_fx->file(sub, QStringLiteral("план"));
    auto c = m_fx->connect(QStringLiteral("user"));
    QCOMPARE(text(*c, QStringLiteral("GetClientFileName"), QStringLiteral("FileID"), file),
             QStringLiteral("Проекты\\Смета\\план.txt"));
    const auto serverName = [&](bool raise) {
        return Call(*c, QStringLiteral("GetServerFileName"))
            .text(QStringLiteral("FileID"), file)
            .flag(QStringLiteral("IsExcept"), raise)
            .run()
            .result();
    };
    QCOMPARE(MethodsFixture::failure([&] { serverName(true); }), QStringLiteral("EQiraRequestError"));
    QCOMPARE(serverName(false), QString());
    QCOMPARE(text(*c, QStringLiteral("GetFileSizeServer"), QStringLiteral("FileID"), file), QStringLiteral("0"));
    m_fx->upload(m_fx->admin, file, QByteArray(3000, 'x'));
    QVERIFY(serverName(true).startsWith(QStringLiteral("content/")));
    QCOMPARE(text(*c, QStringLiteral("GetFileSizeServer"), QStringLiteral("FileID"), file), QStringLiteral("3000"));
}

// Take into work, check a version in over the wire (which releases the file), twice;
// the history lists both versions.
void TestWireMethods::checkInAndHistory()
{
    const QString branch = m_fx->branch(QStringLiteral("Проекты"));
    m_fx->grant(branch, QStringLiteral("user"), {}, QStringLiteral("rtree,rfile,wfile"));
    const QString file = m_fx->file(branch, QStringLiteral("отчет"));
    auto c = m_fx->connect(QStringLiteral("user"));
    const QList<QByteArray> versions{QByteArray("первая версия"), QByteArray("вторая, длиннее первой")};
    for (const QByteArray &bytes : versions) {
        MethodsFixture::editFile(*c, file, {{QStringLiteral("working_user"), QStringLiteral("user")}});
        QCOMPARE(MethodsFixture::fileRow(*c, file)->FieldByName(QStringLiteral("working_user")).AsString(), QStringLiteral("user"));
        QCOMPARE(MethodsFixture::upload(*c, file, bytes), qint64(bytes.size()));
        auto row = MethodsFixture::fileRow(*c, file);
        QCOMPARE(row->FieldByName(QStringLiteral("working_user")).AsString(), QString());
        QCOMPARE(row->FieldByName(QStringLiteral("md5_file")).AsString(), ServerFixture::md5(bytes));
        QCOMPARE(MethodsFixture::download(*c, file), bytes);
    }
    auto history = MethodsFixture::load(Call(*c, QStringLiteral("GetHistory")).text(QStringLiteral("FileID"), file).run().bytes(),
                                        QStringLiteral("iqHistory"));
    QCOMPARE(MethodsFixture::column(*history, QStringLiteral("ordnum")), (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    QCOMPARE(MethodsFixture::column(*history, QStringLiteral("usercreate")), (QStringList{QStringLiteral("user"), QStringLiteral("user")}));
    QCOMPARE(MethodsFixture::column(*history, QStringLiteral("md5_file")),
             (QStringList{ServerFixture::md5(versions.at(0)), ServerFixture::md5(versions.at(1))}));

    // EndChange answers the version as recorded.
    const QByteArray third("третья");
    const QString json = GetQiraHistoryJson(UploadHistoryInfo(file, ServerFixture::md5(third), third.size()));
    Call(*c, QStringLiteral("NewChange")).text(QStringLiteral("FileHistInfo"), json).run();
    Call put(*c, QStringLiteral("PutBigFileToServer"));
    put.text(QStringLiteral("FileID"), file)
        .blob(QStringLiteral("Stream"), third, TZxParamDir::InputOutput)
        .text(QStringLiteral("FileSize"), QString::number(third.size()))
        .text(QStringLiteral("Status"), QStringLiteral("Start"))
        .run();
    QCOMPARE(put.result(), QString::number(third.size()));
    // The chunk does not travel back with the reply.
    QVERIFY(put.param(QStringLiteral("Stream")).IsNull());
    const TQiraHistoryInfo recorded =
        DecodeQiraHistoryInfo(Call(*c, QStringLiteral("EndChange")).text(QStringLiteral("FileHistInfo"), json).run().result());
    QCOMPARE(recorded.ordnum, qint64(3));
    QCOMPARE(recorded.usercreate, QStringLiteral("user"));
    QCOMPARE(recorded.datecreate, m_now);
}

void TestWireMethods::purgeFile()
{
    const QString branch = m_fx->branch(QStringLiteral("Архив"));
    const QString file = m_fx->file(branch, QStringLiteral("старый"));
    m_fx->upload(m_fx->admin, file, QByteArray("bytes"));
    auto c = m_fx->connect(QStringLiteral("admin"));
    Call(*c, QStringLiteral("FizDelFile")).text(QStringLiteral("FileID"), file).run();
    QVERIFY(MethodsFixture::fileRow(*c, file)->IsEmpty());
    QCOMPARE(MethodsFixture::failure([&] { text(*c, QStringLiteral("GetFileSizeServer"), QStringLiteral("FileID"), file); }),
             QStringLiteral("EQiraRequestError"));
}

void TestWireMethods::administrationTables()
{
    const QString branch = m_fx->branch(QStringLiteral("Бухгалтерия"));
    auto c = m_fx->connect(QStringLiteral("admin"));

    auto roles = MethodsFixture::load(Call(*c, QStringLiteral("GetRoles")).run().bytes(), QStringLiteral("iqRoles"));
    roles->Append();
    roles->FieldByName(QStringLiteral("roleid")).SetValue(QStringLiteral("3"));
    roles->FieldByName(QStringLiteral("rolename")).SetValue(QStringLiteral("Бухгалтер"));
    roles->FieldByName(QStringLiteral("active")).SetValue(1);
    roles->Post();
    MethodsFixture::post(*c, QStringLiteral("StreamPostRole"), *roles);
    roles = MethodsFixture::load(Call(*c, QStringLiteral("GetRoles")).run().bytes(), QStringLiteral("iqRoles"));
    QVERIFY(MethodsFixture::column(*roles, QStringLiteral("rolename")).contains(QStringLiteral("Бухгалтер")));

    auto users = MethodsFixture::load(Call(*c, QStringLiteral("GetUsers")).run().bytes(), QStringLiteral("iqUsers"));
    users->Append();
    users->FieldByName(QStringLiteral("user_id")).SetValue(NewID());
    users->FieldByName(QStringLiteral("login")).SetValue(QStringLiteral("petrov"));
    users->FieldByName(QStringLiteral("Roleid")).SetValue(QStringLiteral("3"));
    users->FieldByName(QStringLiteral("active")).SetValue(1);
    users->FieldByName(QStringLiteral("password")).SetValue(TextMD5(QStringLiteral("пароль")));
    users->Post();
    MethodsFixture::post(*c, QStringLiteral("StreamPostUsers"), *users);
    auto petrov = m_fx->connect(QStringLiteral("petrov"), QStringLiteral("tcp"), QStringLiteral("пароль"));
    TZxSessionInfo record;
    QVERIFY(hello(*petrov, sessionJson(QStringLiteral("petrov"), QStringLiteral("пароль")), &record));
    QCOMPARE(record.RoleName, QStringLiteral("Бухгалтер"));
    QVERIFY(!DecodeZxTreeRights(text(*petrov, QStringLiteral("GetRights"), QStringLiteral("TreeID"), branch)).WFile);

    auto grants = MethodsFixture::load(Call(*c, QStringLiteral("GetTreeRight")).text(QStringLiteral("treeid"), branch).run().bytes(),
                                  QStringLiteral("iqTreeright"));
    QVERIFY(grants->IsEmpty());
    grants->Append();
    grants->FieldByName(QStringLiteral("tree_rightid")).SetValue(NewID());
    grants->FieldByName(QStringLiteral("TreeID")).SetValue(branch);
    grants->FieldByName(QStringLiteral("roleid")).SetValue(QStringLiteral("3"));
    for (const char *flag : {"rtree", "rfile", "wfile"})
        grants->FieldByName(QString::fromLatin1(flag)).SetValue(1);
    grants->Post();
    MethodsFixture::post(*c, QStringLiteral("StreamPostTreeright"), *grants);
    QVERIFY(DecodeZxTreeRights(text(*petrov, QStringLiteral("GetRights"), QStringLiteral("TreeID"), branch)).WFile);

    auto tabu = MethodsFixture::load(Call(*c, QStringLiteral("GetExludeFiles")).run().bytes(), QStringLiteral("iqTabuFiles"));
    tabu->Append();
    tabu->FieldByName(QStringLiteral("tabuid")).SetValue(NewID());
    tabu->FieldByName(QStringLiteral("tabuname")).SetValue(QStringLiteral("*.tmp"));
    tabu->FieldByName(QStringLiteral("del")).SetValue(0);
    tabu->Post();
    MethodsFixture::post(*c, QStringLiteral("StreamTabuFiles"), *tabu);
    // Everybody signed in reads the exclusion list.
    tabu = MethodsFixture::load(Call(*petrov, QStringLiteral("GetExludeFiles")).run().bytes(), QStringLiteral("iqTabuFiles"));
    QCOMPARE(MethodsFixture::column(*tabu, QStringLiteral("tabuname")), QStringList{QStringLiteral("*.tmp")});
}

// What the store accepts it must be able to send again: a value too large for the
// list's column would make every later page with that row fail to encode.
void TestWireMethods::storedValuesStayListable()
{
    const QString branch = m_fx->branch(QStringLiteral("Проекты"));
    const QString file = m_fx->file(branch, QStringLiteral("смета"));
    auto c = m_fx->connect(QStringLiteral("admin"));
    TZxDataset wide(QStringLiteral("iqFiles"));
    TZxTable table;
    table.Name = QStringLiteral("iqFiles");
    table.Fields = {TZxFieldDef::Text(QStringLiteral("fileid"), 100, TZxFieldFlag::Key),
                    TZxFieldDef::Decimal(QStringLiteral("sumdoc"), 38, 3)};
    table.Rows = {{file, QVariant()}};
    wide.LoadFromTable(table);
    wide.Edit();
    wide.FieldByName(QStringLiteral("sumdoc")).SetValue(QStringLiteral("1000000000000000"));
    wide.Post();
    QCOMPARE(MethodsFixture::failure([&] { MethodsFixture::post(*c, QStringLiteral("StreamPostFiles"), wide); }),
             QStringLiteral("EQiraRequestError"));
    QCOMPARE(MethodsFixture::fileRow(*c, file)->RecordCount(), 1);

    // The longest full name a user can have still fits the grants' column.
    const QString longName(200, QChar(u'Щ'));
    auto users = MethodsFixture::load(Call(*c, QStringLiteral("GetUsers")).run().bytes(), QStringLiteral("iqUsers"));
    QVERIFY(users->Locate(QStringLiteral("login"), QStringLiteral("user")));
    users->Edit();
    for (const char *part : {"name", "firstname", "middlename"})
        users->FieldByName(QString::fromLatin1(part)).SetValue(longName);
    users->Post();
    MethodsFixture::post(*c, QStringLiteral("StreamPostUsers"), *users);
    m_fx->grant(branch, QStringLiteral("user"), {}, QStringLiteral("rtree,rfile"));
    auto grants = MethodsFixture::load(Call(*c, QStringLiteral("GetTreeRight")).text(QStringLiteral("TreeID"), branch).run().bytes(),
                                       QStringLiteral("iqTreeright"));
    QCOMPARE(grants->FieldByName(QStringLiteral("fio")).AsString().size(), 602);
}

void TestWireMethods::sqlTexts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("contains");
    QTest::newRow("iqFiles") << "iqFiles" << "FROM files";
    QTest::newRow("iqUsers") << "iqUsers" << "FROM users";
    QTest::newRow("iqRoles") << "iqRoles" << "FROM roles";
    QTest::newRow("iqTreeright") << "iqTreeright" << "FROM tree_rights";
    QTest::newRow("iqHistory") << "iqHistory" << "FROM versions";
    QTest::newRow("iqTree") << "iqTree" << QString();
    QTest::newRow("unknown") << "iqSecrets" << QString();
    QTest::newRow("empty") << QString() << QString();
}

void TestWireMethods::sqlTexts()
{
    QFETCH(QString, name);
    QFETCH(QString, contains);
    auto c = m_fx->connect(QStringLiteral("user"));
    const QString sql = text(*c, QStringLiteral("GetSQL"), QStringLiteral("ObjName"), name);
    if (contains.isEmpty())
        QCOMPARE(sql, QString());
    else
        QVERIFY2(sql.contains(contains), qPrintable(sql));
}

void TestWireMethods::badRequestsKeepServing_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("says"); // a part of the message
    QTest::newRow("unknown method") << "GetEverything" << "ERemoteUnknownMethod" << "GetEverything";
    QTest::newRow("wrong parameter type") << "GetFilePart" << "ERemoteParamError" << "PosFrom";
    QTest::newRow("missing range end") << "GetFilePart/null" << "EQiraRequestError" << "PosTo";
    QTest::newRow("filter not JSON") << "GetFiles" << "EQiraRequestError" << "QiraFilter";
    QTest::newRow("filter not an object") << "GetKolRows" << "EQiraRequestError" << "QiraFilter";
    QTest::newRow("stream of garbage") << "StreamPostFiles" << "EZxImageError" << QString();
    QTest::newRow("image for a stream") << "StreamPostFileList" << "EZxImageError" << QString();
    QTest::newRow("stream of another table") << "StreamPostFiles/users" << "EQiraRequestError" << "iqUsers";
    QTest::newRow("size not a number") << "PutBigFileToServer" << "EQiraRequestError" << "FileSize";
    QTest::newRow("history not JSON") << "NewChange" << "EQiraRequestError" << "FileHistInfo";
    QTest::newRow("flag out of range") << "DelNode" << "EQiraRequestError" << QString();
}

void TestWireMethods::badRequestsKeepServing()
{
    QFETCH(QString, method);
    const QString branch = m_fx->branch(QStringLiteral("Проекты"));
    const QString file = m_fx->file(branch, QStringLiteral("акт"));
    auto c = m_fx->connect(QStringLiteral("admin"));
    const QByteArray image = MethodsFixture::getFiles(*c, ServerFixture::listOf(branch));
    auto users = MethodsFixture::load(Call(*c, QStringLiteral("GetUsers")).run().bytes(), QStringLiteral("iqUsers"));
    users->Edit();
    users->FieldByName(QStringLiteral("commentrole")).SetValue(QStringLiteral("x"));
    users->Post();
    const QString before = m_fx->snapshot();

    const QHash<QString, std::function<void()>> requests{
        {QStringLiteral("GetEverything"), [&] { Call(*c, method).run(); }},
        {QStringLiteral("GetFilePart"),
         [&] {
             Call(*c, method).text(QStringLiteral("FileID"), file).text(QStringLiteral("PosFrom"), QStringLiteral("0")).run();
         }},
        {QStringLiteral("GetFilePart/null"),
         [&] { Call(*c, QStringLiteral("GetFilePart")).text(QStringLiteral("FileID"), file).int64(QStringLiteral("PosFrom"), 0).run(); }},
        {QStringLiteral("GetFiles"), [&] { Call(*c, method).text(QStringLiteral("QiraFilter"), QStringLiteral("{\"KolRows\": ")).run(); }},
        {QStringLiteral("GetKolRows"), [&] { Call(*c, method).text(QStringLiteral("QiraFilter"), QStringLiteral("[50]")).run(); }},
        {QStringLiteral("StreamPostFiles"),
         [&] { Call(*c, method).blob(QStringLiteral("AStream"), QByteArray("\xa1\x61x\x01 not a stream")).run(); }},
        {QStringLiteral("StreamPostFileList"), [&] { Call(*c, method).blob(QStringLiteral("AStream"), image).run(); }},
        {QStringLiteral("StreamPostFiles/users"),
         [&] { Call(*c, QStringLiteral("StreamPostFiles")).blob(QStringLiteral("AStream"), users->ChangeStream()).run(); }},
        {QStringLiteral("PutBigFileToServer"),
         [&] {
             Call(*c, method)
                 .text(QStringLiteral("FileID"), file)
                 .blob(QStringLiteral("Stream"), QByteArray("abc"), TZxParamDir::InputOutput)
                 .text(QStringLiteral("FileSize"), QStringLiteral("3 bytes"))
                 .text(QStringLiteral("Status"), QStringLiteral("Start"))
                 .run();
         }},
        {QStringLiteral("NewChange"), [&] { Call(*c, method).text(QStringLiteral("FileHistInfo"), QStringLiteral("histid=1")).run(); }},
        {QStringLiteral("DelNode"),
         [&] { Call(*c, method).text(QStringLiteral("TreeID"), branch).int32(QStringLiteral("Del"), 2).run(); }},
    };
    QFETCH(QString, says);
    QString message;
    QTEST(MethodsFixture::failure(requests.value(method), &message), "error");
    QVERIFY(!message.isEmpty());
    QVERIFY2(message.contains(says), qPrintable(message));
    QCOMPARE(m_fx->snapshot(), before);
    QCOMPARE(Call(*c, QStringLiteral("getVersion")).run().result(), QStringLiteral("2.3.17"));
    QCOMPARE(MethodsFixture::fileRow(*c, file)->RecordCount(), 1);
}

// Bytes that are no message at all, on both transports: the sender gets an error, and
// the server goes on serving it and everybody else.
void TestWireMethods::garbageOnTheWire()
{
    QTcpSocket tcp;
    tcp.connectToHost(QHostAddress::LocalHost, m_fx->host->TcpPort());
    QVERIFY(tcp.waitForConnected(5000));
    QByteArray frame(4, '\0');
    const QByteArray junk("\xff\x00\x13 no CBOR here", 16);
    qToBigEndian(quint32(junk.size()), frame.data());
    tcp.write(frame + junk);
    QVERIFY(tcp.waitForReadyRead(5000));
    while (tcp.bytesAvailable() < 4)
        QVERIFY(tcp.waitForReadyRead(5000));
    const quint32 length = qFromBigEndian<quint32>(tcp.peek(4).constData());
    while (tcp.bytesAvailable() < 4 + qint64(length))
        QVERIFY(tcp.waitForReadyRead(5000));
    const QCborMap reply = QCborValue::fromCbor(tcp.readAll().mid(4)).toMap();
    QCOMPARE(reply.value(QStringLiteral("msg")).toString(), QStringLiteral("error"));
    QCOMPARE(reply.value(QStringLiteral("class")).toString(), QStringLiteral("ERemoteProtocolError"));

    QTcpSocket http;
    http.connectToHost(QHostAddress::LocalHost, m_fx->host->HttpPort());
    QVERIFY(http.waitForConnected(5000));
    http.write("GET /qira HTTP/1.1\r\nHost: x\r\n\r\n");
    QVERIFY(http.waitForReadyRead(5000));
    QVERIFY(http.readAll().startsWith("HTTP/1.1 405"));

    for (const QString &transport : {QStringLiteral("tcp"), QStringLiteral("http")}) {
        auto c = m_fx->connect(QStringLiteral("user"), transport);
        QCOMPARE(Call(*c, QStringLiteral("getVersion")).run().result(), QStringLiteral("2.3.17"));
    }
}

void TestWireMethods::callLog()
{
    auto c = m_fx->connect(QStringLiteral("user"));
    Call(*c, QStringLiteral("getVersion")).run();
    MethodsFixture::failure([&] { Call(*c, QStringLiteral("GetUsers")).run(); });
    const QStringList lines = m_fx->logLines();
    const auto find = [&lines](const QString &part) {
        for (const QString &line : lines)
            if (line.contains(part))
                return line;
        return QString();
    };
    QVERIFY2(find(QStringLiteral(" user TQiraServerClass.getVersion ")).endsWith(QStringLiteral(" ok")), qPrintable(lines.join(u'\n')));
    QVERIFY2(find(QStringLiteral(" user TQiraServerClass.GetUsers ")).contains(QStringLiteral("EQiraRightsError")),
             qPrintable(lines.join(u'\n')));
    QVERIFY(find(QStringLiteral(" ms ")).contains(QStringLiteral("tcp")));
}

QTEST_GUILESS_MAIN(TestWireMethods)
#include "tst_wiremethods.moc"
