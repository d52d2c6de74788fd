// CreatePreview over the wire: what the file list then carries in blob_pic for each kind
// of document. The server renders on its worker threads, as in production.
#include "methodsfixture.h"
#include "qirademofiller.h"
#include "qirapreviewmaker.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QStringEncoder>

using Call = MethodsFixture::Call;

namespace {

const QColor Band(0x5a, 0x6e, 0x8c); // the neutral sheet's band

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QByteArray halves(int width, int height, const char *format)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::red);
    QPainter(&image).fillRect(width / 2, 0, width - width / 2, height, Qt::blue);
    return encoded(image, format);
}

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, '\0');
    for (char &c : bytes)
        c = char(QRandomGenerator::global()->bounded(256));
    bytes[0] = '\0';
    return bytes;
}

bool near(QRgb pixel, const QColor &color)
{
    return qAbs(qRed(pixel) - color.red()) < 40 && qAbs(qGreen(pixel) - color.green()) < 40
           && qAbs(qBlue(pixel) - color.blue()) < 40;
}

// Pixels darker than the threshold: drawn text, antialiased text is lighter.
int darkPixels(const QImage &image, const QRect &area, int threshold = 128)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < threshold)
                ++count;
    return count;
}

bool isNeutral(const QImage &image) { return near(image.pixel(20, image.height() / 2), Band); }

} // namespace

class TestPreviews : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { m_fx.reset(); }
    void previewOfEachKind_data();
    void previewOfEachKind();
    void neutralShowsTheExtension();
    void fileWithoutVersionIsRefused();

private:
    QImage preview(const QString &name, const QString &ext, const QByteArray &bytes);

    std::unique_ptr<MethodsFixture> m_fx;
    std::unique_ptr<TZxConnection> m_c;
    QString m_branch;
};

void TestPreviews::initTestCase()
{
    m_fx = std::make_unique<MethodsFixture>();
    m_branch = m_fx->branch(QStringLiteral("Превью"));
    m_c = m_fx->connect(QStringLiteral("admin"));
}

// Stores the bytes as a new file's version, asks for its preview and reads it back
// from the list, checking that it is a PNG.
QImage TestPreviews::preview(const QString &name, const QString &ext, const QByteArray &bytes)
{
    const QString file = m_fx->file(m_branch, name, {{QStringLiteral("fileext"), ext}});
    MethodsFixture::upload(*m_c, file, bytes);
    Call(*m_c, QStringLiteral("CreatePreview")).text(QStringLiteral("FileID"), file).run();
    TQiraFilter filter;
    filter.FileID = file;
    filter.IsPreview = true;
    auto row = MethodsFixture::load(MethodsFixture::getFiles(*m_c, filter), QStringLiteral("iqFiles"));
    const QByteArray png = row->FieldByName(QStringLiteral("blob_pic")).AsBytes();
    if (!png.startsWith("\x89PNG\r\n\x1a\n"))
        return {};
    return QImage::fromData(png, "PNG").convertToFormat(QImage::Format_ARGB32);
}

void TestPreviews::previewOfEachKind_data()
{
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("kind");
    QTest::newRow("wide PNG") << "png" << halves(800, 400, "PNG") << QSize(256, 128) << "halves";
    QTest::newRow("tall JPEG") << "jpg" << halves(100, 1000, "JPEG") << QSize(25, 256) << "halves";
    // The kind comes from the bytes, not the name.
    QTest::newRow("picture named otherwise") << "dat" << halves(300, 300, "PNG") << QSize(256, 256) << "halves";
    QTest::newRow("small BMP stays small") << "bmp" << TQiraDemoFiller::bmp(40, 30, 1) << QSize(40, 30) << "picture";
    QTest::newRow("PDF first page")
        << "pdf" << TQiraDemoFiller::pdf(QStringLiteral("Акт сверки"), {QStringLiteral("Строка первая"), QStringLiteral("Итого")})
        << QSize() << "pdf";
    QTest::newRow("text") << "txt" << QByteArray("Договор поставки № 17\n\tСтороны: ООО \"Ромашка\"\r\nСумма: 1000 руб.\n")
                          << QSize(181, 256) << "text";
    QStringEncoder cp1251("windows-1251");
    QTest::newRow("text in the Windows code page")
        << "txt" << (cp1251.isValid() ? QByteArray(cp1251.encode(QStringLiteral("Счёт на оплату\nИтого к оплате"))) : QByteArray("Invoice\nTotal"))
        << QSize(181, 256) << "text";
    QTest::newRow("unknown kind") << "xyz" << randomBytes(5000) << QSize(181, 256) << "neutral";
    QTest::newRow("damaged PNG") << "png" << QByteArrayLiteral("\x89PNG\r\n\x1a\n\0\0\0\rIHDRbroken") << QSize(181, 256) << "neutral";
    QTest::newRow("damaged PDF") << "pdf" << QByteArray("%PDF-1.4\n1 0 obj broken\n") << QSize(181, 256) << "neutral";
    QTest::newRow("empty file") << "doc" << QByteArray() << QSize(181, 256) << "neutral";
}

void TestPreviews::previewOfEachKind()
{
    QFETCH(QString, ext);
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, size);
    QFETCH(QString, kind);
    const QImage image = preview(QStringLiteral("документ"), ext, bytes);
    QVERIFY(!image.isNull());
    QVERIFY(qMax(image.width(), image.height()) <= TQiraPreviewMaker::MaxSide);
    if (size.isValid())
        QCOMPARE(image.size(), size);
    if (kind == QStringLiteral("halves")) {
        QVERIFY(near(image.pixel(2, image.height() / 2), Qt::red));
        QVERIFY(near(image.pixel(image.width() - 3, image.height() / 2), Qt::blue));
    } else if (kind == QStringLiteral("pdf")) {
        QCOMPARE(image.height(), TQiraPreviewMaker::MaxSide); // a portrait page
        QVERIFY(near(image.pixel(image.width() / 2, image.height() - 5), Qt::white));
        QVERIFY(darkPixels(image, image.rect(), 224) > 20); // its text was drawn
    } else if (kind == QStringLiteral("text")) {
        QVERIFY(!isNeutral(image));
        QVERIFY(darkPixels(image, QRect(0, 0, image.width(), 40)) > 30);
        QCOMPARE(darkPixels(image, QRect(10, 120, image.width() - 20, 120)), 0);
    } else if (kind == QStringLiteral("neutral")) {
        QVERIFY(isNeutral(image));
    } else {
        QVERIFY(!isNeutral(image));
    }
}

void TestPreviews::neutralShowsTheExtension()
{
    const QImage docx = preview(QStringLiteral("a"), QStringLiteral("docx"), randomBytes(100));
    const QImage zip = preview(QStringLiteral("b"), QStringLiteral("zip"), randomBytes(100));
    QVERIFY(isNeutral(docx) && isNeutral(zip));
    QVERIFY(docx != zip);
}

void TestPreviews::fileWithoutVersionIsRefused()
{
    const QString file = m_fx->file(m_branch, QStringLiteral("пустой"));
    QCOMPARE(MethodsFixture::failure([&] { Call(*m_c, QStringLiteral("CreatePreview")).text(QStringLiteral("FileID"), file).run(); }),
             QStringLiteral("EQiraRequestError"));
    QCOMPARE(MethodsFixture::failure([&] { Call(*m_c, QStringLiteral("CreatePreview")).text(QStringLiteral("FileID"), NewID()).run(); }),
             QStringLiteral("EQiraRequestError"));
}

QTEST_MAIN(TestPreviews)
#include "tst_previews.moc"
