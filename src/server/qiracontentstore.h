#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The bytes of every version, in a content folder under the data folder, each stored
// once under the SHA-256 digest of its bytes: content/ab/abcdef…. A file is written
// under tmp/, flushed to disk and renamed into place, so that a crash at any moment
// leaves every stored version whole; what an interrupted write leaves in tmp/ is removed
// when the store opens. Content files are never changed once in place.
class TQiraContentStore
{
public:
    explicit TQiraContentStore(const QString &dataDir);

    QString contentDir() const { return m_contentDir; }
    QString tempDir() const { return m_tempDir; }

    // Creates the folders and removes leftovers of interrupted writes.
    void open();
    // A fresh name under tmp/ for a file being written.
    QString newTempPath(const QString &prefix) const;

    // Moves a finished temporary file into place under its key, flushed and renamed;
    // when that content is already stored the temporary file is dropped. Returns
    // whether the content is new. Throws EQiraStoreError.
    bool commit(const QString &tempPath, const QString &key);
    // Writes bytes through a temporary file; returns their key.
    QString put(const QByteArray &bytes);

    bool contains(const QString &key) const;
    QString pathOf(const QString &key) const; // empty for a key that is not a digest
    // Bytes from offset `from` through `to` (inclusive), cut at the end of the content.
    QByteArray read(const QString &key, qint64 from, qint64 to) const;
    qint64 sizeOf(const QString &key) const;
    void remove(const QString &key);
    QStringList keys() const;

    static QString keyOf(const QByteArray &bytes);
    static bool isKey(const QString &key);
    // Flushes a file's data to the disk (fsync); false when the system refuses.
    static bool syncFile(int handle);
    static void syncDir(const QString &dir);

private:
    QString m_dataDir;
    QString m_contentDir;
    QString m_tempDir;
};
