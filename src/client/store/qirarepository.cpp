// The local repository: where each stored file lives on this computer, fetching it
// there when the copy is missing or stale, and opening it.
#include "dmqiraclientdatas.h"

#include "qiraclientview.h"
#include "qiralocalpath.h"
#include "qiraserverclass.h"
#include "qirashellopen.h"
#include "zxbase.h"
#include "zxerror.h"
#include "zxmess.h"
#include "zxstoredproc.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString NoFileMessage = QStringLiteral("Не выбран файл! (OpenFileQira)");

} // namespace

QString TdmQiraClientDatas::repository() const { return ZxTrim(FConnectInfo.DirProj); }

QString TdmQiraClientDatas::fileQueryText(const QString &method, const QString &FileID, const QString &title,
                                          const QString &routine,
                                          const std::function<void(TZxStoredProc &)> &moreInputs)
{
    try {
        TZxStoredProc sp(&cnQiraCli, QiraMethod(method));
        sp.Close();
        sp.AddParam(QStringLiteral("FileID"), TZxParamType::String).SetString(FileID);
        if (moreInputs)
            moreInputs(sp);
        sp.ExecProc();
        return sp.ParamByName(ZxReturnValueName).AsString();
    } catch (const EZxError &error) {
        QiraError(title, ZxErrorText(error, routine, ZxPhrase::RemoteCall));
        return {};
    }
}

QString TdmQiraClientDatas::GetClientName(const QString &FileID)
{
    return fileQueryText(QStringLiteral("GetClientFileName"), FileID,
                         QStringLiteral("Получение пользовательского названия файла"), QStringLiteral("GetClientName"));
}

QString TdmQiraClientDatas::GetServerName(const QString &FileID, bool IsExcept)
{
    return fileQueryText(QStringLiteral("GetServerFileName"), FileID, QStringLiteral("Получение названия файла на сервере"),
                         QStringLiteral("GetServerName"), [IsExcept](TZxStoredProc &sp) {
                             sp.AddParam(QStringLiteral("IsExcept"), TZxParamType::Boolean).SetBoolean(IsExcept);
                         });
}

QString TdmQiraClientDatas::GetSizeFileServer(const QString &FileID)
{
    return fileQueryText(QStringLiteral("GetFileSizeServer"), FileID, QStringLiteral("Получение размера файла на сервере"),
                         QStringLiteral("GetSizeFileServer"));
}

QString TdmQiraClientDatas::GetLocalFileName(const QString &FileID)
{
    // Without a repository the path would start at the root of the disk.
    if (repository().isEmpty())
        return {};
    const QString clientName = GetClientName(FileID);
    if (clientName.isEmpty())
        return {};
    try {
        return QiraLocalPath(repository(), clientName);
    } catch (const EZxError &error) {
        QiraError(QStringLiteral("Получение локального имени файла"),
                  ZxErrorText(error, QStringLiteral("GetLocalFileName"), ZxPhrase::FileOpen));
        return {};
    }
}

void TdmQiraClientDatas::RequestRootDir()
{
    ErrorBox(QStringLiteral("Не указан каталог для локального хранилища файлов!"));
    if (m_view)
        m_view->ShowRepositorySettings();
}

bool TdmQiraClientDatas::readyForLocalFile(const QString &FileID)
{
    if (ZxTrim(FileID).isEmpty()) {
        ErrorBox(NoFileMessage);
        return false;
    }
    if (repository().isEmpty()) {
        RequestRootDir();
        return false;
    }
    return true;
}

void TdmQiraClientDatas::OpenFileQira(const QString &FileID, bool IsOpen, bool IsHideProgress)
{
    if (!readyForLocalFile(FileID))
        return;
    try {
        GetServerName(FileID, true);
        const QString localPath = GetLocalFileName(FileID);
        // An unknown or refused name has been reported; there is nothing to fetch into.
        if (localPath.isEmpty())
            return;
        const QString sizeText = ZxTrim(GetSizeFileServer(FileID));
        // A failed size query has been reported: an empty file must not pass for the copy.
        if (sizeText.isEmpty())
            return;
        const qint64 serverSize = TextToInt64(sizeText);
        const QString folder = QFileInfo(localPath).absolutePath();
        if (!QDir().mkpath(folder))
            throw EInOutError(QStringLiteral("Не удается создать папку \"%1\"").arg(folder));
        const bool current = FileSizeOf(localPath) == serverSize;
        // A failed fetch has been reported; what is at the path is not the server's file.
        if (!current && !GetBigFile(localPath, FileID, serverSize, IsHideProgress))
            return;
        if (IsOpen)
            RunFile(localPath);
    } catch (const EZxError &error) {
        QiraError(QStringLiteral("Открыть файл"), ZxErrorText(error, QStringLiteral("OpenFileQira"), ZxPhrase::FileOpen));
    }
}

void TdmQiraClientDatas::OpenLocalFile(const QString &FileID)
{
    if (!readyForLocalFile(FileID))
        return;
    const QString localPath = GetLocalFileName(FileID);
    if (localPath.isEmpty())
        return;
    if (QFileInfo(localPath).isFile())
        RunFile(localPath);
    else
        OpenFileQira(FileID, true, true);
}

void TdmQiraClientDatas::RunFile(const QString &FileName)
{
    const QString name = QFileInfo(FileName).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString ext = dot < 0 ? QString() : ZxTrim(name.mid(dot)).toLower();
    if (ext == QStringLiteral(".com") || ext == QStringLiteral(".exe")) {
        const int answer = OkCancelBox(QStringLiteral("Запуск программы"),
                                       QStringLiteral("Данный файл является программой.\rПрограмма может нанести вред Вашему компьютеру.\r"
                                                      "Не запускайте, которые не уверены, что безопасны для запуска.\rЗапустить программу ?"));
        if (answer != IdOk)
            return;
    }
    ShellOpen(FileName);
}
