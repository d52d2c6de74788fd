#pragma once

#include "qirainfo.h"

#include <QCryptographicHash>
#include <QFile>
#include <QMap>
#include <QString>

#include <map>
#include <memory>
#include <optional>

// The upload state of one connection: for each file being uploaded, a temporary file
// that the chunks are appended to (never the whole content in memory) and running
// digests; and the open change brackets. Whatever is left when the connection ends is
// removed with it.
class TQiraUpload
{
public:
    struct Finished
    {
        QString tempPath; // the caller now owns the file
        qint64 size = 0;
        QString md5;
        QString sha256;
    };

    explicit TQiraUpload(QString tempDir);
    ~TQiraUpload();
    TQiraUpload(const TQiraUpload &) = delete;
    TQiraUpload &operator=(const TQiraUpload &) = delete;

    // One chunk: "Start" begins the content anew, "Process" and "End" append. Returns
    // the bytes held for the file. Throws EQiraRequestError for a chunk out of order
    // (before Start or after End), beyond the declared size, or a short content at
    // "End" (the state is then dropped).
    qint64 put(const QString &fileId, const QByteArray &chunk, qint64 declaredSize, const QString &status);
    qint64 held(const QString &fileId) const;
    bool has(const QString &fileId) const { return m_files.contains(fileId); }
    // Hands the finished content over; nothing when no chunk arrived for the file.
    std::optional<Finished> take(const QString &fileId);
    void discard(const QString &fileId);

    void openChange(const TQiraHistoryInfo &info);
    std::optional<TQiraHistoryInfo> change(const QString &fileId) const;
    void closeChange(const QString &fileId);

    // The client sends 10 MiB chunks; a larger one is refused.
    static constexpr qint64 MaxChunk = 10 * 1024 * 1024;

private:
    struct State
    {
        std::unique_ptr<QFile> file;
        qint64 declared = 0;
        qint64 held = 0;
        bool ended = false; // only a new Start follows an End
        std::unique_ptr<QCryptographicHash> md5;
        std::unique_ptr<QCryptographicHash> sha256;
    };

    QString m_tempDir;
    std::map<QString, State> m_files;
    QMap<QString, TQiraHistoryInfo> m_changes;
};
