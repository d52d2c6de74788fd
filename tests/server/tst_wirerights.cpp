// What the server refuses over the wire: changes without the right, locks held by
// others, filter and order texts outside the grammar; and two clients racing for one
// file.
#include "methodsfixture.h"

#include <array>
#include <latch>
#include <thread>

using Call = MethodsFixture::Call;

namespace {

// A change stream of an administration table, made from the administrator's view and
// sent by somebody else.
QByteArray appendRow(TZxConnection &admin, const QString &getMethod, const QString &table, const QVariantMap &values,
                     const QString &param = {}, const QString &paramValue = {})
{
    Call load(admin, getMethod);
    if (!param.isEmpty())
        load.text(param, paramValue);
    auto dataset = MethodsFixture::load(load.run().bytes(), table);
    dataset->Append();
    for (auto it = values.begin(); it != values.end(); ++it)
        dataset->FieldByName(it.key()).SetValue(it.value());
    dataset->Post();
    return dataset->ChangeStream();
}

// The file's row as the administrator sees it, changed: what a client would send if it
// could read the file.
QByteArray editedRow(TZxConnection &admin, const QString &fileId, const QVariantMap &values)
{
    auto rows = MethodsFixture::fileRow(admin, fileId);
    rows->Edit();
    for (auto it = values.begin(); it != values.end(); ++it)
        rows->FieldByName(it.key()).SetValue(it.value());
    rows->Post();
    return rows->ChangeStream();
}

void post(TZxConnection &c, const QString &method, const QByteArray &stream)
{
    Call(c, method).blob(QStringLiteral("AStream"), stream).run();
}

QString history(const QString &fileId, const QByteArray &bytes)
{
    return GetQiraHistoryJson(UploadHistoryInfo(fileId, ServerFixture::md5(bytes), bytes.size()));
}

} // namespace

class TestWireRights : public QObject
{
    Q_OBJECT

private slots:
    void refusedChangesChangeNothing_data();
    void refusedChangesChangeNothing();
    void filterOverTheWire_data();
    void filterOverTheWire();
    void injectionIsRefused_data();
    void injectionIsRefused();
    void oneOfTwoTakesTheFile();
};

void TestWireRights::refusedChangesChangeNothing_data()
{
    QTest::addColumn<QString>("error");
    const QString rights = QStringLiteral("EQiraRightsError");
    const QString lock = QStringLiteral("EQiraLockError");
    // Read-only branch (the default rights): the tree and its files stay as they are.
    QTest::newRow("InsNode under a branch") << rights;
    QTest::newRow("InsNode at the top") << rights;
    QTest::newRow("SetNodeText") << rights;
    QTest::newRow("DelNode") << rights;
    QTest::newRow("DelNodeFull") << rights;
    QTest::newRow("MoveNode") << rights;
    QTest::newRow("StreamPostFiles insert") << rights;
    QTest::newRow("StreamPostFiles edit") << rights;
    QTest::newRow("StreamPostFiles delete") << rights;
    QTest::newRow("StreamPostFileList take into work") << rights;
    QTest::newRow("StreamPostFiles move into a writable branch") << rights;
    QTest::newRow("PutBigFileToServer") << rights;
    QTest::newRow("NewChange") << rights;
    QTest::newRow("EndChange without NewChange") << QStringLiteral("EQiraRequestError");
    QTest::newRow("FizDelFile") << rights;
    // A branch closed to the user: not even readable.
    QTest::newRow("StreamPostFiles edit unreadable file") << rights;
    QTest::newRow("CreatePreview unreadable file") << rights;
    QTest::newRow("GetFilePart unreadable file") << rights;
    QTest::newRow("GetFiles closed branch") << rights;
    QTest::newRow("GetHistory unreadable file") << rights;
    // Administration tables.
    QTest::newRow("StreamTabuFiles") << rights;
    QTest::newRow("StreamPostRole") << rights;
    QTest::newRow("StreamPostUsers make oneself administrator") << rights;
    QTest::newRow("StreamPostTreeright grant oneself") << rights;
    QTest::newRow("GetUsers") << rights;
    // A writable branch, a file another user holds.
    QTest::newRow("take a file held by another") << lock;
    QTest::newRow("release a file held by another") << lock;
    QTest::newRow("check in a file held by another") << lock;
    QTest::newRow("upload into a file held by another") << lock;
    QTest::newRow("write another user as holder") << lock;
}

void TestWireRights::refusedChangesChangeNothing()
{
    MethodsFixture fx;
    const QString docs = fx.branch(QStringLiteral("Документы"));
    const QString target = fx.branch(QStringLiteral("Черновики"));
    const QString closed = fx.branch(QStringLiteral("Кадры"));
    const QString shared = fx.branch(QStringLiteral("Общие"));
    fx.grant(closed, QStringLiteral("other"), {}, QStringLiteral("rtree,rfile,wfile"));
    fx.grant(target, {}, QStringLiteral("2"), QStringLiteral("rtree,rfile,wfile"));
    fx.grant(shared, {}, QStringLiteral("2"), QStringLiteral("rtree,wtree,rfile,wfile"));
    const QString file = fx.file(docs, QStringLiteral("приказ"));
    const QString secret = fx.file(closed, QStringLiteral("личное дело"));
    const QString held = fx.file(shared, QStringLiteral("смета"));
    const QString free = fx.file(shared, QStringLiteral("план"));
    for (const QString &id : {file, secret, held})
        fx.upload(fx.admin, id, QByteArray("версия 1 файла ") + id.toLatin1());
    fx.store->applyFileChanges(fx.other, {ServerFixture::modifyRow(held, {{QStringLiteral("working_user"), QStringLiteral("other")}})});

    auto admin = fx.connect(QStringLiteral("admin"));
    auto c = fx.connect(QStringLiteral("user"));
    const QByteArray bytes("новая версия");
    const auto put = [&](const QString &id) {
        Call(*c, QStringLiteral("PutBigFileToServer"))
            .text(QStringLiteral("FileID"), id)
            .blob(QStringLiteral("Stream"), bytes, TZxParamDir::InputOutput)
            .text(QStringLiteral("FileSize"), QString::number(bytes.size()))
            .text(QStringLiteral("Status"), QStringLiteral("Start"))
            .run();
    };
    const auto byUser = [&](const QString &method, const QString &name, const QString &value) {
        Call(*c, method).text(name, value).run();
    };
    auto usersOfAdmin =
        MethodsFixture::load(Call(*admin, QStringLiteral("GetUsers")).run().bytes(), QStringLiteral("iqUsers"));
    QVERIFY(usersOfAdmin->Locate(QStringLiteral("login"), QStringLiteral("user")));
    usersOfAdmin->Edit();
    usersOfAdmin->FieldByName(QStringLiteral("Roleid")).SetValue(QStringLiteral("1"));
    usersOfAdmin->Post();
    auto docsList = MethodsFixture::load(MethodsFixture::getFiles(*c, ServerFixture::listOf(docs)), QStringLiteral("iqFiles"));
    docsList->Append();
    docsList->FieldByName(QStringLiteral("fileid")).SetValue(NewID());
    docsList->FieldByName(QStringLiteral("treeid")).SetValue(docs);
    docsList->FieldByName(QStringLiteral("filename")).SetValue(QStringLiteral("новый"));
    docsList->Post();
    const QByteArray insertStream = docsList->ChangeStream();
    const QByteArray grantStream =
        appendRow(*admin, QStringLiteral("GetTreeRight"), QStringLiteral("iqTreeright"),
                  {{QStringLiteral("tree_rightid"), NewID()}, {QStringLiteral("TreeID"), docs},
                   {QStringLiteral("username"), QStringLiteral("user")}, {QStringLiteral("wfile"), 1}},
                  QStringLiteral("TreeID"), docs);
    const QByteArray roleStream = appendRow(*admin, QStringLiteral("GetRoles"), QStringLiteral("iqRoles"),
                                            {{QStringLiteral("roleid"), QStringLiteral("9")}, {QStringLiteral("rolename"), QStringLiteral("свои")}});
    const QByteArray tabuStream = appendRow(*admin, QStringLiteral("GetExludeFiles"), QStringLiteral("iqTabuFiles"),
                                            {{QStringLiteral("tabuid"), NewID()}, {QStringLiteral("tabuname"), QStringLiteral("*.doc")}});
    const QByteArray secretStream = editedRow(*admin, secret, {{QStringLiteral("comment_file"), QStringLiteral("прочитано")}});

    const QHash<QString, std::function<void()>> steps{
        {QStringLiteral("InsNode under a branch"),
         [&] {
             Call(*c, QStringLiteral("InsNode"))
                 .text(QStringLiteral("NewTreeID"), NewID())
                 .text(QStringLiteral("ParentTreeID"), docs)
                 .text(QStringLiteral("NodeText"), QStringLiteral("новая"))
                 .run();
         }},
        {QStringLiteral("InsNode at the top"),
         [&] {
             Call(*c, QStringLiteral("InsNode"))
                 .text(QStringLiteral("NewTreeID"), NewID())
                 .text(QStringLiteral("NodeText"), QStringLiteral("новая"))
                 .run();
         }},
        {QStringLiteral("SetNodeText"),
         [&] { Call(*c, QStringLiteral("SetNodeText")).text(QStringLiteral("TreeID"), docs).text(QStringLiteral("NewText"), QStringLiteral("x")).run(); }},
        {QStringLiteral("DelNode"),
         [&] { Call(*c, QStringLiteral("DelNode")).text(QStringLiteral("TreeID"), docs).int32(QStringLiteral("Del"), 1).run(); }},
        {QStringLiteral("DelNodeFull"), [&] { byUser(QStringLiteral("DelNodeFull"), QStringLiteral("TreeID"), docs); }},
        {QStringLiteral("MoveNode"),
         [&] { Call(*c, QStringLiteral("MoveNode")).text(QStringLiteral("TreeID"), docs).text(QStringLiteral("NewParentID"), shared).run(); }},
        {QStringLiteral("StreamPostFiles insert"), [&] { post(*c, QStringLiteral("StreamPostFiles"), insertStream); }},
        {QStringLiteral("StreamPostFiles edit"),
         [&] { MethodsFixture::editFile(*c, file, {{QStringLiteral("comment_file"), QStringLiteral("x")}}, QStringLiteral("StreamPostFiles")); }},
        {QStringLiteral("StreamPostFiles delete"),
         [&] {
             auto list = MethodsFixture::load(MethodsFixture::getFiles(*c, ServerFixture::listOf(docs)), QStringLiteral("iqFiles"));
             list->Locate(QStringLiteral("fileid"), file);
             list->Delete();
             MethodsFixture::post(*c, QStringLiteral("StreamPostFiles"), *list);
         }},
        {QStringLiteral("StreamPostFileList take into work"),
         [&] { MethodsFixture::editFile(*c, file, {{QStringLiteral("working_user"), QStringLiteral("user")}}); }},
        {QStringLiteral("StreamPostFiles move into a writable branch"),
         [&] { MethodsFixture::editFile(*c, file, {{QStringLiteral("treeid"), target}}, QStringLiteral("StreamPostFiles")); }},
        {QStringLiteral("PutBigFileToServer"), [&] { put(file); }},
        {QStringLiteral("NewChange"), [&] { byUser(QStringLiteral("NewChange"), QStringLiteral("FileHistInfo"), history(file, bytes)); }},
        {QStringLiteral("EndChange without NewChange"),
         [&] { byUser(QStringLiteral("EndChange"), QStringLiteral("FileHistInfo"), history(file, bytes)); }},
        {QStringLiteral("FizDelFile"), [&] { byUser(QStringLiteral("FizDelFile"), QStringLiteral("FileID"), file); }},
        {QStringLiteral("StreamPostFiles edit unreadable file"), [&] { post(*c, QStringLiteral("StreamPostFiles"), secretStream); }},
        {QStringLiteral("CreatePreview unreadable file"), [&] { byUser(QStringLiteral("CreatePreview"), QStringLiteral("FileID"), secret); }},
        {QStringLiteral("GetFilePart unreadable file"),
         [&] {
             Call(*c, QStringLiteral("GetFilePart"))
                 .text(QStringLiteral("FileID"), secret)
                 .int64(QStringLiteral("PosFrom"), 0)
                 .int64(QStringLiteral("PosTo"), 1048576)
                 .run();
         }},
        {QStringLiteral("GetFiles closed branch"), [&] { MethodsFixture::getFiles(*c, ServerFixture::listOf(closed)); }},
        {QStringLiteral("GetHistory unreadable file"), [&] { byUser(QStringLiteral("GetHistory"), QStringLiteral("FileID"), secret); }},
        {QStringLiteral("StreamTabuFiles"), [&] { post(*c, QStringLiteral("StreamTabuFiles"), tabuStream); }},
        {QStringLiteral("StreamPostRole"), [&] { post(*c, QStringLiteral("StreamPostRole"), roleStream); }},
        {QStringLiteral("StreamPostUsers make oneself administrator"),
         [&] { MethodsFixture::post(*c, QStringLiteral("StreamPostUsers"), *usersOfAdmin); }},
        {QStringLiteral("StreamPostTreeright grant oneself"), [&] { post(*c, QStringLiteral("StreamPostTreeright"), grantStream); }},
        {QStringLiteral("GetUsers"), [&] { Call(*c, QStringLiteral("GetUsers")).run(); }},
        {QStringLiteral("take a file held by another"),
         [&] { MethodsFixture::editFile(*c, held, {{QStringLiteral("working_user"), QStringLiteral("user")}}); }},
        {QStringLiteral("release a file held by another"),
         [&] { MethodsFixture::editFile(*c, held, {{QStringLiteral("working_user"), QString()}}); }},
        {QStringLiteral("check in a file held by another"),
         [&] { byUser(QStringLiteral("NewChange"), QStringLiteral("FileHistInfo"), history(held, bytes)); }},
        {QStringLiteral("upload into a file held by another"), [&] { put(held); }},
        {QStringLiteral("write another user as holder"),
         [&] { MethodsFixture::editFile(*c, free, {{QStringLiteral("working_user"), QStringLiteral("other")}}); }},
    };
    const auto step = steps.constFind(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(step != steps.constEnd());
    const QString before = fx.snapshot();
    QString message;
    QTEST(MethodsFixture::failure(step.value(), &message), "error");
    if (QByteArray(QTest::currentDataTag()).contains("held by another"))
        QVERIFY2(message.contains(QStringLiteral("other")), qPrintable(message));
    QCOMPARE(fx.snapshot(), before);
    QVERIFY(fx.tempFiles().isEmpty());
    // The refusal ends nothing: the same connection is served on.
    QCOMPARE(MethodsFixture::download(*c, file), QByteArray("версия 1 файла ") + file.toLatin1());
}

void TestWireRights::filterOverTheWire_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("names");
    const auto where = [](auto fill) {
        QString clause;
        fill(clause);
        return clause;
    };
    QTest::newRow("equal") << where([](QString &w) { AddWhere(QStringLiteral("f.fileext"), QStringLiteral("pdf"), w, QStringLiteral("=")); })
                           << QStringList{QStringLiteral("Акт сверки")};
    QTest::newRow("like") << where([](QString &w) { AddWhereLike(QStringLiteral("f.filename"), QStringLiteral("сверк"), w); })
                          << QStringList{QStringLiteral("Акт сверки")};
    QTest::newRow("like takes % literally")
        << where([](QString &w) { AddWhereLike(QStringLiteral("f.filename"), QStringLiteral("50%"), w); })
        << QStringList{QStringLiteral("50% скидка")};
    QTest::newRow("like takes _ literally")
        << where([](QString &w) { AddWhereLike(QStringLiteral("f.filename"), QStringLiteral("5_0"), w); }) << QStringList{};
    QTest::newRow("quote in a value")
        << where([](QString &w) { AddWhere(QStringLiteral("f.filename"), QStringLiteral("O'Brien"), w, QStringLiteral("=")); })
        << QStringList{QStringLiteral("O'Brien")};
    QTest::newRow("statement in a value is a value")
        << where([](QString &w) {
               AddWhere(QStringLiteral("f.filename"), QStringLiteral("x'); DROP TABLE files; --"), w, QStringLiteral("="));
           })
        << QStringList{};
    QTest::newRow("number range")
        << where([](QString &w) { AddWhereValueRange(QStringLiteral("f.sumdoc"), 10, QStringLiteral("20,5"), w); })
        << QStringList{QStringLiteral("Акт сверки")};
    QTest::newRow("date range takes the whole last day")
        << where([](QString &w) { AddWhereDateRange(QStringLiteral("f.docdate"), QDate(2024, 3, 5), QDate(2024, 3, 5), w); })
        << QStringList{QStringLiteral("Акт сверки")};
    QTest::newRow("two terms")
        << where([](QString &w) {
               AddWhere(QStringLiteral("f.fileext"), QStringLiteral("txt"), w, QStringLiteral("="));
               AddWhereLike(QStringLiteral("f.filename"), QStringLiteral("50"), w);
           })
        << QStringList{QStringLiteral("50% скидка"), QStringLiteral("500 рублей")};
}

void TestWireRights::filterOverTheWire()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, names);
    MethodsFixture fx;
    const QString branch = fx.branch(QStringLiteral("Бухгалтерия"));
    const auto add = [&](const QString &name, const QString &ext, const QVariant &sum, const QDateTime &date) {
        fx.file(branch, name, {{QStringLiteral("fileext"), ext}, {QStringLiteral("sumdoc"), sum}, {QStringLiteral("docdate"), date}});
    };
    add(QStringLiteral("Акт сверки"), QStringLiteral("pdf"), 15.0, QDateTime(QDate(2024, 3, 5), QTime(23, 59, 59, 999)));
    add(QStringLiteral("Договор"), QStringLiteral("docx"), 25.0, QDateTime(QDate(2024, 3, 6), QTime(0, 0)));
    add(QStringLiteral("50% скидка"), QStringLiteral("txt"), 5.0, {});
    add(QStringLiteral("500 рублей"), QStringLiteral("txt"), QVariant(), {});
    add(QStringLiteral("O'Brien"), QStringLiteral("txt"), QVariant(), {});
    auto c = fx.connect(QStringLiteral("user"), QStringLiteral("http"));
    TQiraFilter request = ServerFixture::listOf(branch);
    request.filter = filter;
    auto list = MethodsFixture::load(MethodsFixture::getFiles(*c, request), QStringLiteral("iqFiles"));
    QCOMPARE(MethodsFixture::column(*list, QStringLiteral("filename")), names);
    Call count(*c, QStringLiteral("GetKolRows"));
    QCOMPARE(count.text(QStringLiteral("QiraFilter"), MethodsFixture::filterJson(request)).run().result(),
             QString::number(names.size()));
    request.filter.clear();
    QCOMPARE(MethodsFixture::load(MethodsFixture::getFiles(*c, request), QStringLiteral("iqFiles"))->RecordCount(), 5);
}

void TestWireRights::injectionIsRefused_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("order");
    QTest::newRow("or") << "(f.filename='x') or (1=1)" << "f.filename";
    QTest::newRow("second statement") << "(f.filename='x'); DROP TABLE files" << "f.filename";
    QTest::newRow("quote closed early") << "(f.filename='x' or 'a'='a')" << "f.filename";
    QTest::newRow("comment") << "(f.filename='x') --" << "f.filename";
    QTest::newRow("bare condition") << "1=1" << "f.filename";
    QTest::newRow("column outside the list") << "(f.password='x')" << "f.filename";
    QTest::newRow("sub-query") << "(f.filename=(SELECT login FROM users))" << "f.filename";
    QTest::newRow("concatenation") << "(f.filename Like '%' || (SELECT login FROM users) || '%')" << "f.filename";
    QTest::newRow("order statement") << QString() << "f.filename; DROP TABLE files";
    QTest::newRow("order column outside") << QString() << "f.password";
    QTest::newRow("order sub-query") << QString() << "(SELECT 1)";
    QTest::newRow("order by position") << QString() << "f.filename desc, 1";
}

void TestWireRights::injectionIsRefused()
{
    QFETCH(QString, filter);
    QFETCH(QString, order);
    MethodsFixture fx;
    const QString branch = fx.branch(QStringLiteral("Бухгалтерия"));
    fx.file(branch, QStringLiteral("x"));
    auto c = fx.connect(QStringLiteral("user"));
    TQiraFilter request = ServerFixture::listOf(branch, 50, order);
    request.filter = filter;
    const QString before = fx.snapshot();
    for (const QString &method : {QStringLiteral("GetFiles"), QStringLiteral("GetFileList"), QStringLiteral("GetKolRows")}) {
        QString message;
        QCOMPARE(MethodsFixture::failure([&] { MethodsFixture::getFiles(*c, request, method); }, &message),
                 QStringLiteral("EQiraRequestError"));
        QVERIFY(!message.isEmpty());
    }
    QCOMPARE(fx.snapshot(), before);
    QCOMPARE(MethodsFixture::load(MethodsFixture::getFiles(*c, ServerFixture::listOf(branch)), QStringLiteral("iqFiles"))->RecordCount(), 1);
}

// Two clients post "taken by me" for one free file at the same moment: exactly one
// holds it afterwards, and the other is told who.
void TestWireRights::oneOfTwoTakesTheFile()
{
    MethodsFixture fx;
    const QString branch = fx.branch(QStringLiteral("Общие"));
    fx.grant(branch, {}, QStringLiteral("2"), QStringLiteral("rtree,rfile,wfile"));
    const QString file = fx.file(branch, QStringLiteral("смета"));
    const QStringList logins{QStringLiteral("user"), QStringLiteral("other")};
    for (int round = 0; round < 8; ++round) {
        std::latch ready(2);
        std::array<QString, 2> outcome;
        std::array<QString, 2> messages;
        std::vector<std::thread> threads;
        for (int i = 0; i < 2; ++i) {
            threads.emplace_back([&, i] {
                try {
                    // Each connection belongs to the thread that opens it.
                    auto c = fx.connect(logins.at(i), i == 0 ? QStringLiteral("tcp") : QStringLiteral("http"));
                    auto row = MethodsFixture::fileRow(*c, file);
                    row->Edit();
                    row->FieldByName(QStringLiteral("working_user")).SetValue(logins.at(i));
                    row->Post();
                    const QByteArray stream = row->ChangeStream();
                    ready.arrive_and_wait();
                    outcome[i] = MethodsFixture::failure([&] { post(*c, QStringLiteral("StreamPostFileList"), stream); },
                                                         &messages[i]);
                } catch (const EZxError &error) {
                    outcome[i] = QStringLiteral("setup: ") + error.message();
                }
            });
        }
        for (std::thread &thread : threads)
            thread.join();
        const QString won = QStringLiteral("(no exception)");
        QVERIFY2((outcome[0] == won) != (outcome[1] == won), qPrintable(outcome[0] + u'/' + outcome[1]));
        const int winner = outcome[0] == won ? 0 : 1;
        QCOMPARE(outcome.at(1 - winner), QStringLiteral("EQiraLockError"));
        QVERIFY2(messages.at(1 - winner).contains(logins.at(winner)), qPrintable(messages.at(1 - winner)));
        QCOMPARE(fx.fileValue(file, QStringLiteral("working_user")).toString(), logins.at(winner));
        fx.store->applyFileChanges(fx.admin, {ServerFixture::modifyRow(file, {{QStringLiteral("working_user"), QVariant()}},
                                                                       {{QStringLiteral("working_user"), logins.at(winner)}})});
    }
}

QTEST_GUILESS_MAIN(TestWireRights)
#include "tst_wirerights.moc"
