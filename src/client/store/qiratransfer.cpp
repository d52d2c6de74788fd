// Chunked transfer: files move to and from the server in pieces of bounded size while
// the file progress panel shows how far they got.
#include "dmqiraclientdatas.h"

#include "qiraclientview.h"
#include "qiraeventpump.h"
#include "qiraserverclass.h"
#include "zxbase.h"
#include "zxerror.h"
#include "zxmess.h"
#include "zxstoredproc.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

#include <cmath>
#include <limits>

namespace {

// The piece through which the bar of a single-chunk download follows the bytes.
constexpr qint64 ProgressPiece = 1024;

qint64 chunkCount(qint64 size, qint64 chunk) { return size > 0 ? (size + chunk - 1) / chunk : 0; }

void showSended(TQiraClientView *view, qint64 bytes)
{
    if (view)
        view->SetProgressSended(QStringLiteral("Передано: ") + TdmQiraClientDatas::MegabyteText(bytes) + QStringLiteral(" Мб"));
}

QString notFound(const QString &path) { return QStringLiteral("Файл не найден! \rИмя файла: ") + path; }

QString lengthMismatch(qint64 source, qint64 received)
{
    return QStringLiteral("Файл не совпадает по длине с первичным файлом!\rРазмер файла-источника: ")
           + QString::number(source) + u'\r' + QStringLiteral("Размер полученного файла: ") + QString::number(received);
}

} // namespace

qint32 TdmQiraClientDatas::ProgressScale(qint64 Pos, qint64 Max)
{
    if (Max == 0)
        return 0;
    // The default rounding mode sends halves to the even neighbour.
    const double scaled = std::nearbyint(double(Pos) / (double(Max) / double(ProgressMax)));
    if (scaled >= double(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    if (scaled <= double(std::numeric_limits<qint32>::min()))
        return std::numeric_limits<qint32>::min();
    return qint32(scaled);
}

QString TdmQiraClientDatas::MegabyteText(qint64 bytes)
{
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(BytesToMB(bytes), 'f', QLocale::FloatingPointShortest);
}

bool TdmQiraClientDatas::GetBigFile(const QString &FileNameInp, const QString &FileID, qint64 FileSize,
                                    bool IsHideProgress)
{
    const QString title = QStringLiteral("Копирование файла");
    TQiraEventPump pump;
    bool complete = false;
    if (m_view)
        m_view->ShowFileProgress(true);
    const auto position = [this](qint32 value) {
        if (m_view)
            m_view->SetProgressPosition(value);
    };
    {
        // The download goes to a file of its own beside the target and takes the
        // target's place only once it has arrived whole: a broken transfer never
        // leaves behind a local copy that looks complete.
        QSaveFile file(FileNameInp);
        try {
            const qint64 chunks = chunkCount(FileSize, DownloadChunk);
            if (!file.open(QIODevice::WriteOnly))
                throw EInOutError(QStringLiteral("Не удается создать файл \"%1\": %2").arg(FileNameInp, file.errorString()));
            if (m_view) {
                m_view->SetProgressFileName(FileNameInp);
                m_view->SetProgressTotalSize(QStringLiteral("Общий размер: ") + MegabyteText(FileSize) + QStringLiteral(" Мб"));
                m_view->SetProgressMax(ProgressMax);
            }
            position(0);
            pump.Now();
            TZxStoredProc sp(&cnQiraCli, QiraMethod(QStringLiteral("GetFilePart")));
            for (qint64 i = 0; i < chunks; ++i) {
                showSended(m_view, i * DownloadChunk);
                position(ProgressScale(i, chunks - 1));
                pump.Pump();
                const qint64 from = i * DownloadChunk + (i > 0 ? 1 : 0);
                if (from > FileSize)
                    break;
                const qint64 to = qMin((i + 1) * DownloadChunk, FileSize);
                sp.Close();
                sp.AddParam(QStringLiteral("FileID"), TZxParamType::String).SetString(FileID);
                sp.AddParam(QStringLiteral("PosFrom"), TZxParamType::Int64).SetLargeInt(from);
                sp.AddParam(QStringLiteral("PosTo"), TZxParamType::Int64).SetLargeInt(to);
                sp.ExecProc();
                const QByteArray bytes = sp.ParamByName(ZxReturnValueName).AsBytes();
                // Written in one block; a failure is told once and ends the fetch, and the
                // size check below names the damage.
                if (file.write(bytes) != bytes.size()) {
                    const EInOutError error(QStringLiteral("Ошибка записи файла \"%1\": %2").arg(FileNameInp, file.errorString()));
                    ShowMessage(error.className() + QStringLiteral(": ") + error.message());
                    break;
                }
                if (chunks == 1) {
                    for (qint64 written = 0; written < bytes.size();) {
                        written += qMin(ProgressPiece, qint64(bytes.size()) - written);
                        position(ProgressScale(written, FileSize));
                        pump.Pump();
                    }
                }
                showSended(m_view, to);
                pump.Pump();
            }
            pump.Now();
            file.flush();
            const qint64 actual = file.size();
            if (actual != FileSize)
                QiraError(title, lengthMismatch(FileSize, actual));
            else if (!file.commit())
                QiraError(title, ZxErrorText(EInOutError(QStringLiteral("Не удается сохранить файл \"%1\": %2")
                                                             .arg(FileNameInp, file.errorString())),
                                             QStringLiteral("GetBigFile"), ZxPhrase::FileCopy));
            else if (!QFileInfo::exists(FileNameInp))
                QiraError(title, notFound(FileNameInp));
            else
                complete = true;
        } catch (const EZxError &error) {
            QiraError(title, ZxErrorText(error, QStringLiteral("GetBigFile"), ZxPhrase::RemoteRun));
        }
        // An uncommitted download is discarded here; whatever was at the path stays.
    }
    if (IsHideProgress && m_view)
        m_view->ShowFileProgress(false);
    return complete;
}

bool TdmQiraClientDatas::PutBigFile(const QString &FilenameAtClient, const QString &FileID)
{
    const QString checkTitle = QStringLiteral("Отправка файла на сервер");
    const qint64 size = FileSizeOf(FilenameAtClient);
    if (size < 0) {
        QiraError(checkTitle, notFound(FilenameAtClient));
        return false;
    }
    if (size == 0)
        return true;
    TQiraEventPump pump;
    bool complete = false;
    if (m_view)
        m_view->ShowFileProgress(true);
    try {
        QFile file(FilenameAtClient);
        if (!file.open(QIODevice::ReadOnly))
            throw EInOutError(QStringLiteral("Не удается открыть файл \"%1\": %2").arg(FilenameAtClient, file.errorString()));
        const qint64 chunks = chunkCount(size, UploadChunk);
        if (m_view) {
            m_view->SetProgressFileName(FilenameAtClient);
            m_view->SetProgressTotalSize(QStringLiteral("Общий размер: ") + MegabyteText(size) + QStringLiteral(" Мб"));
            m_view->SetProgressMax(ProgressMax);
            m_view->SetProgressPosition(0);
        }
        pump.Now();
        TZxStoredProc sp(&cnQiraCli, QiraMethod(QStringLiteral("PutBigFileToServer")));
        const QString sizeText = QString::number(size);
        qint64 held = 0;
        for (qint64 i = 0; i < chunks; ++i) {
            showSended(m_view, i * UploadChunk);
            if (m_view)
                m_view->SetProgressPosition(ProgressScale(i, chunks - 1));
            pump.Pump();
            const qint64 from = i * UploadChunk;
            if (from > size)
                break;
            const qint64 to = qMin((i + 1) * UploadChunk, size);
            const QString status = i == 0                         ? QStringLiteral("Start")
                                   : i == chunks - 1 && chunks >= 2 ? QStringLiteral("End")
                                                                    : QStringLiteral("Process");
            const QByteArray chunk = file.read(to - from);
            if (chunk.size() != to - from)
                throw EInOutError(QStringLiteral("Не удается прочитать файл \"%1\" с позиции %2: %3")
                                      .arg(FilenameAtClient)
                                      .arg(from)
                                      .arg(file.errorString()));
            sp.Close();
            sp.AddParam(QStringLiteral("FileID"), TZxParamType::String).SetString(FileID);
            sp.AddParam(QStringLiteral("Stream"), TZxParamType::Blob, TZxParamDir::InputOutput).SetBytes(chunk);
            sp.AddParam(QStringLiteral("FileSize"), TZxParamType::String).SetString(sizeText);
            sp.AddParam(QStringLiteral("Status"), TZxParamType::String).SetString(status);
            sp.ExecProc();
            const QString reply = ZxTrim(sp.ParamByName(ZxReturnValueName).AsString());
            held = reply.isEmpty() ? 0 : TextToInt64(reply);
            showSended(m_view, to);
            pump.Pump();
        }
        pump.Now();
        if (!QFileInfo::exists(FilenameAtClient))
            QiraError(checkTitle, notFound(FilenameAtClient));
        else if (held != size)
            QiraError(checkTitle, lengthMismatch(size, held));
        else
            complete = true;
    } catch (const EZxError &error) {
        QiraError(QStringLiteral("Отправка файла"), ZxErrorText(error, QStringLiteral("SendBigFile"), ZxPhrase::FileTransfer));
    }
    if (m_view)
        m_view->ShowFileProgress(false);
    return complete;
}

void TdmQiraClientDatas::SendFileToServer(const QString &FileID, const QString &LocalFile, const QString &md5inp)
{
    const QString path = LocalFile.isEmpty() ? GetLocalFileName(FileID) : LocalFile;
    if (path.isEmpty())
        throw EInOutError(QStringLiteral("Не определено локальное имя файла %1").arg(FileID));
    const QString md5 = md5inp.isEmpty() ? FileMD5(path) : md5inp;
    const QString change = GetQiraHistoryJson(UploadHistoryInfo(FileID, md5, FileSizeOf(path)));
    const auto bracket = [this, &change](const char *method) {
        TZxStoredProc sp(&cnQiraCli, QiraMethod(QString::fromLatin1(method)));
        sp.AddParam(QStringLiteral("FileHistInfo"), TZxParamType::String).SetString(change);
        sp.ExecProc();
    };
    bracket("NewChange");
    PutBigFile(path, FileID);
    bracket("EndChange");
}
