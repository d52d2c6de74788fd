#pragma once

#include <QString>
#include <QtGlobal>

// What a CBOR dataset document holds: whole tables (an image, loaded by datasets) or the
// changed rows of tables (a change stream, applied by the server).
enum class TZxImageKind { Image, Changes };

// Bounds a decoder enforces on untrusted bytes. Besides these, no declared length may
// exceed the bytes that remain, so a decoder never allocates much more than its input.
struct TZxImageLimits
{
    qint64 MaxBytes = qint64(1) << 30;   // the whole document
    int MaxTables = 64;
    int MaxColumns = 1024;               // per table
    qint64 MaxValues = 32 * 1024 * 1024; // cells of all tables; a change counts both its rows
    int MaxNameLength = 256;             // table and column names
};

namespace ZxImageFormat {
inline const QString FormatName = QStringLiteral("qira-dataset");
inline constexpr int Version = 1;
inline const QString KindImage = QStringLiteral("image");
inline const QString KindChanges = QStringLiteral("changes");
} // namespace ZxImageFormat
