#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Makes the small picture the file list shows beside a document: a PNG of at most
// MaxSide pixels on its long side. Pictures are scaled down, the first page of a PDF is
// rendered, a plain text is drawn as the top of a page, and anything else (a damaged
// picture or PDF included) becomes a neutral sheet showing the extension. Uses QImage
// only, so it runs on any thread; text is drawn only when a QGuiApplication exists
// (fonts need one), otherwise its lines are sketched.
class TQiraPreviewMaker
{
public:
    static constexpr int MaxSide = 256;

    // The preview of the content stored at path, for a file with that extension.
    // Throws EQiraStoreError when the content cannot be read.
    static QByteArray make(const QString &path, const QString &extension);

    static QImage picture(const QString &path);
    static QImage pdfPage(const QString &path);
    // Null when the bytes do not read as text.
    static QImage text(const QByteArray &head, const QString &extension);
    static QImage neutral(const QString &extension);

    static QByteArray png(const QImage &image);
};
