#include "qirapreviewmaker.h"

#include "qiraerrors.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QStringDecoder>

#include <poppler-qt6.h>

#include <memory>
#include <mutex>

namespace {

// Enough of a text file for a page a few hundred pixels high.
constexpr qint64 TextHead = 16384;
const QSize PageSize(181, TQiraPreviewMaker::MaxSide); // the proportions of A4

bool canDrawText() { return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr; }

QImage fitted(const QImage &image)
{
    if (image.isNull())
        return image;
    if (image.width() <= TQiraPreviewMaker::MaxSide && image.height() <= TQiraPreviewMaker::MaxSide)
        return image;
    return image.scaled(TQiraPreviewMaker::MaxSide, TQiraPreviewMaker::MaxSide, Qt::KeepAspectRatio,
                        Qt::SmoothTransformation);
}

QImage blankPage()
{
    QImage page(PageSize, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    painter.setPen(QColor(0xb0, 0xb0, 0xb0));
    painter.drawRect(page.rect().adjusted(0, 0, -1, -1));
    return page;
}

bool isTextExtension(const QString &extension)
{
    static const QStringList known{
        QStringLiteral("txt"),  QStringLiteral("text"), QStringLiteral("csv"),  QStringLiteral("tsv"),
        QStringLiteral("log"),  QStringLiteral("ini"),  QStringLiteral("cfg"),  QStringLiteral("conf"),
        QStringLiteral("xml"),  QStringLiteral("json"), QStringLiteral("md"),   QStringLiteral("html"),
        QStringLiteral("htm"),  QStringLiteral("sql"),  QStringLiteral("pas"),  QStringLiteral("dfm"),
        QStringLiteral("c"),    QStringLiteral("cpp"),  QStringLiteral("h"),    QStringLiteral("py"),
        QStringLiteral("sh"),   QStringLiteral("bat"),  QStringLiteral("cmd"),  QStringLiteral("yaml"),
        QStringLiteral("yml"),  QStringLiteral("rtf")};
    return known.contains(extension.toLower());
}

// The text of a file's first bytes, or a null string when they are not text: no NUL,
// few control characters, and UTF-8 unless the extension says text (then the Windows
// Cyrillic code page, where available).
QString decodeText(const QByteArray &head, const QString &extension)
{
    if (head.isEmpty() || head.contains('\0'))
        return {};
    qsizetype controls = 0;
    for (char c : head) {
        const uchar u = uchar(c);
        if (u < 32 && u != '\t' && u != '\n' && u != '\r' && u != '\f')
            ++controls;
    }
    if (controls * 100 > head.size())
        return {};
    // Stateful, so that a character cut by the end of the head is not an error.
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(head);
    if (!utf8.hasError())
        return text.startsWith(QChar(0xfeff)) ? text.mid(1) : text;
    if (!isTextExtension(extension))
        return {};
    QStringDecoder cyrillic("windows-1251");
    if (cyrillic.isValid()) {
        text = cyrillic.decode(head);
        if (!cyrillic.hasError())
            return text;
    }
    return QString::fromLatin1(head);
}

} // namespace

QImage TQiraPreviewMaker::picture(const QString &path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        return {};
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > MaxSide || size.height() > MaxSide))
        reader.setScaledSize(size.scaled(MaxSide, MaxSide, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    return fitted(reader.read());
}

QImage TQiraPreviewMaker::pdfPage(const QString &path)
{
    // A damaged PDF gets the neutral picture; the library's complaints would only
    // clutter the server's log.
    static std::once_flag quiet;
    std::call_once(quiet, [] { Poppler::setDebugErrorFunction([](const QString &, const QVariant &) {}, QVariant()); });
    const std::unique_ptr<Poppler::Document> document = Poppler::Document::load(path);
    if (!document || document->isLocked() || document->numPages() < 1)
        return {};
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);
    const std::unique_ptr<Poppler::Page> page = document->page(0);
    if (!page)
        return {};
    const QSizeF points = page->pageSizeF();
    const double longSide = qMax(points.width(), points.height());
    if (!(longSide > 0))
        return {};
    // Points are 1/72 inch: this resolution makes the long side MaxSide pixels.
    const double dpi = MaxSide * 72.0 / longSide;
    return fitted(page->renderToImage(dpi, dpi));
}

QImage TQiraPreviewMaker::text(const QByteArray &head, const QString &extension)
{
    const QString content = decodeText(head, extension);
    if (content.isNull() || content.trimmed().isEmpty())
        return {};
    QImage page = blankPage();
    QPainter painter(&page);
    const QRect area = page.rect().adjusted(8, 8, -8, -8);
    QStringList lines = content.split(u'\n');
    if (!canDrawText()) {
        // Without fonts the shape of the text still shows: one bar per line.
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x60, 0x60, 0x60));
        int y = area.top();
        for (const QString &line : lines) {
            if (y + 4 > area.bottom())
                break;
            const int width = qMin(area.width(), int(line.trimmed().size()) * 3);
            if (width > 0)
                painter.drawRect(area.left(), y, width, 3);
            y += 7;
        }
        return page;
    }
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(9);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.setClipRect(area);
    const QFontMetrics metrics(font);
    int y = area.top() + metrics.ascent();
    for (QString line : lines) {
        if (y - metrics.ascent() > area.bottom())
            break;
        line.replace(u'\t', QStringLiteral("    "));
        line.remove(u'\r');
        painter.drawText(area.left(), y, line);
        y += metrics.lineSpacing();
    }
    return page;
}

QImage TQiraPreviewMaker::neutral(const QString &extension)
{
    QImage page(PageSize, QImage::Format_ARGB32_Premultiplied);
    page.fill(Qt::transparent);
    QPainter painter(&page);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF sheet = QRectF(page.rect()).adjusted(16.5, 20.5, -16.5, -20.5);
    const qreal fold = 36;
    QPolygonF outline;
    outline << sheet.topLeft() << QPointF(sheet.right() - fold, sheet.top())
            << QPointF(sheet.right(), sheet.top() + fold) << sheet.bottomRight() << sheet.bottomLeft();
    painter.setPen(QPen(QColor(0x80, 0x80, 0x80), 1.5));
    painter.setBrush(QColor(0xf4, 0xf4, 0xf4));
    painter.drawPolygon(outline);
    QPolygonF corner;
    corner << QPointF(sheet.right() - fold, sheet.top()) << QPointF(sheet.right() - fold, sheet.top() + fold)
           << QPointF(sheet.right(), sheet.top() + fold);
    painter.setBrush(QColor(0xd8, 0xd8, 0xd8));
    painter.drawPolygon(corner);
    const QRectF band(sheet.left(), sheet.center().y() - 22, sheet.width(), 44);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x5a, 0x6e, 0x8c));
    painter.drawRect(band);
    if (canDrawText()) {
        QString label = extension.trimmed().toUpper();
        if (label.isEmpty())
            label = QStringLiteral("?");
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setBold(true);
        font.setPixelSize(label.size() <= 4 ? 26 : 16);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(band, Qt::AlignCenter,
                         QFontMetrics(font).elidedText(label, Qt::ElideRight, int(band.width()) - 8));
    }
    return page;
}

QByteArray TQiraPreviewMaker::png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        throw EQiraStoreError(QStringLiteral("Не удается записать миниатюру в формате PNG"));
    return bytes;
}

QByteArray TQiraPreviewMaker::make(const QString &path, const QString &extension)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EQiraStoreError(QStringLiteral("Не удается прочитать содержимое файла для миниатюры: %1")
                                  .arg(file.errorString()));
    const QByteArray head = file.read(TextHead);
    file.close();
    // A PDF may have some bytes before its header.
    const bool isPdf = head.left(1024).contains("%PDF-");
    QImage image = isPdf ? pdfPage(path) : picture(path);
    if (image.isNull() && !isPdf)
        image = text(head, extension);
    if (image.isNull())
        image = neutral(extension);
    return png(image);
}
