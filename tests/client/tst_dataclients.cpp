#include "dmqiraclientdatas.h"
#include "dmzxdataclient.h"
#include "qiraclientview.h"
#include "qiraserverfixture.h"
#include "recordingresponder.h"
#include "zxdataset.h"
#include "zxinifile.h"
#include "zxbase.h"
#include "zxroot.h"

#include <QRegularExpression>
#include <QTest>

namespace {

class NoView : public TQiraClientView
{
public:
    void ShowMess(bool) override {}
};

} // namespace

// The editable tables against the real server: each post or delete is saved at once.
class TestDataClients : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void newRowGetsKeyStampsAndIsSaved();
    void pendingEditIsPostedBeforeSending();
    void deletionTravels();
    void refusedSaveKeepsTheChange();
    void setParamTwiceAddsOnce();
    void rightsRowDefaults();
    void historyHasNoSaveMethod();

private:
    TdmQiraClientDatas &signIn(const QString &login);

    std::unique_ptr<QiraServerFixture> m_server;
    std::unique_ptr<Tzxroot> m_root;
    std::unique_ptr<TdmQiraClientDatas> m_data;
    NoView m_view;
    QTemporaryDir m_settings;
};

void TestDataClients::initTestCase()
{
    SetSettingsFilePath(m_settings.filePath(QStringLiteral("client.ini")));
    m_root = std::make_unique<Tzxroot>();
    m_root->Init();
    m_server = std::make_unique<QiraServerFixture>();
}

TdmQiraClientDatas &TestDataClients::signIn(const QString &login)
{
    m_data = std::make_unique<TdmQiraClientDatas>(&m_view);
    if (!m_data->Auth(m_server->connectDs(login, login)))
        qFatal("sign-in failed");
    return *m_data;
}

void TestDataClients::newRowGetsKeyStampsAndIsSaved()
{
    RecordingResponder responder;
    TdmDCTabus &tabus = *signIn(QStringLiteral("admin")).dmDCTabus;
    tabus.Open();
    QCOMPARE(tabus.PrimaryFieldName(), QStringLiteral("tabuid"));
    const int before = tabus.iqData->RecordCount();
    tabus.iqData->Append();
    const QString key = tabus.iqData->FieldByName(QStringLiteral("tabuid")).AsString();
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$")).match(key).hasMatch());
    QCOMPARE(tabus.iqData->FieldByName(QStringLiteral("del")).AsInteger(), 0);
    tabus.iqData->FieldByName(QStringLiteral("tabuname")).SetValue(QStringLiteral("*.черновик"));
    tabus.iqData->Post();
    QVERIFY(responder.boxes.isEmpty());

    tabus.Open();
    QCOMPARE(tabus.iqData->RecordCount(), before + 1);
    QVERIFY(tabus.iqData->Locate(QStringLiteral("tabuid"), key));
    QCOMPARE(tabus.iqData->FieldByName(QStringLiteral("tabuname")).AsString(), QStringLiteral("*.черновик"));
}

void TestDataClients::pendingEditIsPostedBeforeSending()
{
    RecordingResponder responder;
    TdmDCRoles &roles = *signIn(QStringLiteral("admin")).dmDCRoles;
    roles.Open();
    QVERIFY(roles.iqData->Locate(QStringLiteral("roleid"), QStringLiteral("2")));
    roles.iqData->Edit();
    roles.iqData->FieldByName(QStringLiteral("commentrole")).SetValue(QStringLiteral("правка в ожидании"));
    roles.SaveData(); // posts the pending edit, which is then sent
    QCOMPARE(roles.iqData->State(), TZxDatasetState::Browse);
    QVERIFY(responder.boxes.isEmpty());
    roles.Open();
    QVERIFY(roles.iqData->Locate(QStringLiteral("roleid"), QStringLiteral("2")));
    QCOMPARE(roles.iqData->FieldByName(QStringLiteral("commentrole")).AsString(), QStringLiteral("правка в ожидании"));
}

void TestDataClients::deletionTravels()
{
    RecordingResponder responder;
    TdmDCTabus &tabus = *signIn(QStringLiteral("admin")).dmDCTabus;
    tabus.Open();
    tabus.iqData->Append();
    const QString key = tabus.iqData->FieldByName(QStringLiteral("tabuid")).AsString();
    tabus.iqData->FieldByName(QStringLiteral("tabuname")).SetValue(QStringLiteral("*.bak"));
    tabus.iqData->Post();
    QVERIFY(tabus.iqData->Locate(QStringLiteral("tabuid"), key));
    tabus.iqData->Delete();
    QVERIFY(responder.boxes.isEmpty());
    tabus.Open();
    // a deleted entry is gone from the list or marked deleted, never left as it was
    if (tabus.iqData->Locate(QStringLiteral("tabuid"), key))
        QCOMPARE(tabus.iqData->FieldByName(QStringLiteral("del")).AsInteger(), 1);
}

void TestDataClients::refusedSaveKeepsTheChange()
{
    RecordingResponder responder;
    // everybody reads the exclusion list; only administrators change it
    TdmDCTabus &tabus = *signIn(QStringLiteral("user")).dmDCTabus;
    tabus.Open();
    tabus.iqData->Append();
    tabus.iqData->FieldByName(QStringLiteral("tabuname")).SetValue(QStringLiteral("*.моё"));
    tabus.iqData->Post();
    QCOMPARE(responder.boxes.size(), 1);
    QCOMPARE(responder.boxes[0].kind, QStringLiteral("error"));
    QVERIFY2(responder.boxes[0].text.startsWith(QStringLiteral("Сохранение файлов ")), qPrintable(responder.boxes[0].text));
    QVERIFY(responder.boxes[0].text.contains(QStringLiteral(". Функция SeveData. Ошибка сохранения/передачи файла.\r")));
    QVERIFY(tabus.iqData->UpdatesPending()); // kept, so the user can try again
}

void TestDataClients::setParamTwiceAddsOnce()
{
    TdmQiraClientDatas &data = signIn(QStringLiteral("admin"));
    data.dmTreeRights->SetParam(QStringLiteral("first"));
    data.dmTreeRights->SetParam(QStringLiteral("second"));
    QCOMPARE(data.dmTreeRights->spGetData.Params().Count(), 1);
    QCOMPARE(data.dmTreeRights->spGetData.ParamByName(QStringLiteral("TREEID")).AsString(), QStringLiteral("second"));
    data.dmDCHistorys->SetParam(QStringLiteral("a"));
    data.dmDCHistorys->SetParam(QStringLiteral("b"));
    QCOMPARE(data.dmDCHistorys->spGetData.Params().Count(), 1);
}

void TestDataClients::rightsRowDefaults()
{
    TdmQiraClientDatas &data = signIn(QStringLiteral("admin"));
    const TQiraRowSet top = m_server->store->tree(m_server->store->signIn(QStringLiteral("admin"), TextMD5(QStringLiteral("admin"))),
                                                  QString(), false);
    QVERIFY(!top.rows.isEmpty());
    const QString branch = top.value(0, QStringLiteral("treeid")).toString();
    data.dmTreeRights->SetParam(branch);
    data.dmTreeRights->Open();
    TZxDataset &grants = *data.dmTreeRights->iqData;
    grants.Append();
    QCOMPARE(grants.FieldByName(QStringLiteral("TreeID")).AsString(), branch);
    QCOMPARE(grants.FieldByName(QStringLiteral("tree_rightid")).AsString().size(), 32);
    const QList<std::pair<const char *, int>> flags{{"rtree", 0}, {"wtree", 0}, {"admtree", 0},
                                                   {"rfile", 1}, {"wfile", 1}, {"rmyfile", 0}};
    for (const auto &[name, value] : flags)
        QCOMPARE(grants.FieldByName(QString::fromLatin1(name)).AsInteger(), qint64(value));
    grants.Cancel();
}

void TestDataClients::historyHasNoSaveMethod()
{
    TdmQiraClientDatas &data = signIn(QStringLiteral("admin"));
    QVERIFY(data.dmDCHistorys->spSaveData.StoredProcName().isEmpty());
    QCOMPARE(data.dmDCHistorys->iqData->TableName(), QStringLiteral("iqHistory"));
    QCOMPARE(data.dmDCTabus->spSaveData.StoredProcName(), QStringLiteral("TQiraServerClass.StreamTabuFiles"));
}

QTEST_MAIN(TestDataClients)
#include "tst_dataclients.moc"
