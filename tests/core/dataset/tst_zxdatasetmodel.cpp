#include "datasetfixtures.h"
#include "recordingresponder.h"
#include "zxbase.h"
#include "zxdataset.h"
#include "zxdatasetmodel.h"
#include "zxdatasetroutines.h"
#include "zxerror.h"
#include "zxroot.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Fixtures;

class TestZxDatasetModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void testerFollowsEveryChange();
    void headersAndRoles();
    void editsGoThroughTheDatasetEvents();
    void refusedEdits_data();
    void refusedEdits();
    void insertedRowStaysPendingUntilPosted();
    void datasetGoneLeavesEmptyModel();

private:
    std::unique_ptr<Tzxroot> m_root;
};

namespace {

int column(TZxDataset &dataset, const QString &name)
{
    return dataset.FieldByName(name).Index();
}

} // namespace

void TestZxDatasetModel::initTestCase()
{
    m_root = std::make_unique<Tzxroot>();
    m_root->Sess.Login = QStringLiteral("петров");
    m_root->GetNowFunc = [] { return QDateTime(QDate(2025, 1, 17), QTime(9, 30)); };
}

void TestZxDatasetModel::testerFollowsEveryChange()
{
    RecordingResponder responder;
    TZxDataset dataset;
    TZxDatasetModel model(&dataset);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy current(&model, &TZxDatasetModel::currentRowChanged);

    loadFiles(dataset);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.columnCount(), filesFields().size());

    // Changes made on the dataset show without the model copying anything.
    dataset.MoveTo(1);
    QCOMPARE(current.last().at(0).toInt(), 1);
    dataset.Insert();
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.last().at(1).toInt(), 1);
    dataset.FieldByName(QStringLiteral("fileid")).SetValue(QStringLiteral("new"));
    QCOMPARE(model.data(model.index(1, 0)).toString(), QStringLiteral("new"));
    dataset.Post();
    dataset.Edit();
    dataset.FieldByName(QStringLiteral("docn")).SetValue(QStringLiteral("edited"));
    dataset.Post();
    QCOMPARE(model.data(model.index(1, column(dataset, QStringLiteral("docn")))).toString(), QStringLiteral("edited"));
    QVERIFY(!changed.isEmpty());
    dataset.Delete();
    QCOMPARE(removed.count(), 1);
    QCOMPARE(model.rowCount(), 3);

    // And through the model.
    QVERIFY(model.setData(model.index(2, column(dataset, QStringLiteral("kodf"))), QStringLiteral("K-9")));
    QCOMPARE(dataset.RowState(2), TZxRowState::Modified);
    QVERIFY(model.insertRows(3, 1));
    QVERIFY(model.setData(model.index(3, 0), QStringLiteral("appended")));
    QCOMPARE(model.rowCount(), 4);
    QVERIFY(model.insertRows(0, 1));
    model.revert();
    QCOMPARE(model.rowCount(), 4);
    QVERIFY(model.removeRows(1, 2));
    QCOMPARE(columnValues(dataset, QStringLiteral("fileid")), (QStringList{"f1", "appended"}));
    QVERIFY(!model.removeRows(1, 5));
    QVERIFY(!model.insertRows(0, 2));

    // A load with other columns, and an empty table.
    TZxDataset rights(QStringLiteral("iqFiles"));
    rights.SetFields(treeRightFields());
    rights.Append();
    rights.FieldByName(QStringLiteral("tree_rightid")).SetValue(QStringLiteral("r1"));
    rights.Post();
    dataset.LoadFromImage(rights.SaveToImage());
    QCOMPARE(model.columnCount(), treeRightFields().size());
    QCOMPARE(model.rowCount(), 1);
    dataset.SetFields(usersFields());
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(model.insertRows(0, 1));
    QVERIFY(model.submit());
    QCOMPARE(model.rowCount(), 1);
    QVERIFY(responder.boxes.isEmpty());
}

void TestZxDatasetModel::headersAndRoles()
{
    TZxTable source;
    source.Name = QStringLiteral("t");
    source.Fields = filesWithPreviewFields() << TZxFieldDef::Boolean(QStringLiteral("checked"));
    for (const QVariantList &row : filesTable().Rows)
        source.Rows << (QVariantList(row) << QByteArray("PNG") << QVariant() << QVariant() << true);
    TZxDataset dataset(QStringLiteral("t"));
    dataset.LoadFromTable(source);
    TZxDatasetModel model(&dataset);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("fileid"));
    QCOMPARE(model.headerData(1, Qt::Vertical).toInt(), 2);
    const auto at = [&](const QString &name, int row = 0) { return model.index(row, column(dataset, name)); };

    QVERIFY(model.flags(at(QStringLiteral("docn"))) & Qt::ItemIsEditable);
    QVERIFY(!(model.flags(at(QStringLiteral("ordnum"))) & Qt::ItemIsEditable)); // read-only column
    QVERIFY(!(model.flags(at(QStringLiteral("blob_pic"))) & Qt::ItemIsEditable));
    QVERIFY(model.flags(at(QStringLiteral("checked"))) & Qt::ItemIsUserCheckable);

    QCOMPARE(model.data(at(QStringLiteral("sumdoc"))).toString(), QStringLiteral("1500.000"));
    QCOMPARE(model.data(at(QStringLiteral("sumdoc")), Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
    QVERIFY(!model.data(at(QStringLiteral("userupdate"))).isValid());
    QCOMPARE(model.data(at(QStringLiteral("datecreate"))).metaType(), QMetaType::fromType<QDateTime>());
    QCOMPARE(model.data(at(QStringLiteral("checked")), Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QVERIFY(!model.data(at(QStringLiteral("blob_pic"))).isValid());
    QCOMPARE(model.data(at(QStringLiteral("filename")), TZxDatasetModel::RowStateRole).toInt(), int(TZxRowState::Unchanged));

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(!model.data(at(QStringLiteral("blob_pic")), TZxDatasetModel::PictureRole).isValid());
    dataset.FieldByName(QStringLiteral("blob_pic")).SetPicture(true);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(model.data(at(QStringLiteral("blob_pic"), 2), TZxDatasetModel::PictureRole).toByteArray(), QByteArray("PNG"));

    QVERIFY(model.setData(at(QStringLiteral("checked")), int(Qt::Unchecked), Qt::CheckStateRole));
    QCOMPARE(dataset.RowValue(0, column(dataset, QStringLiteral("checked"))), QVariant(false));
    QCOMPARE(model.data(at(QStringLiteral("checked")), TZxDatasetModel::RowStateRole).toInt(), int(TZxRowState::Modified));
}

void TestZxDatasetModel::editsGoThroughTheDatasetEvents()
{
    RecordingResponder responder;
    TZxDataset dataset;
    loadFiles(dataset);
    TZxDatasetModel model(&dataset);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QList<QByteArray> sent;
    dataset.BeforePost = StampOnUpdate;
    dataset.AfterPost = [&](TZxDataset &ds) { sent << ds.ChangeStream(); };

    QVERIFY(model.setData(model.index(1, column(dataset, QStringLiteral("docn"))), QStringLiteral("№ 99")));
    QCOMPARE(dataset.State(), TZxDatasetState::Browse);
    QCOMPARE(sent.size(), 1);
    QCOMPARE(dataset.RowValue(1, column(dataset, QStringLiteral("userupdate"))).toString(), QStringLiteral("петров"));
    QVERIFY(responder.boxes.isEmpty());
}

void TestZxDatasetModel::refusedEdits_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("deniedByRights");
    QTest::addColumn<QString>("box"); // the one box expected; empty: none from the model

    QTest::newRow("no right to edit") << "docn" << QVariant(QStringLiteral("x")) << true << "У Вас нет прав редактирования этого файла!";
    QTest::newRow("not a number") << "del" << QVariant(QStringLiteral("abc")) << false << "EConvertError";
    QTest::newRow("too long") << "fileext" << QVariant(QString(101, u'x')) << false << "'fileext'";
}

void TestZxDatasetModel::refusedEdits()
{
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    QFETCH(bool, deniedByRights);
    QFETCH(QString, box);
    RecordingResponder responder;
    TZxDataset dataset;
    loadFiles(dataset);
    TZxDatasetModel model(&dataset);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    if (deniedByRights) {
        dataset.BeforeEdit = [](TZxDataset &) {
            ErrorBox(QStringLiteral("У Вас нет прав редактирования этого файла!"));
            throw EAbort();
        };
    }
    int posts = 0;
    dataset.AfterPost = [&](TZxDataset &) { ++posts; };
    const QModelIndex index = model.index(2, column(dataset, field));
    const QVariant before = model.data(index, Qt::EditRole);

    QVERIFY(!model.setData(index, value));
    QCOMPARE(model.data(index, Qt::EditRole), before);
    QCOMPARE(dataset.State(), TZxDatasetState::Browse);
    QCOMPARE(dataset.ChangeCount(), 0);
    QCOMPARE(posts, 0);
    QCOMPARE(responder.boxes.size(), 1);
    QVERIFY2(responder.boxes.first().text.contains(box), qPrintable(responder.boxes.first().text));
    QVERIFY(!model.lastError().isEmpty());

    model.setReadOnly(true);
    QVERIFY(!model.setData(model.index(0, 0), QStringLiteral("x")));
    QVERIFY(!model.insertRows(0, 1));
    QCOMPARE(responder.boxes.size(), 1);
}

void TestZxDatasetModel::insertedRowStaysPendingUntilPosted()
{
    TZxDataset dataset;
    loadFiles(dataset);
    dataset.OnNewRecord = [](TZxDataset &ds) {
        ds.FieldByName(QStringLiteral("fileid")).SetValue(NewID());
        StampOnCreate(ds);
    };
    TZxDatasetModel model(&dataset);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    int posts = 0;
    dataset.AfterPost = [&](TZxDataset &) { ++posts; };

    QVERIFY(model.insertRows(1, 1));
    QCOMPARE(dataset.State(), TZxDatasetState::Insert);
    QCOMPARE(model.data(model.index(1, 0)).toString().size(), 32);
    QCOMPARE(model.data(model.index(1, column(dataset, QStringLiteral("usercreate")))).toString(), QStringLiteral("петров"));
    QCOMPARE(posts, 0);
    // Typing into the new row posts it, once.
    QVERIFY(model.setData(model.index(1, column(dataset, QStringLiteral("filename"))), QStringLiteral("Новый")));
    QCOMPARE(dataset.State(), TZxDatasetState::Browse);
    QCOMPARE(dataset.RowState(1), TZxRowState::Inserted);
    QCOMPARE(posts, 1);

    // Editing another row posts a pending insert first.
    QVERIFY(model.insertRows(0, 1));
    QVERIFY(model.setData(model.index(3, column(dataset, QStringLiteral("docn"))), QStringLiteral("x")));
    QCOMPARE(dataset.RowState(0), TZxRowState::Inserted);
    QCOMPARE(posts, 3);
    QCOMPARE(model.rowCount(), 5);
}

void TestZxDatasetModel::datasetGoneLeavesEmptyModel()
{
    auto dataset = std::make_unique<TZxDataset>();
    loadFiles(*dataset);
    TZxDatasetModel model(dataset.get());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    dataset.reset();
    QCOMPARE(resets.count(), 1);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 0);
    QVERIFY(!model.setData(model.index(0, 0), QStringLiteral("x")));
}

QTEST_GUILESS_MAIN(TestZxDatasetModel)
#include "tst_zxdatasetmodel.moc"
