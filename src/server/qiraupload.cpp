#include "qiraupload.h"

#include "qiracheckinsteps.h"
#include "qiraerrors.h"

#include <QRandomGenerator>

TQiraUpload::TQiraUpload(QString tempDir) : m_tempDir(std::move(tempDir)) {}

TQiraUpload::~TQiraUpload()
{
    for (auto &entry : m_files) {
        entry.second.file->close();
        entry.second.file->remove();
    }
}

void TQiraUpload::discard(const QString &fileId)
{
    const auto it = m_files.find(fileId);
    if (it == m_files.end())
        return;
    it->second.file->close();
    it->second.file->remove();
    m_files.erase(it);
}

qint64 TQiraUpload::put(const QString &fileId, const QByteArray &chunk, qint64 declaredSize,
                        const QString &status)
{
    if (status != QStringLiteral("Start") && status != QStringLiteral("Process")
        && status != QStringLiteral("End"))
        throw EQiraRequestError(QStringLiteral("Недопустимое состояние передачи \"%1\": ожидается Start, Process или End").arg(status));
    if (declaredSize < 0)
        throw EQiraRequestError(QStringLiteral("Недопустимый размер файла: %1").arg(declaredSize));
    if (chunk.size() > MaxChunk)
        throw EQiraRequestError(QStringLiteral("Часть файла больше %1 байт").arg(MaxChunk));
    if (status == QStringLiteral("Start")) {
        discard(fileId);
        State state;
        const QString name = m_tempDir + QStringLiteral("/upload-")
                             + QString::number(QRandomGenerator::system()->generate64(), 16);
        state.file = std::make_unique<QFile>(name);
        if (!state.file->open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw EQiraStoreError(QStringLiteral("Не удается создать временный файл \"%1\"").arg(name));
        state.declared = declaredSize;
        state.md5 = std::make_unique<QCryptographicHash>(QCryptographicHash::Md5);
        state.sha256 = std::make_unique<QCryptographicHash>(QCryptographicHash::Sha256);
        m_files.emplace(fileId, std::move(state));
    }
    const auto it = m_files.find(fileId);
    if (it == m_files.end())
        throw EQiraRequestError(QStringLiteral("Передача файла %1 не начата (нет части Start)").arg(fileId));
    State &state = it->second;
    if (state.ended) {
        discard(fileId);
        throw EQiraRequestError(QStringLiteral("Передача файла %1 уже завершена (часть End получена); начните заново с части Start").arg(fileId));
    }
    if (declaredSize != state.declared) {
        discard(fileId);
        throw EQiraRequestError(QStringLiteral("Размер файла изменился во время передачи"));
    }
    if (state.held + chunk.size() > state.declared) {
        discard(fileId);
        throw EQiraRequestError(QStringLiteral("Передано больше байт, чем указано в размере файла (%1)").arg(declaredSize));
    }
    // Flushed at once: the chunk lives on disk, not in this process.
    if (QiraCheckInSteps::fails(TQiraCheckInStep::TempWrite) || state.file->write(chunk) != chunk.size()
        || !state.file->flush()) {
        discard(fileId);
        throw EQiraStoreError(QStringLiteral("Ошибка записи временного файла"));
    }
    state.md5->addData(chunk);
    state.sha256->addData(chunk);
    state.held += chunk.size();
    const qint64 held = state.held;
    if (status == QStringLiteral("End") && held != state.declared) {
        discard(fileId);
        throw EQiraRequestError(QStringLiteral("Передача завершена, но получено %1 байт из %2").arg(held).arg(declaredSize));
    }
    state.ended = status == QStringLiteral("End");
    return held;
}

qint64 TQiraUpload::held(const QString &fileId) const
{
    const auto it = m_files.find(fileId);
    return it == m_files.end() ? 0 : it->second.held;
}

std::optional<TQiraUpload::Finished> TQiraUpload::take(const QString &fileId)
{
    const auto it = m_files.find(fileId);
    if (it == m_files.end())
        return std::nullopt;
    State &state = it->second;
    Finished done;
    if (!state.file->flush()) {
        discard(fileId);
        throw EQiraStoreError(QStringLiteral("Ошибка записи временного файла"));
    }
    state.file->close();
    done.tempPath = state.file->fileName();
    done.size = state.held;
    done.md5 = QString::fromLatin1(state.md5->result().toHex());
    done.sha256 = QString::fromLatin1(state.sha256->result().toHex());
    m_files.erase(it);
    return done;
}

void TQiraUpload::openChange(const TQiraHistoryInfo &info) { m_changes.insert(info.fileid, info); }

std::optional<TQiraHistoryInfo> TQiraUpload::change(const QString &fileId) const
{
    const auto it = m_changes.constFind(fileId);
    if (it == m_changes.constEnd())
        return std::nullopt;
    return it.value();
}

void TQiraUpload::closeChange(const QString &fileId) { m_changes.remove(fileId); }
