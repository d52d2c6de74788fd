// Figures for dataset images and change streams at file-list sizes: writing and
// reading an image, making a change stream and reading it back. Prints, asserts nothing.
//
//   bench_dataset_image [rows] [preview-bytes]

#include "zxchangestreamreader.h"
#include "zxdataset.h"
#include "zxfielddef.h"
#include "zxtable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

namespace {

QList<TZxFieldDef> fileListFields(bool preview)
{
    using F = TZxFieldFlag;
    QList<TZxFieldDef> fields = {
        TZxFieldDef::Text(QStringLiteral("fileid"), 100, F::Key),
        TZxFieldDef::Text(QStringLiteral("treeid"), 100),
        TZxFieldDef::Int32(QStringLiteral("ordnum"), F::Nullable | F::ReadOnly | F::AutoIncrement),
        TZxFieldDef::Text(QStringLiteral("typefileid"), 100),
        TZxFieldDef::LongText(QStringLiteral("filename"), 1365),
        TZxFieldDef::Text(QStringLiteral("fileext"), 100),
        TZxFieldDef::Text(QStringLiteral("md5_file"), 100),
        TZxFieldDef::Text(QStringLiteral("statid"), 100),
        TZxFieldDef::Text(QStringLiteral("docn"), 100),
        TZxFieldDef::DateTime(QStringLiteral("docdate")),
        TZxFieldDef::Text(QStringLiteral("typedocid"), 100),
        TZxFieldDef::Text(QStringLiteral("kodf"), 100),
        TZxFieldDef::Decimal(QStringLiteral("sumdoc"), 15, 3),
        TZxFieldDef::Text(QStringLiteral("comment_file"), 333),
        TZxFieldDef::Text(QStringLiteral("usercreate"), 200),
        TZxFieldDef::DateTime(QStringLiteral("datecreate")),
        TZxFieldDef::Text(QStringLiteral("userupdate"), 200),
        TZxFieldDef::Timestamp(QStringLiteral("dateupdate"), F::Nullable | F::RowVersion),
        TZxFieldDef::Decimal(QStringLiteral("size_file"), 15, 3),
        TZxFieldDef::Text(QStringLiteral("site_history"), 100),
        TZxFieldDef::Text(QStringLiteral("working_user"), 200),
        TZxFieldDef::Timestamp(QStringLiteral("date_working"), F::Nullable | F::RowVersion),
        TZxFieldDef::Int32(QStringLiteral("del")),
        TZxFieldDef::Int64(QStringLiteral("count_history")),
    };
    if (preview)
        fields << TZxFieldDef::Blob(QStringLiteral("blob_pic"));
    return fields;
}

TZxTable fileList(int rows, int previewBytes)
{
    TZxTable table;
    table.Name = QStringLiteral("iqFiles");
    table.Fields = fileListFields(previewBytes > 0);
    const QDateTime base(QDate(2024, 1, 1), QTime(8, 0));
    const QByteArray picture(previewBytes, 'p');
    for (int i = 0; i < rows; ++i) {
        QVariantList row = {QStringLiteral("%1").arg(i, 32, 16, QLatin1Char('0')),
                            QStringLiteral("a0000000000000000000000000000001"),
                            i,
                            QStringLiteral("doc"),
                            QStringLiteral("Договор поставки № %1").arg(i),
                            QStringLiteral("docx"),
                            QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"),
                            QStringLiteral("1"),
                            QStringLiteral("%1/2024").arg(i),
                            base.addDays(i % 365),
                            QStringLiteral("contract"),
                            QStringLiteral("K-1"),
                            QStringLiteral("%1.250").arg(i),
                            QVariant(),
                            QStringLiteral("иванов"),
                            base.addSecs(i),
                            QStringLiteral("петров"),
                            base.addMSecs(qint64(i) * 1001),
                            QStringLiteral("%1.500").arg(i % 10000),
                            QVariant(),
                            QString(),
                            QVariant(),
                            0,
                            qlonglong(i % 7)};
        if (previewBytes > 0)
            row << picture;
        table.Rows << row;
    }
    return table;
}

double msSince(QElapsedTimer &timer)
{
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int rows = args.size() > 1 ? args[1].toInt() : 50000;
    const int previewBytes = args.size() > 2 ? args[2].toInt() : 0;
    QTextStream out(stdout);

    TZxDataset dataset(QStringLiteral("iqFiles"));
    dataset.LoadFromTable(fileList(rows, previewBytes));

    QElapsedTimer timer;
    timer.start();
    const QByteArray image = dataset.SaveToImage();
    const double writeMs = msSince(timer);
    TZxDataset loaded(QStringLiteral("iqFiles"));
    loaded.LoadFromImage(image);
    const double readMs = msSince(timer);

    const int changes = qMin(1000, rows);
    TZxField &docn = loaded.FieldByName(QStringLiteral("docn"));
    for (int i = 0; i < changes; ++i) {
        loaded.MoveTo(i * (rows / changes));
        loaded.Edit();
        docn.SetValue(QStringLiteral("изменён %1").arg(i));
        loaded.Post();
    }
    const double editMs = msSince(timer);
    const QByteArray stream = loaded.ChangeStream();
    const double streamMs = msSince(timer);
    TZxChangeStreamReader reader(stream);
    int applied = 0;
    while (reader.NextTable()) {
        TZxRowChange change;
        while (reader.NextChange(change))
            ++applied;
    }
    const double applyMs = msSince(timer);

    out << "rows " << rows << ", preview bytes per row " << previewBytes << "\n";
    out << "image: " << image.size() << " bytes, " << double(image.size()) / rows << " per row\n";
    out << "write image    " << writeMs << " ms (" << rows / writeMs * 1000 << " rows/s)\n";
    out << "load image     " << readMs << " ms (" << rows / readMs * 1000 << " rows/s)\n";
    out << "edit+post x" << changes << " " << editMs << " ms\n";
    out << "change stream  " << stream.size() << " bytes, " << streamMs << " ms\n";
    out << "read stream    " << applied << " changes, " << applyMs << " ms\n";
    return 0;
}
