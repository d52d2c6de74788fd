#include "datasetfixtures.h"
#include "recordingresponder.h"
#include "zxdataset.h"
#include "zxdatasetcontainer.h"
#include "zxdataseterror.h"
#include "zxdatasetroutines.h"
#include "zxerror.h"
#include "zxroot.h"

#include <QSignalSpy>
#include <QTimeZone>
#include <QTest>

#include <functional>
#include <memory>

using namespace Fixtures;

namespace {

// Everything a caller can observe of a dataset, read without moving its cursor.
struct Snapshot
{
    TZxDatasetState state;
    int current;
    QList<QVariantList> rows;
    QList<int> rowStates;
    int changes;

    bool operator==(const Snapshot &) const = default;
};

Snapshot snapshot(TZxDataset &dataset)
{
    Snapshot s{dataset.State(), dataset.CurrentRow(), {}, {}, dataset.ChangeCount()};
    for (int row = 0; row < dataset.RecordCount(); ++row) {
        QVariantList values;
        for (int column = 0; column < dataset.FieldCount(); ++column)
            values << dataset.RowValue(row, column);
        s.rows << values;
        s.rowStates << int(dataset.RowState(row));
    }
    return s;
}

char *toString(const Snapshot &s)
{
    QStringList rows;
    for (qsizetype i = 0; i < s.rows.size(); ++i)
        rows << QStringLiteral("%1:%2").arg(s.rows[i].value(0).toString()).arg(s.rowStates[i]);
    return qstrdup(QStringLiteral("state %1, current %2, changes %3, rows [%4]")
                       .arg(int(s.state))
                       .arg(s.current)
                       .arg(s.changes)
                       .arg(rows.join(u' '))
                       .toUtf8()
                       .constData());
}

enum class Scenario {
    BeforeInsert,
    NewRecord,
    BeforeEdit,
    BeforePostOfEdit,
    BeforePostOfInsert,
    BeforePostOtherError,
    BeforeDelete,
    BeforeDeleteWhileEditing,
};

} // namespace

Q_DECLARE_METATYPE(TZxFieldDef)
Q_DECLARE_METATYPE(Scenario)

class TestZxDataset : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void cursorWalksRowsInOrder();
    void emptyDatasetIsAtBothEnds();
    void fieldNamesIgnoreCase();
    void settingOutsideEditIsRefused();
    void readOnlyColumnIsRefused();
    void coerce_data();
    void coerce();
    void editPostCancel();
    void insertAndAppendPlaceRows();
    void cancelledInsertRestoresCursor();
    void movingPostsPendingEdit();
    void eventAbortLeavesDatasetAsBefore_data();
    void eventAbortLeavesDatasetAsBefore();
    void newRecordRunsBeforeUserTypes();
    void afterPostFailureKeepsTheChange();
    void beforeHandlersCannotRestructure();
    void locate_data();
    void locate();
    void changeLogTracksRowStates();
    void rowEditedBackStaysModified();
    void mergeChangeLogForgetsChanges();
    void snapshotsRefusePendingEdit_data();
    void snapshotsRefusePendingEdit();
    void loadReplacesEverything();
    void loadRoutine();
    void loadPicksTableByName();
    void stampOnCreate_data();
    void stampOnCreate();
    void stampOnUpdate_data();
    void stampOnUpdate();
    void stampsRunFromEvents();
    void pictureHintOnlyForBlobs();

private:
    std::unique_ptr<Tzxroot> m_root;
    const QDateTime m_now = QDateTime(QDate(2025, 1, 17), QTime(9, 30, 15, 250));
};

void TestZxDataset::initTestCase()
{
    m_root = std::make_unique<Tzxroot>();
    m_root->GetNowFunc = [this] { return m_now; };
}

void TestZxDataset::init()
{
    m_root->Sess.Login = QStringLiteral("петров");
}

void TestZxDataset::cleanup() {}

void TestZxDataset::cursorWalksRowsInOrder()
{
    TZxDataset dataset;
    loadFiles(dataset);
    QCOMPARE(dataset.RecordCount(), 3);
    QCOMPARE(dataset.RecNo(), 1);
    QVERIFY(dataset.Bof());

    QStringList forward;
    for (dataset.First(); !dataset.Eof(); dataset.Next())
        forward << dataset.FieldByName(QStringLiteral("fileid")).AsString();
    QCOMPARE(forward, (QStringList{"f1", "f2", "f3"}));
    QCOMPARE(dataset.RecNo(), 3); // Eof leaves the cursor on the last row

    QStringList backward;
    for (dataset.Last(); !dataset.Bof(); dataset.Prior())
        backward << dataset.FieldByName(QStringLiteral("fileid")).AsString();
    QCOMPARE(backward, (QStringList{"f3", "f2", "f1"}));

    dataset.MoveTo(1);
    QCOMPARE(dataset.CurrentRow(), 1);
    QCOMPARE(dataset.RecNo(), 2);
    QVERIFY(!dataset.Bof() && !dataset.Eof());
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, dataset.MoveTo(3));
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, dataset.MoveTo(-1));
    QCOMPARE(dataset.CurrentRow(), 1);
}

void TestZxDataset::emptyDatasetIsAtBothEnds()
{
    TZxDataset dataset(QStringLiteral("iqFiles"));
    dataset.SetFields(filesFields());
    QVERIFY(dataset.IsEmpty());
    QVERIFY(dataset.Bof() && dataset.Eof());
    QCOMPARE(dataset.RecNo(), 0);
    dataset.Next();
    dataset.Prior();
    QVERIFY(dataset.Bof() && dataset.Eof());
    QVERIFY(dataset.FieldByName(QStringLiteral("fileid")).IsNull());
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, dataset.Edit());
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, dataset.Delete());

    TZxDataset noColumns;
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, noColumns.Append());
}

void TestZxDataset::fieldNamesIgnoreCase()
{
    TZxDataset dataset;
    loadFiles(dataset);
    QCOMPARE(&dataset.FieldByName(QStringLiteral("FILEID")), &dataset.FieldByName(QStringLiteral("fileid")));
    QCOMPARE(dataset.FindField(QStringLiteral("Del"))->FieldName(), QStringLiteral("del"));
    QCOMPARE(dataset.FindField(QStringLiteral("nosuchcolumn")), nullptr);
    try {
        dataset.FieldByName(QStringLiteral("nosuchcolumn"));
        QFAIL("a missing field was found");
    } catch (const EZxError &error) {
        QVERIFY2(error.message().contains(QStringLiteral("nosuchcolumn")), qPrintable(error.message()));
    }

    TZxDataset cyrillic;
    cyrillic.SetFields({TZxFieldDef::Text(QStringLiteral("Имя"), 10)});
    QVERIFY(cyrillic.FindField(QStringLiteral("ИМЯ")));
    // Names that differ only in case are one column.
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, cyrillic.SetFields({TZxFieldDef::Int32(QStringLiteral("del")),
                                                                   TZxFieldDef::Int32(QStringLiteral("Del"))}));
}

void TestZxDataset::settingOutsideEditIsRefused()
{
    TZxDataset dataset;
    loadFiles(dataset);
    TZxField &docn = dataset.FieldByName(QStringLiteral("docn"));
    const QString before = docn.AsString();
    try {
        docn.SetValue(QStringLiteral("changed"));
        QFAIL("a value was set in browse state");
    } catch (const EZxError &error) {
        QCOMPARE(error.className(), QStringLiteral("EZxDatasetError"));
    }
    QCOMPARE(docn.AsString(), before);
    QCOMPARE(dataset.ChangeCount(), 0);
}

void TestZxDataset::readOnlyColumnIsRefused()
{
    TZxDataset dataset;
    loadFiles(dataset);
    dataset.Edit();
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, dataset.FieldByName(QStringLiteral("ordnum")).SetValue(8));
    QCOMPARE(dataset.FieldByName(QStringLiteral("ordnum")).AsInteger(), 7);
    dataset.Cancel();
}

void TestZxDataset::coerce_data()
{
    QTest::addColumn<TZxFieldDef>("def");
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<QVariant>("expected"); // invalid: null
    QTest::addColumn<bool>("refused");

    const TZxFieldDef text = TZxFieldDef::Text(QStringLiteral("t"), 5);
    const TZxFieldDef int32 = TZxFieldDef::Int32(QStringLiteral("i"));
    const TZxFieldDef int64 = TZxFieldDef::Int64(QStringLiteral("l"));
    const TZxFieldDef money = TZxFieldDef::Decimal(QStringLiteral("d"), 15, 3);
    const TZxFieldDef when = TZxFieldDef::DateTime(QStringLiteral("w"));
    const TZxFieldDef flag = TZxFieldDef::Boolean(QStringLiteral("b"));
    const TZxFieldDef blob = TZxFieldDef::Blob(QStringLiteral("p"));
    const QVariant null;

    QTest::newRow("empty text stays text") << text << QVariant(QString()) << QVariant(QString()) << false;
    QTest::newRow("typed null is null") << text << QVariant(QMetaType::fromType<QString>()) << null << false;
    QTest::newRow("text at its size") << text << QVariant(QStringLiteral("абвгд")) << QVariant(QStringLiteral("абвгд")) << false;
    QTest::newRow("text over its size") << text << QVariant(QStringLiteral("абвгде")) << null << true;
    QTest::newRow("number into text") << text << QVariant(42) << QVariant(QStringLiteral("42")) << false;
    QTest::newRow("bytes into text") << text << QVariant(QByteArray("x")) << null << true;
    QTest::newRow("lone surrogate") << text << QVariant(QString(QChar(0xd800))) << null << true;

    QTest::newRow("int from text") << int32 << QVariant(QStringLiteral(" 42 ")) << QVariant(42) << false;
    QTest::newRow("blank text is null") << int32 << QVariant(QStringLiteral("  ")) << null << false;
    QTest::newRow("int32 max") << int32 << QVariant(qlonglong(2147483647)) << QVariant(2147483647) << false;
    QTest::newRow("int32 overflow") << int32 << QVariant(qlonglong(2147483648)) << null << true;
    QTest::newRow("int from bool") << int32 << QVariant(true) << QVariant(1) << false;
    QTest::newRow("int from fraction") << int32 << QVariant(2.5) << null << true;
    QTest::newRow("int from words") << int32 << QVariant(QStringLiteral("seven")) << null << true;
    QTest::newRow("int64 from whole double") << int64 << QVariant(3.0) << QVariant(qlonglong(3)) << false;
    QTest::newRow("int64 from 2^63 double") << int64 << QVariant(9223372036854775808.0) << null << true;
    QTest::newRow("int64 from huge unsigned") << int64 << QVariant(qulonglong(1) << 63) << null << true;

    QTest::newRow("decimal keeps 0.1") << money << QVariant(0.1) << QVariant(QStringLiteral("0.100")) << false;
    QTest::newRow("decimal comma") << money << QVariant(QStringLiteral("1,5")) << QVariant(QStringLiteral("1.500")) << false;
    QTest::newRow("decimal rounds half up") << money << QVariant(QStringLiteral("2.0005")) << QVariant(QStringLiteral("2.001")) << false;
    QTest::newRow("decimal rounds carry") << money << QVariant(QStringLiteral("-9.9996")) << QVariant(QStringLiteral("-10.000")) << false;
    QTest::newRow("decimal negative zero") << money << QVariant(QStringLiteral("-0.0004")) << QVariant(QStringLiteral("0.000")) << false;
    QTest::newRow("decimal exponent") << money << QVariant(1e11) << QVariant(QStringLiteral("100000000000.000")) << false;
    QTest::newRow("decimal 12 integer digits") << money << QVariant(QStringLiteral("999999999999.999"))
                                               << QVariant(QStringLiteral("999999999999.999")) << false;
    QTest::newRow("decimal 13 integer digits") << money << QVariant(QStringLiteral("1000000000000")) << null << true;
    QTest::newRow("decimal rounding overflows") << money << QVariant(QStringLiteral("999999999999.9995")) << null << true;
    QTest::newRow("decimal from int64") << money << QVariant(qlonglong(-5)) << QVariant(QStringLiteral("-5.000")) << false;
    QTest::newRow("decimal garbage") << money << QVariant(QStringLiteral("1.2.3")) << null << true;
    QTest::newRow("decimal infinity") << money << QVariant(qInf()) << null << true;

    const QDateTime moment(QDate(2024, 3, 5), QTime(10, 0, 0, 123), QTimeZone(3 * 3600));
    QTest::newRow("date-time from ISO text") << when << QVariant(QStringLiteral("2024-03-05T10:00:00.123+03:00"))
                                             << QVariant(moment.toLocalTime()) << false;
    QTest::newRow("date-time from grid text") << when << QVariant(QStringLiteral("05.03.2024 10:00:00"))
                                              << QVariant(QDateTime(QDate(2024, 3, 5), QTime(10, 0))) << false;
    QTest::newRow("date-time from date") << when << QVariant(QDate(2024, 3, 5))
                                         << QVariant(QDateTime(QDate(2024, 3, 5), QTime(0, 0))) << false;
    QTest::newRow("date-time from garbage") << when << QVariant(QStringLiteral("вчера")) << null << true;
    QTest::newRow("date-time year 10000") << when << QVariant(QDateTime(QDate(10000, 6, 1), QTime(0, 0))) << null << true;

    QTest::newRow("bool from 1") << flag << QVariant(1) << QVariant(true) << false;
    QTest::newRow("bool from 2") << flag << QVariant(2) << null << true;
    QTest::newRow("bool from text") << flag << QVariant(QStringLiteral("False")) << QVariant(false) << false;
    QTest::newRow("empty blob stays blob") << blob << QVariant(QByteArray()) << QVariant(QByteArray()) << false;
    QTest::newRow("text into blob") << blob << QVariant(QStringLiteral("x")) << null << true;
}

void TestZxDataset::coerce()
{
    QFETCH(TZxFieldDef, def);
    QFETCH(QVariant, input);
    QFETCH(QVariant, expected);
    QFETCH(bool, refused);
    if (refused) {
        try {
            const QVariant result = def.Coerce(input);
            QFAIL(qPrintable(QStringLiteral("accepted as %1").arg(result.toString())));
        } catch (const EConvertError &error) {
            QVERIFY2(error.message().contains(QStringLiteral("'%1'").arg(def.Name)), qPrintable(error.message()));
        }
        return;
    }
    const QVariant result = def.Coerce(input);
    QCOMPARE(result.isValid(), expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(result.metaType(), expected.metaType());
        QCOMPARE(result, expected);
    }
}

void TestZxDataset::editPostCancel()
{
    TZxDataset dataset;
    loadFiles(dataset);
    TZxField &docn = dataset.FieldByName(QStringLiteral("docn"));

    dataset.Edit();
    QCOMPARE(dataset.State(), TZxDatasetState::Edit);
    docn.SetValue(QStringLiteral("черновик"));
    QCOMPARE(docn.AsString(), QStringLiteral("черновик")); // edits show in place
    dataset.Cancel();
    QCOMPARE(dataset.State(), TZxDatasetState::Browse);
    QCOMPARE(docn.AsString(), QStringLiteral("№ 15/2024"));
    QCOMPARE(dataset.UpdateStatus(), TZxRowState::Unchanged);

    dataset.Edit();
    docn.SetValue(QStringLiteral("№ 16"));
    dataset.Post();
    QCOMPARE(docn.AsString(), QStringLiteral("№ 16"));
    QCOMPARE(docn.OldValue().toString(), QStringLiteral("№ 15/2024"));
    QCOMPARE(dataset.UpdateStatus(), TZxRowState::Modified);

    // An edit that changes nothing leaves the row unchanged.
    dataset.MoveTo(1);
    dataset.Edit();
    docn.SetValue(docn.Value());
    dataset.Post();
    QCOMPARE(dataset.UpdateStatus(), TZxRowState::Unchanged);
    QCOMPARE(dataset.ChangeCount(), 1);
}

void TestZxDataset::insertAndAppendPlaceRows()
{
    TZxDataset dataset;
    loadFiles(dataset);
    dataset.MoveTo(1);
    dataset.Insert();
    QCOMPARE(dataset.State(), TZxDatasetState::Insert);
    QCOMPARE(dataset.CurrentRow(), 1);
    QCOMPARE(dataset.RecordCount(), 4);
    dataset.FieldByName(QStringLiteral("fileid")).SetValue(QStringLiteral("ins"));
    dataset.Post();

    dataset.Append();
    QCOMPARE(dataset.CurrentRow(), 4);
    dataset.FieldByName(QStringLiteral("fileid")).SetValue(QStringLiteral("app"));
    dataset.Post();

    QCOMPARE(columnValues(dataset, QStringLiteral("fileid")), (QStringList{"f1", "ins", "f2", "f3", "app"}));
    QCOMPARE(dataset.RowState(1), TZxRowState::Inserted);
    QCOMPARE(dataset.RowState(4), TZxRowState::Inserted);
    QVERIFY(dataset.FieldByName(QStringLiteral("fileid")).OldValue().isNull());
}

void TestZxDataset::cancelledInsertRestoresCursor()
{
    TZxDataset dataset;
    loadFiles(dataset);
    dataset.MoveTo(2);
    dataset.Insert();
    dataset.Cancel();
    QCOMPARE(dataset.RecordCount(), 3);
    QCOMPARE(dataset.CurrentRow(), 2);
    QCOMPARE(dataset.FieldByName(QStringLiteral("fileid")).AsString(), QStringLiteral("f3"));

    // Delete on a pending insert only drops the new row.
    dataset.Append();
    dataset.Delete();
    QCOMPARE(dataset.RecordCount(), 3);
    QCOMPARE(dataset.ChangeCount(), 0);
}

void TestZxDataset::movingPostsPendingEdit()
{
    TZxDataset dataset;
    loadFiles(dataset);
    dataset.Edit();
    dataset.FieldByName(QStringLiteral("kodf")).SetValue(QStringLiteral("K-2"));
    dataset.Next();
    QCOMPARE(dataset.State(), TZxDatasetState::Browse);
    QCOMPARE(dataset.RowState(0), TZxRowState::Modified);
    QCOMPARE(dataset.RowValue(0, dataset.FieldByName(QStringLiteral("kodf")).Index()).toString(), QStringLiteral("K-2"));

    // Inserting posts the pending insert before it, too.
    dataset.Append();
    dataset.FieldByName(QStringLiteral("fileid")).SetValue(QStringLiteral("n1"));
    dataset.Append();
    QCOMPARE(dataset.RowState(3), TZxRowState::Inserted);
    QCOMPARE(dataset.RecordCount(), 5);
    dataset.Cancel();
}

void TestZxDataset::eventAbortLeavesDatasetAsBefore_data()
{
    QTest::addColumn<Scenario>("scenario");
    QTest::newRow("before insert") << Scenario::BeforeInsert;
    QTest::newRow("new record") << Scenario::NewRecord;
    QTest::newRow("before edit") << Scenario::BeforeEdit;
    QTest::newRow("before post of an edit") << Scenario::BeforePostOfEdit;
    QTest::newRow("before post of an insert") << Scenario::BeforePostOfInsert;
    QTest::newRow("before post, other error") << Scenario::BeforePostOtherError;
    QTest::newRow("before delete") << Scenario::BeforeDelete;
    QTest::newRow("before delete while editing") << Scenario::BeforeDeleteWhileEditing;
}

void TestZxDataset::eventAbortLeavesDatasetAsBefore()
{
    QFETCH(Scenario, scenario);
    RecordingResponder responder;
    TZxDataset dataset;
    loadFiles(dataset);
    // Some history in the log, so that a wrong rollback would show.
    dataset.MoveTo(2);
    dataset.Delete();
    dataset.First();
    dataset.Edit();
    dataset.FieldByName(QStringLiteral("statid")).SetValue(QStringLiteral("2"));
    dataset.Post();

    // A rights check as the callers write it: tell the user, then abort.
    const auto refuse = [](TZxDataset &) {
        ErrorBox(QStringLiteral("У Вас нет прав"));
        throw EAbort();
    };
    // A handler that gets half way first.
    const auto stampThenRefuse = [&refuse](TZxDataset &ds) {
        StampOnUpdate(ds);
        refuse(ds);
    };
    std::function<void()> action;
    switch (scenario) {
    case Scenario::BeforeInsert:
        dataset.BeforeInsert = refuse;
        action = [&] { dataset.Insert(); };
        break;
    case Scenario::NewRecord:
        dataset.OnNewRecord = [&refuse](TZxDataset &ds) {
            ds.FieldByName(QStringLiteral("fileid")).SetValue(QStringLiteral("new"));
            refuse(ds);
        };
        action = [&] { dataset.Append(); };
        break;
    case Scenario::BeforeEdit:
        dataset.BeforeEdit = refuse;
        action = [&] { dataset.Edit(); };
        break;
    case Scenario::BeforePostOfEdit:
        dataset.Edit();
        dataset.FieldByName(QStringLiteral("docn")).SetValue(QStringLiteral("typed"));
        dataset.BeforePost = stampThenRefuse;
        action = [&] { dataset.Post(); };
        break;
    case Scenario::BeforePostOfInsert:
        dataset.Append();
        dataset.FieldByName(QStringLiteral("fileid")).SetValue(QStringLiteral("new"));
        dataset.BeforePost = stampThenRefuse;
        action = [&] { dataset.Post(); };
        break;
    case Scenario::BeforePostOtherError:
        dataset.Edit();
        dataset.FieldByName(QStringLiteral("docn")).SetValue(QStringLiteral("typed"));
        dataset.BeforePost = [](TZxDataset &ds) {
            StampOnUpdate(ds);
            ds.FieldByName(QStringLiteral("del")).SetValue(QStringLiteral("not a number"));
        };
        action = [&] { dataset.Post(); };
        break;
    case Scenario::BeforeDelete:
        dataset.MoveTo(1);
        dataset.BeforeDelete = refuse;
        action = [&] { dataset.Delete(); };
        break;
    case Scenario::BeforeDeleteWhileEditing:
        dataset.MoveTo(1);
        dataset.Edit();
        dataset.FieldByName(QStringLiteral("docn")).SetValue(QStringLiteral("typed"));
        dataset.BeforeDelete = refuse;
        action = [&] { dataset.Delete(); };
        break;
    }

    const Snapshot before = snapshot(dataset);
    try {
        action();
        QFAIL("the handler's exception did not reach the caller");
    } catch (const EZxError &error) {
        if (scenario == Scenario::BeforePostOtherError)
            QCOMPARE(error.className(), QStringLiteral("EConvertError"));
        else
            QCOMPARE(error.className(), QStringLiteral("EAbort"));
    }
    QCOMPARE(snapshot(dataset), before);
}

void TestZxDataset::newRecordRunsBeforeUserTypes()
{
    TZxDataset dataset;
    loadFiles(dataset);
    QList<QString> seen;
    dataset.BeforeInsert = [&](TZxDataset &ds) { seen << QStringLiteral("before insert %1").arg(ds.RecordCount()); };
    dataset.OnNewRecord = [&](TZxDataset &ds) {
        seen << QStringLiteral("new record %1").arg(int(ds.State()));
        ds.FieldByName(QStringLiteral("fileid")).SetValue(QStringLiteral("default"));
    };
    dataset.Append();
    QCOMPARE(seen, (QList<QString>{"before insert 3", QStringLiteral("new record %1").arg(int(TZxDatasetState::Insert))}));
    QCOMPARE(dataset.FieldByName(QStringLiteral("fileid")).AsString(), QStringLiteral("default"));
    dataset.Cancel();
}

void TestZxDataset::afterPostFailureKeepsTheChange()
{
    TZxDataset dataset;
    loadFiles(dataset);
    int saves = 0;
    dataset.AfterPost = [&](TZxDataset &ds) {
        ++saves;
        QCOMPARE(ds.State(), TZxDatasetState::Browse); // the stream can be made here
        QVERIFY(!ds.ChangeStream().isEmpty());
        throw EZxError(QStringLiteral("ESocketError"), QStringLiteral("connection refused"));
    };
    dataset.AfterDelete = dataset.AfterPost;
    dataset.Edit();
    dataset.FieldByName(QStringLiteral("docn")).SetValue(QStringLiteral("x"));
    QVERIFY_THROWS_EXCEPTION(EZxError, dataset.Post());
    QCOMPARE(dataset.State(), TZxDatasetState::Browse);
    QCOMPARE(dataset.UpdateStatus(), TZxRowState::Modified);

    QVERIFY_THROWS_EXCEPTION(EZxError, dataset.Delete());
    QCOMPARE(dataset.RecordCount(), 2);
    QCOMPARE(dataset.ChangeCount(), 1);
    QCOMPARE(saves, 2);
}

void TestZxDataset::beforeHandlersCannotRestructure()
{
    TZxDataset dataset;
    loadFiles(dataset);
    dataset.BeforePost = [](TZxDataset &ds) { ds.Post(); };
    dataset.BeforeDelete = [](TZxDataset &ds) { ds.Next(); };
    dataset.Edit();
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, dataset.Post());
    QCOMPARE(dataset.State(), TZxDatasetState::Edit);
    dataset.Cancel();
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, dataset.Delete());
    QCOMPARE(dataset.RecordCount(), 3);
    QCOMPARE(dataset.CurrentRow(), 0);
}

void TestZxDataset::locate_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("row"); // -1: not found

    QTest::newRow("key") << "fileid" << QVariant(QStringLiteral("f3")) << 2;
    QTest::newRow("column name in another case") << "FILENAME" << QVariant(QStringLiteral("Счёт")) << 1;
    QTest::newRow("text is case-sensitive") << "filename" << QVariant(QStringLiteral("счёт")) << -1;
    QTest::newRow("text is not trimmed") << "fileid" << QVariant(QStringLiteral("f2 ")) << -1;
    QTest::newRow("decimal from double") << "sumdoc" << QVariant(0.1) << 1;
    QTest::newRow("integer from text") << "ordnum" << QVariant(QStringLiteral("7")) << 0;
    QTest::newRow("null finds null") << "userupdate" << QVariant() << 0;
    QTest::newRow("empty text is not null") << "working_user" << QVariant(QString()) << 0;
    QTest::newRow("value the column cannot hold") << "del" << QVariant(QStringLiteral("x")) << -1;
}

void TestZxDataset::locate()
{
    QFETCH(QString, column);
    QFETCH(QVariant, value);
    QFETCH(int, row);
    TZxDataset dataset;
    loadFiles(dataset);
    dataset.MoveTo(1);
    const int start = row == 1 ? 2 : 1;
    dataset.MoveTo(start);
    QCOMPARE(dataset.Locate(column, value), row >= 0);
    QCOMPARE(dataset.CurrentRow(), row >= 0 ? row : start);
}

void TestZxDataset::changeLogTracksRowStates()
{
    TZxDataset dataset;
    loadFiles(dataset);
    TZxField &docn = dataset.FieldByName(QStringLiteral("docn"));

    dataset.Append();
    dataset.FieldByName(QStringLiteral("fileid")).SetValue(QStringLiteral("new"));
    dataset.Post();
    dataset.Edit();
    docn.SetValue(QStringLiteral("edited after insert"));
    dataset.Post();
    QCOMPARE(dataset.UpdateStatus(), TZxRowState::Inserted); // a modified inserted row stays inserted

    dataset.First();
    dataset.Edit();
    docn.SetValue(QStringLiteral("first edit"));
    dataset.Post();
    dataset.Delete(); // modified, then deleted
    QCOMPARE(columnValues(dataset, QStringLiteral("fileid")), (QStringList{"f2", "f3", "new"}));
    QCOMPARE(dataset.ChangeCount(), 2);

    dataset.Last();
    dataset.Delete(); // inserted, then deleted: nothing left to tell the server
    QCOMPARE(dataset.ChangeCount(), 1);
    QVERIFY(dataset.UpdatesPending());
    QCOMPARE(dataset.RecordCount(), 2);
}

void TestZxDataset::rowEditedBackStaysModified()
{
    TZxDataset dataset;
    loadFiles(dataset);
    TZxField &docn = dataset.FieldByName(QStringLiteral("docn"));
    const QVariant original = docn.Value();
    dataset.Edit();
    docn.SetValue(QStringLiteral("B"));
    dataset.Post();
    // The first change may already be on the server; the way back must travel too.
    dataset.Edit();
    docn.SetValue(original);
    dataset.Post();
    QCOMPARE(dataset.UpdateStatus(), TZxRowState::Modified);
    QCOMPARE(dataset.ChangeCount(), 1);
}

void TestZxDataset::mergeChangeLogForgetsChanges()
{
    TZxDataset dataset;
    loadFiles(dataset);
    dataset.Edit();
    dataset.FieldByName(QStringLiteral("docn")).SetValue(QStringLiteral("x"));
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, dataset.MergeChangeLog());
    dataset.Post();
    dataset.Last();
    dataset.Delete();
    dataset.Append();
    dataset.FieldByName(QStringLiteral("fileid")).SetValue(QStringLiteral("new"));
    dataset.Post();
    dataset.MergeChangeLog();
    QCOMPARE(dataset.ChangeCount(), 0);
    for (int row = 0; row < dataset.RecordCount(); ++row)
        QCOMPARE(dataset.RowState(row), TZxRowState::Unchanged);
    dataset.First();
    QCOMPARE(dataset.FieldByName(QStringLiteral("docn")).OldValue().toString(), QStringLiteral("x"));
    // Once merged, deleting the formerly inserted row is a deletion the server must see.
    dataset.Last();
    dataset.Delete();
    QCOMPARE(dataset.ChangeCount(), 1);
}

void TestZxDataset::snapshotsRefusePendingEdit_data()
{
    QTest::addColumn<bool>("inserting");
    QTest::newRow("edit") << false;
    QTest::newRow("insert") << true;
}

void TestZxDataset::snapshotsRefusePendingEdit()
{
    QFETCH(bool, inserting);
    TZxDataset dataset;
    loadFiles(dataset);
    if (inserting) {
        dataset.Append();
        dataset.FieldByName(QStringLiteral("fileid")).SetValue(QStringLiteral("new"));
    } else {
        dataset.Edit();
        dataset.FieldByName(QStringLiteral("docn")).SetValue(QStringLiteral("x"));
    }
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, dataset.ChangeStream());
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, dataset.SaveToImage());
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, dataset.ToTable());
    // The pending change is still there to be posted.
    dataset.Post();
    QCOMPARE(dataset.ChangeCount(), 1);
    QVERIFY(!dataset.ChangeStream().isEmpty());
}

void TestZxDataset::loadReplacesEverything()
{
    TZxDataset dataset;
    loadFiles(dataset);
    dataset.Delete();
    dataset.Edit();
    dataset.FieldByName(QStringLiteral("docn")).SetValue(QStringLiteral("pending"));
    QSignalSpy resets(&dataset, &TZxDataset::reset);

    TZxTable rights;
    rights.Name = QStringLiteral("iqFiles");
    rights.Fields = treeRightFields();
    rights.Rows << QVariantList{QStringLiteral("r1"), QStringLiteral("t1"), {}, {}, {}, {}, {}, 0, 1, 0, 1, 1, 0, {}};
    dataset.LoadFromTable(rights);
    QCOMPARE(resets.count(), 1);
    QCOMPARE(dataset.State(), TZxDatasetState::Browse);
    QCOMPARE(dataset.ChangeCount(), 0);
    QCOMPARE(dataset.RecordCount(), 1);
    QCOMPARE(dataset.FindField(QStringLiteral("docn")), nullptr);
    QCOMPARE(dataset.FieldByName(QStringLiteral("treeid")).AsString(), QStringLiteral("t1"));

    // A failed load leaves the dataset as it was.
    rights.Rows << QVariantList{QStringLiteral("r2"), {}, {}, {}, {}, {}, {}, QStringLiteral("many"), 0, 0, 0, 0, 0, {}};
    QVERIFY_THROWS_EXCEPTION(EConvertError, dataset.LoadFromTable(rights));
    QVERIFY_THROWS_EXCEPTION(EZxImageError, dataset.LoadFromImage(QByteArray("\xa0", 1)));
    QCOMPARE(dataset.RecordCount(), 1);
    QCOMPARE(resets.count(), 1);
}

void TestZxDataset::loadRoutine()
{
    TZxDataset dataset;
    loadFiles(dataset);
    dataset.Delete();
    LoadDatasetImage(QByteArray(), dataset); // no result: nothing loaded, nothing lost
    QCOMPARE(dataset.RecordCount(), 2);
    QCOMPARE(dataset.ChangeCount(), 1);

    TZxDataset source;
    loadFiles(source);
    LoadDatasetImage(source.SaveToImage(), dataset);
    QCOMPARE(dataset.RecordCount(), 3);
    QCOMPARE(dataset.ChangeCount(), 0);
}

void TestZxDataset::loadPicksTableByName()
{
    TZxDatasetContainer container;
    TZxTable rights;
    rights.Name = QStringLiteral("iqTreeright");
    rights.Fields = treeRightFields();
    container.AddTable(rights);
    container.AddTable(filesTable());
    const QByteArray image = container.ToImage();

    TZxDataset files(QStringLiteral("IQFILES"));
    files.LoadFromImage(image);
    QCOMPARE(files.RecordCount(), 3);
    QCOMPARE(files.TableName(), QStringLiteral("IQFILES"));
    files.LoadFromContainer(container);
    QCOMPARE(files.RecordCount(), 3);

    TZxDataset users(QStringLiteral("iqUsers"));
    try {
        users.LoadFromImage(image);
        QFAIL("a missing table was loaded");
    } catch (const EZxDatasetError &error) {
        QVERIFY2(error.message().contains(QStringLiteral("iqUsers")), qPrintable(error.message()));
        QVERIFY2(error.message().contains(QStringLiteral("iqTreeright, iqFiles")), qPrintable(error.message()));
    }
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, users.LoadFromContainer(container));

    TZxDataset unnamed;
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, unnamed.LoadFromImage(image));
    unnamed.LoadFromImage(files.SaveToImage());
    QCOMPARE(unnamed.TableName(), QStringLiteral("IQFILES"));
}

void TestZxDataset::stampOnCreate_data()
{
    QTest::addColumn<QList<TZxFieldDef>>("fields");
    QTest::addColumn<QVariantMap>("expected"); // column -> value after the stamp; absent: stays null

    const QVariant now = QVariant::fromValue(m_now);
    QTest::newRow("file list") << filesFields()
                               << QVariantMap{{"datecreate", now}, {"usercreate", QStringLiteral("петров")}, {"del", 0}};
    QTest::newRow("rights: no stamp columns") << treeRightFields() << QVariantMap{};
    QTest::newRow("users: writable active") << usersFields() << QVariantMap{{"active", 1}};
    QTest::newRow("users: read-only active") << usersFields(TZxFieldFlag::Nullable | TZxFieldFlag::ReadOnly)
                                             << QVariantMap{};
    QList<TZxFieldDef> readOnlyStamps = {TZxFieldDef::Text(QStringLiteral("id"), 10),
                                         TZxFieldDef::DateTime(QStringLiteral("DATECREATE"), TZxFieldFlag::ReadOnly),
                                         TZxFieldDef::Text(QStringLiteral("UserCreate"), 200),
                                         TZxFieldDef::Boolean(QStringLiteral("Del")),
                                         TZxFieldDef::Boolean(QStringLiteral("Active"))};
    QTest::newRow("other cases, read-only date, boolean flags")
        << readOnlyStamps
        << QVariantMap{{"UserCreate", QStringLiteral("петров")}, {"Del", false}, {"Active", true}};
}

void TestZxDataset::stampOnCreate()
{
    QFETCH(QList<TZxFieldDef>, fields);
    QFETCH(QVariantMap, expected);
    TZxDataset dataset(QStringLiteral("t"));
    dataset.SetFields(fields);
    dataset.Append();
    StampOnCreate(dataset);
    for (const TZxFieldDef &def : fields) {
        const QVariant value = dataset.FieldByName(def.Name).Value();
        if (expected.contains(def.Name)) {
            QCOMPARE(value, expected.value(def.Name));
        } else {
            QVERIFY2(!value.isValid(), qPrintable(def.Name));
        }
    }
    dataset.Cancel();
}

void TestZxDataset::stampOnUpdate_data()
{
    QTest::addColumn<QList<TZxFieldDef>>("fields");
    QTest::addColumn<bool>("stamped");
    QTest::newRow("file list") << filesFields() << true;
    QTest::newRow("users: no update columns") << usersFields() << false;
}

void TestZxDataset::stampOnUpdate()
{
    QFETCH(QList<TZxFieldDef>, fields);
    QFETCH(bool, stamped);
    TZxDataset dataset(QStringLiteral("t"));
    dataset.SetFields(fields);
    dataset.Append();
    const Snapshot before = snapshot(dataset);
    StampOnUpdate(dataset);
    if (!stamped) {
        QCOMPARE(snapshot(dataset), before);
        return;
    }
    QCOMPARE(dataset.FieldByName(QStringLiteral("dateupdate")).AsDateTime(), m_now);
    QCOMPARE(dataset.FieldByName(QStringLiteral("userupdate")).AsString(), QStringLiteral("петров"));
    QVERIFY(dataset.FieldByName(QStringLiteral("datecreate")).IsNull());
}

void TestZxDataset::stampsRunFromEvents()
{
    TZxDataset dataset;
    loadFiles(dataset);
    dataset.OnNewRecord = [](TZxDataset &ds) {
        ds.FieldByName(QStringLiteral("fileid")).SetValue(QStringLiteral("new"));
        StampOnCreate(ds);
    };
    dataset.BeforePost = StampOnUpdate;
    dataset.Append();
    QCOMPARE(dataset.FieldByName(QStringLiteral("usercreate")).AsString(), QStringLiteral("петров"));
    QVERIFY(dataset.FieldByName(QStringLiteral("userupdate")).IsNull());
    dataset.Post();
    QCOMPARE(dataset.FieldByName(QStringLiteral("userupdate")).AsString(), QStringLiteral("петров"));

    m_root->Sess.Login = QStringLiteral("сидоров");
    dataset.First();
    dataset.Edit();
    dataset.Post();
    QCOMPARE(dataset.FieldByName(QStringLiteral("userupdate")).AsString(), QStringLiteral("сидоров"));
    QCOMPARE(dataset.UpdateStatus(), TZxRowState::Modified);
}

void TestZxDataset::pictureHintOnlyForBlobs()
{
    TZxDataset dataset(QStringLiteral("iqFiles"));
    dataset.SetFields(filesWithPreviewFields());
    QSignalSpy hints(&dataset, &TZxDataset::fieldHintChanged);
    TZxField &picture = dataset.FieldByName(QStringLiteral("blob_pic"));
    picture.SetPicture(true);
    QVERIFY(picture.IsPicture());
    QCOMPARE(hints.count(), 1);
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, dataset.FieldByName(QStringLiteral("filename")).SetPicture(true));
    // Not part of the image: a reload forgets it.
    TZxDataset copy(QStringLiteral("iqFiles"));
    copy.LoadFromImage(dataset.SaveToImage());
    QVERIFY(!copy.FieldByName(QStringLiteral("blob_pic")).IsPicture());
    dataset.LoadFromImage(copy.SaveToImage());
    QVERIFY(!dataset.FieldByName(QStringLiteral("blob_pic")).IsPicture());
}

QTEST_GUILESS_MAIN(TestZxDataset)
#include "tst_zxdataset.moc"
