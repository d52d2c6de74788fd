#include "qiracontentstore.h"

#include "qiracheckinsteps.h"
#include "qiraerrors.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

TQiraContentStore::TQiraContentStore(const QString &dataDir)
    : m_dataDir(dataDir), m_contentDir(dataDir + QStringLiteral("/content")),
      m_tempDir(dataDir + QStringLiteral("/tmp"))
{
}

void TQiraContentStore::open()
{
    if (!QDir().mkpath(m_contentDir) || !QDir().mkpath(m_tempDir))
        throw EQiraStoreError(QStringLiteral("Не удается создать папки хранилища в \"%1\"").arg(m_dataDir));
    QDir temp(m_tempDir);
    for (const QString &name : temp.entryList(QDir::Files | QDir::Hidden | QDir::System))
        temp.remove(name);
}

QString TQiraContentStore::newTempPath(const QString &prefix) const
{
    const quint64 a = QRandomGenerator::system()->generate64();
    const quint64 b = QRandomGenerator::system()->generate64();
    return m_tempDir + u'/' + prefix + u'-' + QString::number(a, 16) + QString::number(b, 16);
}

bool TQiraContentStore::syncFile(int handle)
{
#ifdef Q_OS_WIN
    return _commit(handle) == 0;
#else
    return ::fsync(handle) == 0;
#endif
}

void TQiraContentStore::syncDir(const QString &dir)
{
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(dir);
#endif
}

bool TQiraContentStore::commit(const QString &tempPath, const QString &key)
{
    const QString target = pathOf(key);
    if (target.isEmpty())
        throw EQiraStoreError(QStringLiteral("Недопустимый ключ содержимого \"%1\"").arg(key));
    if (QFileInfo::exists(target)) {
        QFile::remove(tempPath);
        return false;
    }
    {
        QFile file(tempPath);
        if (!file.open(QIODevice::ReadWrite) || QiraCheckInSteps::fails(TQiraCheckInStep::ContentSync)
            || !syncFile(file.handle()))
            throw EQiraStoreError(QStringLiteral("Не удается записать на диск временный файл \"%1\"").arg(tempPath));
    }
    const QString shard = QFileInfo(target).absolutePath();
    if (!QDir().mkpath(shard))
        throw EQiraStoreError(QStringLiteral("Не удается создать папку \"%1\"").arg(shard));
    // std::rename replaces atomically; QFile::rename refuses an existing target.
    if (QiraCheckInSteps::fails(TQiraCheckInStep::ContentRename)
        || std::rename(QFile::encodeName(tempPath).constData(), QFile::encodeName(target).constData()) != 0)
        throw EQiraStoreError(QStringLiteral("Не удается переместить \"%1\" в \"%2\"").arg(tempPath, target));
    QiraCheckInSteps::reach(TQiraCheckInStep::ShardSync);
    syncDir(shard);
    return true;
}

QString TQiraContentStore::put(const QByteArray &bytes)
{
    const QString key = keyOf(bytes);
    if (contains(key))
        return key;
    const QString temp = newTempPath(QStringLiteral("put"));
    QFile file(temp);
    if (!file.open(QIODevice::WriteOnly) || QiraCheckInSteps::fails(TQiraCheckInStep::TempWrite)
        || file.write(bytes) != bytes.size() || !file.flush()) {
        file.remove();
        throw EQiraStoreError(QStringLiteral("Не удается записать временный файл \"%1\"").arg(temp));
    }
    file.close();
    commit(temp, key);
    return key;
}

bool TQiraContentStore::isKey(const QString &key)
{
    if (key.size() != 64)
        return false;
    for (QChar c : key)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
            return false;
    return true;
}

QString TQiraContentStore::pathOf(const QString &key) const
{
    if (!isKey(key))
        return {};
    return m_contentDir + u'/' + key.left(2) + u'/' + key;
}

bool TQiraContentStore::contains(const QString &key) const
{
    const QString path = pathOf(key);
    return !path.isEmpty() && QFileInfo::exists(path);
}

qint64 TQiraContentStore::sizeOf(const QString &key) const
{
    const QFileInfo info(pathOf(key));
    return info.exists() ? info.size() : -1;
}

QByteArray TQiraContentStore::read(const QString &key, qint64 from, qint64 to) const
{
    QFile file(pathOf(key));
    if (!file.open(QIODevice::ReadOnly))
        throw EQiraStoreError(QStringLiteral("Содержимое файла не найдено в хранилище (%1)").arg(key));
    const qint64 size = file.size();
    if (from >= size || to < from)
        return {};
    const qint64 last = qMin(to, size - 1);
    if (!file.seek(from))
        throw EQiraStoreError(QStringLiteral("Ошибка чтения содержимого (%1)").arg(key));
    const QByteArray bytes = file.read(last - from + 1);
    if (bytes.size() != last - from + 1)
        throw EQiraStoreError(QStringLiteral("Ошибка чтения содержимого (%1)").arg(key));
    return bytes;
}

void TQiraContentStore::remove(const QString &key)
{
    const QString path = pathOf(key);
    if (!path.isEmpty())
        QFile::remove(path);
}

QStringList TQiraContentStore::keys() const
{
    QStringList list;
    QDirIterator it(m_contentDir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (isKey(it.fileName()))
            list.append(it.fileName());
    }
    return list;
}

QString TQiraContentStore::keyOf(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}
