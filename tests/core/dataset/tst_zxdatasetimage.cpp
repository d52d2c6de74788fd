#include "datasetfixtures.h"
#include "zxchangestreamreader.h"
#include "zxdataset.h"
#include "zxdatasetcontainer.h"
#include "zxdataseterror.h"
#include "zxerror.h"
#include "zximagereader.h"
#include "zximagewriter.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTest>
#include <QTimeZone>

#include <limits>

using namespace Fixtures;

Q_DECLARE_METATYPE(TZxFieldDef)
Q_DECLARE_METATYPE(TZxImageLimits)

namespace {

// Reads a whole document the way its kind is read, keeping nothing.
void decodeAll(const QByteArray &bytes, const TZxImageLimits &limits = {})
{
    TZxImageReader reader(bytes, limits);
    while (reader.NextTable()) {
        if (reader.Kind() == TZxImageKind::Image) {
            QVariantList row;
            while (reader.NextRow(row)) {
            }
        } else {
            TZxRowChange change;
            while (reader.NextChange(change)) {
            }
        }
    }
}

QCborMap column(const QString &name, const QString &type)
{
    QCborMap map;
    map.insert(QStringLiteral("name"), name);
    map.insert(QStringLiteral("type"), type);
    return map;
}

QCborMap textColumn(const QString &name, int size)
{
    QCborMap map = column(name, QStringLiteral("text"));
    map.insert(QStringLiteral("size"), size);
    return map;
}

QCborMap table(const QString &name, const QCborArray &columns, const QString &rowsKey, const QCborArray &rows)
{
    QCborMap map;
    map.insert(QStringLiteral("name"), name);
    map.insert(QStringLiteral("columns"), columns);
    map.insert(rowsKey, rows);
    return map;
}

QCborMap document(const QString &kind, const QCborArray &tables)
{
    QCborMap map;
    map.insert(QStringLiteral("format"), QStringLiteral("qira-dataset"));
    map.insert(QStringLiteral("version"), 1);
    map.insert(QStringLiteral("kind"), kind);
    map.insert(QStringLiteral("tables"), tables);
    return map;
}

// An array of these items. (Brace-initialising a QCborArray from one QCborArray copies
// it instead of nesting it.)
QCborArray arrayOf(const QList<QCborValue> &items)
{
    QCborArray array;
    for (const QCborValue &item : items)
        array.append(item);
    return array;
}

QByteArray withColumns(const QCborArray &columns, const QList<QCborValue> &rows = {})
{
    return document(QStringLiteral("image"), {table(QStringLiteral("t"), columns, QStringLiteral("rows"), arrayOf(rows))})
        .toCborValue()
        .toCbor();
}

// An image of one table "t" with one column and one row holding value.
QByteArray oneValue(const QCborMap &col, const QCborValue &value)
{
    return withColumns({col}, {QCborArray{value}});
}

QByteArray oneChange(const QCborArray &change)
{
    return document(QStringLiteral("changes"), {table(QStringLiteral("t"), {textColumn(QStringLiteral("id"), 10)},
                                                      QStringLiteral("changes"), arrayOf({change}))})
        .toCborValue()
        .toCbor();
}

// Replaces the one occurrence of a marker's encoding with other bytes.
QByteArray patched(QByteArray bytes, const QByteArray &from, const QByteArray &to)
{
    const qsizetype at = bytes.indexOf(from);
    if (at < 0 || bytes.indexOf(from, at + 1) >= 0)
        qFatal("the marker %s is not in the bytes exactly once", from.toHex().constData());
    return bytes.replace(at, from.size(), to);
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(20240305);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(generator.bounded(256));
    return bytes;
}

// One column of every type, and rows with values and nulls in all of them.
TZxTable everyType()
{
    TZxTable t;
    t.Name = QStringLiteral("всё");
    t.Fields = {TZxFieldDef::Text(QStringLiteral("id"), 10, TZxFieldFlag::Key),
                TZxFieldDef::LongText(QStringLiteral("memo")),
                TZxFieldDef::Int32(QStringLiteral("i32")),
                TZxFieldDef::Int64(QStringLiteral("i64"), TZxFieldFlag::ReadOnly | TZxFieldFlag::AutoIncrement),
                TZxFieldDef::Decimal(QStringLiteral("amount"), 15, 3),
                TZxFieldDef::DateTime(QStringLiteral("at")),
                TZxFieldDef::Timestamp(QStringLiteral("stamp"), TZxFieldFlag::RowVersion),
                TZxFieldDef::Boolean(QStringLiteral("flag")),
                TZxFieldDef::Blob(QStringLiteral("data"))};
    t.Rows << QVariantList{QStringLiteral("ключ"),
                           QStringLiteral("Длинный текст"),
                           -5,
                           qlonglong(1) << 40,
                           QStringLiteral("0.100"),
                           QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 123)),
                           QDateTime(QDate(2010, 7, 1), QTime(23, 59, 59, 999)),
                           true,
                           QByteArray("\x00\x01\xff", 3)};
    QVariantList nulls(t.Fields.size()); // nulls throughout but the key
    nulls[0] = QStringLiteral("пусто");
    t.Rows << nulls;
    return t;
}

} // namespace

class TestZxDatasetImage : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void fileListRoundTripKeepsColumnsAndRows();
    void containerHoldsSeveralTables();
    void changeStreamCarriesChangedRows();
    void changeStreamOfNoChanges();
    void kindsAreNotInterchangeable();
    void documentedExamples();
    void malformed_data();
    void malformed();
    void everyTruncationIsRefused();
    void corruptionNeverCrashes();
    void writerRefusesWhatWouldNotReadBack();

private:
    static QByteArray exampleImage();
    static QByteArray exampleChanges();
};

void TestZxDatasetImage::roundTrip_data()
{
    QTest::addColumn<TZxFieldDef>("def");
    QTest::addColumn<QVariant>("value");

    const auto text = [](int size) { return TZxFieldDef::Text(QStringLiteral("v"), size); };
    const TZxFieldDef int32 = TZxFieldDef::Int32(QStringLiteral("v"));
    const TZxFieldDef int64 = TZxFieldDef::Int64(QStringLiteral("v"));
    const TZxFieldDef money = TZxFieldDef::Decimal(QStringLiteral("v"), 15, 3);
    const TZxFieldDef dateTime = TZxFieldDef::DateTime(QStringLiteral("v"));
    const TZxFieldDef blob = TZxFieldDef::Blob(QStringLiteral("v"));

    QTest::newRow("text, Cyrillic") << text(100) << QVariant(QStringLiteral("Съешь же ещё этих мягких булок, ёЁ «»"));
    QTest::newRow("text, empty (not null)") << text(100) << QVariant(QString());
    QTest::newRow("text, surrogate pair at its size") << text(2) << QVariant(QStringLiteral("😀"));
    QTest::newRow("long text, 200 000 characters") << TZxFieldDef::LongText(QStringLiteral("v"))
                                                   << QVariant(QString(200000, QChar(u'ж')));
    QTest::newRow("int32 min") << int32 << QVariant(std::numeric_limits<qint32>::min());
    QTest::newRow("int32 max") << int32 << QVariant(std::numeric_limits<qint32>::max());
    QTest::newRow("int64 min") << int64 << QVariant(std::numeric_limits<qlonglong>::min());
    QTest::newRow("int64 max") << int64 << QVariant(std::numeric_limits<qlonglong>::max());
    QTest::newRow("int64 -1") << int64 << QVariant(qlonglong(-1));
    QTest::newRow("decimal 0.1") << money << QVariant(QStringLiteral("0.100"));
    QTest::newRow("decimal most negative") << money << QVariant(QStringLiteral("-999999999999.999"));
    QTest::newRow("decimal largest") << money << QVariant(QStringLiteral("999999999999.999"));
    QTest::newRow("decimal zero") << money << QVariant(QStringLiteral("0.000"));
    QTest::newRow("decimal 38 digits") << TZxFieldDef::Decimal(QStringLiteral("v"), 38, 10)
                                       << QVariant(QStringLiteral("1234567890123456789012345678.0123456789"));
    QTest::newRow("decimal scale 0") << TZxFieldDef::Decimal(QStringLiteral("v"), 10, 0) << QVariant(QStringLiteral("-42"));
    QTest::newRow("date-time with milliseconds")
        << dateTime << QVariant(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 123)));
    QTest::newRow("date-time in summer time")
        << dateTime << QVariant(QDateTime(QDate(2010, 7, 1), QTime(2, 30, 0, 1)));
    QTest::newRow("zero date-time") << dateTime << QVariant(QDateTime(QDate(1899, 12, 30), QTime(0, 0)));
    QTest::newRow("date-time, last millisecond of 9999")
        << dateTime << QVariant(QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), QTimeZone::utc()).toLocalTime());
    QTest::newRow("date-time, first day")
        << dateTime << QVariant(QDateTime(QDate(1, 1, 1), QTime(0, 0), QTimeZone::utc()).toLocalTime());
    QTest::newRow("timestamp") << TZxFieldDef::Timestamp(QStringLiteral("v"), TZxFieldFlag::RowVersion)
                               << QVariant(QDateTime(QDate(2025, 1, 17), QTime(9, 30, 15, 7)));
    QTest::newRow("boolean true") << TZxFieldDef::Boolean(QStringLiteral("v")) << QVariant(true);
    QTest::newRow("boolean false") << TZxFieldDef::Boolean(QStringLiteral("v")) << QVariant(false);
    QTest::newRow("blob, empty (not null)") << blob << QVariant(QByteArray());
    QByteArray everyByte(256, Qt::Uninitialized);
    for (int i = 0; i < 256; ++i)
        everyByte[i] = char(i);
    QTest::newRow("blob, every byte") << blob << QVariant(everyByte);
    QTest::newRow("blob, 12 MiB") << blob << QVariant(randomBytes(12 * 1024 * 1024));
}

void TestZxDatasetImage::roundTrip()
{
    QFETCH(TZxFieldDef, def);
    QFETCH(QVariant, value);
    TZxTable source;
    source.Name = QStringLiteral("t");
    source.Fields = {TZxFieldDef::Text(QStringLiteral("id"), 10, TZxFieldFlag::Key), def};
    source.Rows << QVariantList{QStringLiteral("value"), value} << QVariantList{QStringLiteral("null"), QVariant()};
    TZxDatasetContainer container;
    container.AddTable(source);
    const QByteArray image = container.ToImage();

    const TZxTable decoded = TZxDatasetContainer::FromImage(image).Table(QStringLiteral("t"));
    QCOMPARE(decoded.Fields, source.Fields);
    QCOMPARE(decoded.Rows.size(), 2);
    const QVariant back = decoded.Rows[0][1];
    QCOMPARE(back.metaType(), value.metaType());
    QCOMPARE(back, value);
    if (value.typeId() == QMetaType::QDateTime)
        QCOMPARE(back.toDateTime().toMSecsSinceEpoch(), value.toDateTime().toMSecsSinceEpoch());
    QVERIFY(!decoded.Rows[1][1].isValid());

    // Through a dataset and out again, byte for byte.
    TZxDataset dataset(QStringLiteral("t"));
    dataset.LoadFromImage(image);
    QCOMPARE(dataset.SaveToImage(), image);
}

void TestZxDatasetImage::fileListRoundTripKeepsColumnsAndRows()
{
    TZxTable source;
    source.Name = QStringLiteral("iqFiles");
    source.Fields = filesWithPreviewFields();
    const QDateTime fileTime(QDate(2023, 11, 2), QTime(8, 0, 0, 5));
    for (const QVariantList &row : filesTable().Rows)
        source.Rows << (QVariantList(row) << randomBytes(70000) << fileTime << QVariant());
    TZxDataset dataset;
    dataset.SetTableName(QStringLiteral("iqFiles"));
    dataset.LoadFromTable(source);
    dataset.FieldByName(QStringLiteral("blob_pic")).SetPicture(true);

    TZxDataset copy(QStringLiteral("iqFiles"));
    copy.LoadFromImage(dataset.SaveToImage());
    QCOMPARE(copy.FieldDefs(), source.Fields);
    QCOMPARE(copy.FieldByName(QStringLiteral("fileid")).Def().Flags, TZxFieldFlags(TZxFieldFlag::Key));
    QCOMPARE(copy.FieldByName(QStringLiteral("dateupdate")).Def().Flags,
             TZxFieldFlag::Nullable | TZxFieldFlag::RowVersion);
    const TZxTable back = copy.ToTable();
    QCOMPARE(back.Rows.size(), source.Rows.size());
    for (qsizetype r = 0; r < source.Rows.size(); ++r) {
        for (qsizetype c = 0; c < source.Fields.size(); ++c) {
            const QVariant expected = source.Fields[c].Coerce(source.Rows[r][c]);
            QCOMPARE(back.Rows[r][c].isValid(), expected.isValid());
            QCOMPARE(back.Rows[r][c], expected);
        }
    }
}

void TestZxDatasetImage::containerHoldsSeveralTables()
{
    TZxDatasetContainer container;
    container.AddTable(filesTable());
    TZxTable users;
    users.Name = QStringLiteral("iqUsers");
    users.Fields = usersFields();
    container.AddTable(users);
    TZxTable duplicate;
    duplicate.Name = QStringLiteral("IQFILES");
    duplicate.Fields = filesFields();
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, container.AddTable(duplicate));

    const TZxDatasetContainer back = TZxDatasetContainer::FromImage(container.ToImage());
    QCOMPARE(back.Tables().size(), 2);
    QCOMPARE(back.Table(QStringLiteral("IQUSERS")).Fields, usersFields());
    QCOMPARE(back.Table(QStringLiteral("iqfiles")).Rows.size(), 3);
    QCOMPARE(back.FindTable(QStringLiteral("iqRoles")), nullptr);
    try {
        back.Table(QStringLiteral("iqRoles"));
        QFAIL("a missing table was found");
    } catch (const EZxDatasetError &error) {
        QVERIFY2(error.message().contains(QStringLiteral("'iqRoles'")), qPrintable(error.message()));
        QVERIFY2(error.message().contains(QStringLiteral("iqFiles, iqUsers")), qPrintable(error.message()));
    }
}

void TestZxDatasetImage::changeStreamCarriesChangedRows()
{
    TZxDataset dataset;
    loadFiles(dataset);
    const QVariantList f2 = dataset.ToTable().Rows[1];
    TZxField &docn = dataset.FieldByName(QStringLiteral("docn"));

    dataset.First();
    dataset.Edit();
    docn.SetValue(QStringLiteral("№ 16"));
    dataset.Post();
    dataset.Append();
    dataset.FieldByName(QStringLiteral("fileid")).SetValue(QStringLiteral("n1"));
    dataset.Post();
    dataset.Append();
    dataset.FieldByName(QStringLiteral("fileid")).SetValue(QStringLiteral("n2"));
    dataset.Post();
    dataset.Delete(); // n2: inserted, then deleted
    dataset.MoveTo(1);
    dataset.Delete(); // f2, after the other changes, still travels first

    TZxChangeStreamReader changes(dataset.ChangeStream());
    QVERIFY(changes.NextTable());
    QCOMPARE(changes.TableName(), QStringLiteral("iqFiles"));
    QCOMPARE(changes.Fields(), filesFields());
    const qsizetype key = changes.FieldIndex(QStringLiteral("FILEID"));
    const qsizetype docnIndex = changes.FieldIndex(QStringLiteral("docn"));
    QCOMPARE(key, 0);
    QCOMPARE(changes.FieldIndex(QStringLiteral("nothing")), -1);

    TZxRowChange change;
    QVERIFY(changes.NextChange(change));
    QCOMPARE(change.State, TZxRowState::Deleted);
    QCOMPARE(change.Original, f2);
    QVERIFY(change.Values.isEmpty());

    QVERIFY(changes.NextChange(change));
    QCOMPARE(change.State, TZxRowState::Modified);
    QCOMPARE(change.Original[key].toString(), QStringLiteral("f1"));
    QCOMPARE(change.Original[docnIndex].toString(), QStringLiteral("№ 15/2024"));
    QCOMPARE(change.Values[docnIndex].toString(), QStringLiteral("№ 16"));

    QVERIFY(changes.NextChange(change));
    QCOMPARE(change.State, TZxRowState::Inserted);
    QVERIFY(change.Original.isEmpty());
    QCOMPARE(change.Values[key].toString(), QStringLiteral("n1"));
    QVERIFY(!change.Values[docnIndex].isValid());

    QVERIFY(!changes.NextChange(change)); // n2 is not there
    QVERIFY(!changes.NextTable());
}

void TestZxDatasetImage::changeStreamOfNoChanges()
{
    TZxDataset dataset;
    loadFiles(dataset);
    TZxChangeStreamReader changes(dataset.ChangeStream());
    QVERIFY(changes.NextTable());
    TZxRowChange change;
    QVERIFY(!changes.NextChange(change));
    QVERIFY(!changes.NextTable());
}

void TestZxDatasetImage::kindsAreNotInterchangeable()
{
    TZxDataset dataset;
    loadFiles(dataset);
    const QByteArray image = dataset.SaveToImage();
    const QByteArray stream = dataset.ChangeStream();
    QVERIFY_THROWS_EXCEPTION(EZxImageError, dataset.LoadFromImage(stream));
    QVERIFY_THROWS_EXCEPTION(EZxImageError, TZxDatasetContainer::FromImage(stream));
    QVERIFY_THROWS_EXCEPTION(EZxImageError, TZxChangeStreamReader{image});
    QCOMPARE(dataset.RecordCount(), 3);
}

QByteArray TestZxDatasetImage::exampleImage()
{
    TZxTable files;
    files.Name = QStringLiteral("iqFiles");
    files.Fields = {TZxFieldDef::Text(QStringLiteral("fileid"), 100, TZxFieldFlag::Key),
                    TZxFieldDef::LongText(QStringLiteral("filename"), 1365),
                    TZxFieldDef::Decimal(QStringLiteral("sumdoc"), 15, 3),
                    TZxFieldDef::Timestamp(QStringLiteral("dateupdate"), TZxFieldFlag::Nullable | TZxFieldFlag::RowVersion),
                    TZxFieldDef::Int32(QStringLiteral("del"))};
    files.Rows << QVariantList{QStringLiteral("f1"), QStringLiteral("Счёт"), QStringLiteral("0.100"),
                               QDateTime(QDate(2024, 3, 5), QTime(11, 7, 9, 123), QTimeZone::utc()), 0}
               << QVariantList{QStringLiteral("f2"), QVariant(), QVariant(), QVariant(), 1};
    TZxDatasetContainer container;
    container.AddTable(files);
    return container.ToImage();
}

QByteArray TestZxDatasetImage::exampleChanges()
{
    TZxDataset dataset(QStringLiteral("iqFiles"));
    dataset.LoadFromImage(exampleImage());
    dataset.MoveTo(1);
    dataset.Delete();
    dataset.First();
    dataset.Edit();
    dataset.FieldByName(QStringLiteral("sumdoc")).SetValue(QStringLiteral("12.5"));
    dataset.Post();
    dataset.Append();
    dataset.FieldByName(QStringLiteral("fileid")).SetValue(QStringLiteral("f3"));
    dataset.FieldByName(QStringLiteral("del")).SetValue(0);
    dataset.Post();
    return dataset.ChangeStream();
}

void TestZxDatasetImage::documentedExamples()
{
    // The bytes of the two worked examples of the format's documentation.
    const QByteArray image = QByteArray::fromHex(
        "a466666f726d61746c716972612d646174617365746776657273696f6e01646b696e6465696d616765667461626c6573"
        "81a3646e616d6567697146696c657367636f6c756d6e7385a4646e616d656666696c6569646474797065647465787464"
        "73697a65186465666c61677381636b6579a4646e616d656866696c656e616d656474797065686c6f6e67746578746473"
        "697a6519055565666c61677381686e756c6c61626c65a5646e616d656673756d646f63647479706567646563696d616c"
        "69707265636973696f6e0f657363616c650365666c61677381686e756c6c61626c65a3646e616d656a64617465757064"
        "61746564747970656974696d657374616d7065666c616773826a726f7776657273696f6e686e756c6c61626c65a3646e"
        "616d656364656c647479706565696e74333265666c61677381686e756c6c61626c6564726f7773828562663168d0a1d1"
        "87d191d18265302e313030c07818323032342d30332d30355431313a30373a30392e3132335a0085626632f6f6f601");
    const QByteArray changes = QByteArray::fromHex(
        "a466666f726d61746c716972612d646174617365746776657273696f6e01646b696e64676368616e676573667461626c"
        "657381a3646e616d6567697146696c657367636f6c756d6e7385a4646e616d656666696c656964647479706564746578"
        "746473697a65186465666c61677381636b6579a4646e616d656866696c656e616d656474797065686c6f6e6774657874"
        "6473697a6519055565666c61677381686e756c6c61626c65a5646e616d656673756d646f63647479706567646563696d"
        "616c69707265636973696f6e0f657363616c650365666c61677381686e756c6c61626c65a3646e616d656a6461746575"
        "706461746564747970656974696d657374616d7065666c616773826a726f7776657273696f6e686e756c6c61626c65a3"
        "646e616d656364656c647479706565696e74333265666c61677381686e756c6c61626c65676368616e67657383836764"
        "656c6574656485626632f6f6f601f683686d6f6469666965648562663168d0a1d187d191d18265302e313030c0781832"
        "3032342d30332d30355431313a30373a30392e3132335a008562663168d0a1d187d191d1826631322e353030c0781832"
        "3032342d30332d30355431313a30373a30392e3132335a008368696e736572746564f685626633f6f6f600");
    QCOMPARE(exampleImage().toHex(), image.toHex());
    QCOMPARE(exampleChanges().toHex(), changes.toHex());
}

void TestZxDatasetImage::malformed_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<TZxImageLimits>("limits");
    QTest::addColumn<QString>("reason"); // a piece of the message

    const TZxImageLimits defaults;
    const QCborMap id = textColumn(QStringLiteral("id"), 10);
    const QCborMap int32 = column(QStringLiteral("n"), QStringLiteral("int32"));
    const QCborMap int64 = column(QStringLiteral("n"), QStringLiteral("int64"));
    QCborMap money = column(QStringLiteral("m"), QStringLiteral("decimal"));
    money.insert(QStringLiteral("precision"), 15);
    money.insert(QStringLiteral("scale"), 3);
    const QCborMap when = column(QStringLiteral("w"), QStringLiteral("datetime"));
    const QCborMap flag = column(QStringLiteral("b"), QStringLiteral("boolean"));
    const QByteArray valid = exampleImage();

    QTest::newRow("empty") << QByteArray() << defaults << "пуст";
    QTest::newRow("not CBOR at all") << QByteArray("PK\x03\x04 zip?") << defaults << "повреждён";
    QTest::newRow("not a map") << QCborValue(42).toCbor() << defaults << "ожидался словарь";
    QCborMap foreign;
    foreign.insert(QStringLiteral("format"), QStringLiteral("other"));
    QTest::newRow("another format") << foreign.toCborValue().toCbor() << defaults << "не образ набора данных";
    QCborMap future = document(QStringLiteral("image"), {});
    future.insert(QStringLiteral("version"), 2);
    QTest::newRow("a later version") << future.toCborValue().toCbor() << defaults << "Версия 2";
    QTest::newRow("unknown kind") << document(QStringLiteral("backup"), {}).toCborValue().toCbor() << defaults
                                  << "неизвестный вид";
    QCborMap noTables = document(QStringLiteral("image"), {});
    noTables.remove(QStringLiteral("tables"));
    QTest::newRow("no tables") << noTables.toCborValue().toCbor() << defaults << "нет ключа 'tables'";
    QCborMap extraKey = document(QStringLiteral("image"), {});
    extraKey.insert(QStringLiteral("comment"), 1);
    QTest::newRow("extra key in the document") << extraKey.toCborValue().toCbor() << defaults << "лишний ключ в документе";
    QTest::newRow("trailing bytes") << valid + QByteArray(1, '\0') << defaults << "лишние байты";

    QCborMap columnsFirst;
    columnsFirst.insert(QStringLiteral("columns"), QCborArray{id});
    columnsFirst.insert(QStringLiteral("name"), QStringLiteral("t"));
    QTest::newRow("table keys out of order") << document(QStringLiteral("image"), {columnsFirst}).toCborValue().toCbor()
                                             << defaults << "ожидался ключ 'name'";
    QTest::newRow("no columns") << withColumns({}) << defaults << "нет столбцов";
    QTest::newRow("duplicate column") << withColumns({id, textColumn(QStringLiteral("ID"), 5)}) << defaults
                                      << "'ID' повторяется";
    QTest::newRow("unknown type") << withColumns({column(QStringLiteral("m"), QStringLiteral("money"))}) << defaults
                                  << "'money'";
    QCborMap sizedInt = int32;
    sizedInt.insert(QStringLiteral("size"), 4);
    QTest::newRow("size on an integer") << withColumns({sizedInt}) << defaults << "не соответствуют типу";
    QTest::newRow("text without size") << withColumns({column(QStringLiteral("t"), QStringLiteral("text"))})
                                       << defaults << "не соответствуют типу";
    QCborMap badScale = money;
    badScale.insert(QStringLiteral("scale"), 16);
    QTest::newRow("scale above precision") << withColumns({badScale}) << defaults << "масштаб 16";
    QCborMap unknownFlag = id;
    unknownFlag.insert(QStringLiteral("flags"), QCborArray{QStringLiteral("primary")});
    QTest::newRow("unknown flag") << withColumns({unknownFlag}) << defaults << "'primary'";
    QCborMap unknownKey = id;
    unknownKey.insert(QStringLiteral("default"), 0);
    QTest::newRow("unknown column key") << withColumns({unknownKey}) << defaults << "'default'";

    QTest::newRow("row too short") << withColumns({id, int32}, {QCborArray{QStringLiteral("a")}}) << defaults
                                   << "1 значений вместо 2";
    QTest::newRow("row too long") << withColumns({id}, {QCborArray{QStringLiteral("a"), QStringLiteral("b")}})
                                  << defaults << "значений больше";
    QTest::newRow("row not an array") << withColumns({id}, {QStringLiteral("a")}) << defaults << "ожидался массив";
    QTest::newRow("text where an integer goes") << oneValue(int32, QStringLiteral("5")) << defaults
                                                << "столбец 'n': ожидалось: целое число";
    QTest::newRow("text longer than its size") << oneValue(id, QStringLiteral("12345678901")) << defaults
                                               << "длиннее допустимых 10";
    QTest::newRow("int32 overflow") << oneValue(int32, qint64(1) << 31) << defaults << "32 бита";
    QTest::newRow("2^63") << patched(oneValue(int64, 0x55), QByteArray::fromHex("1855"),
                                     QByteArray::fromHex("1b8000000000000000"))
                          << defaults << "64 бита";
    QTest::newRow("-2^64") << patched(oneValue(int64, 0x55), QByteArray::fromHex("1855"),
                                      QByteArray::fromHex("3bffffffffffffffff"))
                           << defaults << "отрицательное число";
    QTest::newRow("decimal with extra digits") << oneValue(money, QStringLiteral("1.0001")) << defaults
                                               << "знаков после точки";
    QTest::newRow("decimal with exponent") << oneValue(money, QStringLiteral("1e3")) << defaults << "лишние символы";
    QTest::newRow("decimal as a double") << oneValue(money, 0.1) << defaults << "число с плавающей точкой";
    QTest::newRow("date-time untagged") << oneValue(when, QStringLiteral("2024-03-05T00:00:00Z")) << defaults
                                        << "дата и время (тег 0)";
    // QCborValue rewrites tagged date-times into its own form, so these are raw bytes.
    const QByteArray whenMarker = oneValue(when, QStringLiteral("MARKER"));
    QTest::newRow("date-time as epoch")
        << patched(whenMarker, QByteArray("\x66MARKER"), QByteArray::fromHex("c11a65e65800")) << defaults << "тег 1";
    QTest::newRow("30 February") << oneValue(when, QCborValue(QCborKnownTags::DateTimeString,
                                                              QStringLiteral("2024-02-30T00:00:00Z")))
                                 << defaults << "RFC 3339";
    QTest::newRow("microseconds")
        << patched(whenMarker, QByteArray("\x66MARKER"), QByteArray("\xc0\x78\x1b" "2024-02-03T00:00:00.123456Z"))
        << defaults << "RFC 3339";
    QTest::newRow("undefined for a boolean") << oneValue(flag, QCborValue(QCborValue::Undefined)) << defaults
                                             << "undefined";
    QTest::newRow("integer for a boolean") << oneValue(flag, 1) << defaults << "логическое значение";

    const QByteArray marker = oneValue(id, QStringLiteral("MARKER"));
    QTest::newRow("string longer than the data")
        << patched(marker, QByteArray("\x66MARKER"), QByteArray::fromHex("7b00ffffffffffffff") + "MARKER")
        << defaults << "а данных меньше";
    QTest::newRow("chunked string")
        << patched(marker, QByteArray("\x66MARKER"), QByteArray("\x7f\x63MAR\x63KER\xff"))
        << defaults << "неопределённой длины";
    QTest::newRow("invalid UTF-8") << patched(marker, QByteArray("\x66MARKER"), QByteArray("\x66MARK\xc3\x28"))
                                   << defaults << "UTF-8";
    QTest::newRow("array longer than the data")
        << patched(withColumns({id}, {QCborArray{QStringLiteral("MARKER")}}), QByteArray("\x64rows\x81"),
                   QByteArray::fromHex("64726f77739b00ffffffffffffff"))
        << defaults << "элементов, а данных меньше";

    QTest::newRow("rows in a change stream")
        << document(QStringLiteral("changes"), {table(QStringLiteral("t"), {id}, QStringLiteral("rows"), {})})
               .toCborValue()
               .toCbor()
        << defaults << "ожидался ключ 'changes'";
    QTest::newRow("unknown state") << oneChange({QStringLiteral("merged"), QCborValue(nullptr), QCborArray{QStringLiteral("a")}})
                                   << defaults << "'merged'";
    QTest::newRow("inserted row with originals")
        << oneChange({QStringLiteral("inserted"), QCborArray{QStringLiteral("a")}, QCborArray{QStringLiteral("a")}}) << defaults << "должна быть null";
    QTest::newRow("deleted row without originals")
        << oneChange({QStringLiteral("deleted"), QCborValue(nullptr), QCborValue(nullptr)}) << defaults
        << "ожидался массив";
    QTest::newRow("change of four parts")
        << oneChange({QStringLiteral("modified"), QCborArray{QStringLiteral("a")}, QCborArray{QStringLiteral("b")}, 1}) << defaults
        << "больше трёх элементов";

    TZxImageLimits small;
    small.MaxBytes = 64;
    QTest::newRow("document too large") << valid << small << "слишком велик";
    small = {};
    small.MaxColumns = 4;
    QTest::newRow("too many columns") << valid << small << "столбцов больше допустимых 4";
    small = {};
    small.MaxValues = 9;
    QTest::newRow("too many values") << valid << small << "значений больше допустимых 9";
    small = {};
    small.MaxNameLength = 5;
    QTest::newRow("name too long") << valid << small << "длиннее";
    small = {};
    small.MaxTables = 1;
    TZxDatasetContainer two;
    two.AddTable(filesTable());
    TZxTable other = filesTable();
    other.Name = QStringLiteral("iqFileList");
    two.AddTable(other);
    QTest::newRow("too many tables") << two.ToImage() << small << "таблиц больше допустимых 1";
}

void TestZxDatasetImage::malformed()
{
    QFETCH(QByteArray, bytes);
    QFETCH(TZxImageLimits, limits);
    QFETCH(QString, reason);
    try {
        decodeAll(bytes, limits);
        QFAIL("malformed input was accepted");
    } catch (const EZxImageError &error) {
        QVERIFY2(error.message().contains(reason), qPrintable(error.message()));
    }
}

void TestZxDatasetImage::everyTruncationIsRefused()
{
    TZxDatasetContainer container;
    container.AddTable(everyType());
    const QByteArray image = container.ToImage();
    decodeAll(image);
    for (qsizetype length = 0; length < image.size(); ++length) {
        try {
            decodeAll(image.left(length));
            QFAIL(qPrintable(QStringLiteral("a document cut to %1 bytes was accepted").arg(length)));
        } catch (const EZxImageError &) {
        }
    }
}

void TestZxDatasetImage::corruptionNeverCrashes()
{
    TZxDatasetContainer container;
    container.AddTable(everyType());
    const QByteArray image = container.ToImage();
    int refused = 0;
    for (qsizetype at = 0; at < image.size(); ++at) {
        for (const char flip : {'\x01', '\x20', '\x80', '\xff'}) {
            QByteArray corrupt = image;
            corrupt[at] = char(corrupt[at] ^ flip);
            try {
                decodeAll(corrupt);
            } catch (const EZxImageError &) {
                ++refused;
            }
        }
    }
    QVERIFY(refused > 0);
}

void TestZxDatasetImage::writerRefusesWhatWouldNotReadBack()
{
    TZxImageWriter writer(TZxImageKind::Image, 1);
    writer.BeginTable(QStringLiteral("iqUsers"), usersFields(), 1);
    QVariantList row(usersFields().size());
    row[0] = QStringLiteral("u1");
    row[4] = QString(33, u'a'); // password: 32 characters at most
    try {
        writer.WriteRow(row);
        QFAIL("an oversized text was written");
    } catch (const EConvertError &error) {
        QVERIFY2(error.message().contains(QStringLiteral("'iqUsers', строка 1")), qPrintable(error.message()));
        QVERIFY2(error.message().contains(QStringLiteral("'password'")), qPrintable(error.message()));
    }
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, writer.WriteRow(row.mid(1)));
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, writer.WriteChange({TZxRowState::Inserted, {}, row}));
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, writer.EndTable()); // one row announced, none written
    row[4] = QStringLiteral("d41d8cd98f00b204e9800998ecf8427e");
    writer.WriteRow(row);
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, writer.WriteRow(row));
    writer.EndTable();
    const QByteArray image = writer.Finish();
    QCOMPARE(TZxDatasetContainer::FromImage(image).Table(QStringLiteral("iqUsers")).Rows.size(), 1);

    TZxImageWriter changes(TZxImageKind::Changes);
    changes.BeginTable(QStringLiteral("iqUsers"), usersFields());
    QVERIFY_THROWS_EXCEPTION(EZxDatasetError, changes.WriteChange({TZxRowState::Unchanged, row, row}));
    QVariantList bad = row;
    bad[3] = QStringLiteral("yes");
    QVERIFY_THROWS_EXCEPTION(EConvertError, changes.WriteChange({TZxRowState::Modified, row, bad}));
    changes.WriteChange({TZxRowState::Deleted, row, {}});
    changes.EndTable();
    TZxChangeStreamReader reader(changes.Finish());
    QVERIFY(reader.NextTable());
    TZxRowChange change;
    QVERIFY(reader.NextChange(change));
    QCOMPARE(change.State, TZxRowState::Deleted);
    QVERIFY(!reader.NextChange(change)); // the refused change left nothing behind
}

int main(int argc, char **argv)
{
    // Offsets with seconds (1899) and summer time (2010) are where date-time encodings go
    // wrong, so the test runs in a zone that has both.
    qputenv("TZ", "Europe/Moscow");
    QCoreApplication app(argc, argv);
    TestZxDatasetImage test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_zxdatasetimage.moc"
