// The main file list: paging, counting, refreshing, and edits sent back to the server.
#include "dmqiraclientdatas.h"

#include "dmzxdataclient.h"
#include "qiraclientview.h"
#include "qiraserverclass.h"
#include "zxbase.h"
#include "zxdataset.h"
#include "zxdatasetroutines.h"
#include "zxerror.h"
#include "zxmess.h"
#include "zxstoredproc.h"
#include "zxstrutils.h"

namespace {

constexpr qint64 MaxKolRows = 500000;
constexpr qint64 FileListRows = 1000;

const QString FileIdField = QStringLiteral("fileid");

// A number box as typed: blank or not a number is a conversion failure.
qint64 boxValue(const QString &text, const QString &what)
{
    if (ZxTrim(text).isEmpty())
        throw EConvertError(QStringLiteral("'%1' не является целым числом (%2)").arg(text, what));
    return TextToInt64(ZxTrim(text));
}

QString currentFileId(TZxDataset &files)
{
    if (files.IsEmpty())
        return {};
    const TZxField *field = files.FindField(FileIdField);
    return field ? field->AsString() : QString();
}

// Back to the file that was current, when it is still in the list.
void locateFile(TZxDataset &files, const QString &fileId)
{
    const QString key = ZxTrim(fileId);
    if (!key.isEmpty() && files.FindField(FileIdField))
        files.Locate(FileIdField, key);
}

// A page from the server into the list, back on the file that was current.
void showFilePage(TZxDataset &files, const QByteArray &image, bool withPreviews, const QString &current)
{
    LoadDatasetImage(image, files);
    if (withPreviews)
        if (TZxField *picture = files.FindField(QStringLiteral("blob_pic")))
            picture->SetPicture(true);
    locateFile(files, current);
}

void refuseWithoutWrite(const TTreeRights &rights, const QString &message)
{
    if (rights.WFile)
        return;
    ErrorBox(message);
    throw EAbort();
}

} // namespace

QString TdmQiraClientDatas::GetFilterQiraJson(const TQiraFilter &Filter)
{
    const TQiraFilter copy = Filter;
    return GetQiraFilterJson(copy);
}

QString TdmQiraClientDatas::CurrentFileID() { return currentFileId(*iqFiles); }

void TdmQiraClientDatas::GetFiles(bool IsRecursive)
{
    const QString remembered = currentFileId(*iqFiles);
    try {
        if (m_view)
            m_view->SetFilterOrders();
        const qint64 page = boxValue(m_view ? m_view->CurrentPageText() : QStringLiteral("0"),
                                     QStringLiteral("номер страницы"));
        const qint64 rows = boxValue(m_view ? m_view->KolRowsText() : QStringLiteral("50"),
                                     QStringLiteral("строк на странице"));
        // 0 rows per page would leave the last page undefined.
        if (page < 0)
            throw EConvertError(QStringLiteral("Номер страницы не может быть отрицательным: %1").arg(page));
        if (rows < 1 || rows > MaxKolRows)
            throw EConvertError(QStringLiteral("Строк на странице должно быть от 1 до %1, а не %2").arg(MaxKolRows).arg(rows));
        FilterQira.CurrentPage = page;
        FilterQira.KolRows = rows;
        FilterQira.IsPreview = m_view && m_view->IsPreview();
        FilterQira.IsRecursive = IsRecursive;

        TZxStoredProc sp(&cnQiraCli, QiraMethod(QStringLiteral("GetFiles")));
        sp.AddParam(QStringLiteral("QiraFilter"), TZxParamType::String).SetString(GetFilterQiraJson(FilterQira));
        sp.ExecProc();
        showFilePage(*iqFiles, sp.ParamByName(ZxReturnValueName).AsBytes(), FilterQira.IsPreview, remembered);
    } catch (const EZxError &error) {
        QiraError(QStringLiteral("Получение файлов"), ZxErrorText(error, QStringLiteral("GetFiles"), ZxPhrase::RemoteCall));
    }
}

qint64 TdmQiraClientDatas::GetKolRows()
{
    try {
        TZxStoredProc sp(&cnQiraCli, QiraMethod(QStringLiteral("GetKolRows")));
        sp.AddParam(QStringLiteral("QiraFilter"), TZxParamType::String).SetString(GetFilterQiraJson(FilterQira));
        sp.AddParam(QStringLiteral("TotalSize"), TZxParamType::String, TZxParamDir::Output);
        sp.ExecProc();
        const QString count = sp.ParamByName(ZxReturnValueName).AsString();
        const qint64 rows = ZxTrim(count).isEmpty() ? 0 : TextToInt64(ZxTrim(count));
        const double totalKb = TextToCurr(sp.ParamByName(QStringLiteral("TotalSize")).AsString());
        if (m_view)
            m_view->SetKolRowsResult(rows, totalKb);
        return rows;
    } catch (const EZxError &error) {
        QiraError(QStringLiteral("Получение количества строк"),
                  ZxErrorText(error, QStringLiteral("GetKolRows"), ZxPhrase::RemoteCall));
        return 0;
    }
}

void TdmQiraClientDatas::RefreshFileTable()
{
    try {
        if (!m_view || m_view->IsTreeVisible()) {
            FilterQira.IsShowAll = false;
            FilterQira.TreeID = m_view ? m_view->SelectedTreeID() : QString();
        } else {
            FilterQira.IsShowAll = true;
            FilterQira.TreeID.clear();
        }
        if (m_view)
            m_view->StartGetTable();
    } catch (const EZxError &error) {
        QiraError(QStringLiteral("Обновление таблицы файлов"),
                  ZxErrorText(error, QStringLiteral("RefreshFileTable"), ZxPhrase::LocalStep));
    }
}

void TdmQiraClientDatas::RefreshFiles()
{
    const QString remembered = currentFileId(*iqFiles);
    TZxStoredProc sp(&cnQiraCli, QiraMethod(QStringLiteral("RefreshFiles")));
    sp.ExecProc();
    showFilePage(*iqFiles, sp.ParamByName(ZxReturnValueName).AsBytes(), FilterQira.IsPreview, remembered);
}

void TdmQiraClientDatas::ShowDelFiles()
{
    if (m_view)
        m_view->ResetKolPages();
    FilterQira.IsShowDel = !FilterQira.IsShowDel;
    const QString branch = m_view ? m_view->SelectedTreeID() : QString();
    if (!branch.isEmpty())
        FilterQira.TreeID = branch;
    GetFiles(false);
}

void TdmQiraClientDatas::ClearFilter()
{
    FilterQira.IsShowDel = false;
    FilterQira.IsShowAll = false;
}

void TdmQiraClientDatas::GetFileList(const QString &FileID, const QString &TreeID, qint64 CurPage,
                                     qint64 KolRowsInp, bool IsRecursive)
{
    try {
        if (m_view)
            m_view->SetFilterOrders();
        TQiraFilter filter = FilterQira;
        if (!ZxTrim(FileID).isEmpty())
            filter.FileID = ZxTrim(FileID);
        if (!ZxTrim(TreeID).isEmpty())
            filter.TreeID = ZxTrim(TreeID);
        filter.IsRecursive = IsRecursive;
        filter.KolRows = FileListRows;
        if (CurPage != -1) {
            filter.CurrentPage = CurPage;
            filter.KolRows = KolRowsInp;
        }
        dmDCFileLists->SetParam(GetFilterQiraJson(filter));
        dmDCFileLists->Open();
    } catch (const EZxError &error) {
        QiraError(QStringLiteral("Получение списка файлов"),
                  ZxErrorText(error, QStringLiteral("GetFileList"), ZxPhrase::RemoteCall));
    }
}

void TdmQiraClientDatas::SaveFiles()
{
    TZxStoredProc sp(&cnQiraCli, QiraMethod(QStringLiteral("StreamPostFiles")));
    SeveData(*iqFiles, sp, [this] { RefreshFiles(); });
}

// The rights checks and stamps of edits made in the file grid.
void TdmQiraClientDatas::setupFileList()
{
    iqFiles->BeforeInsert = [this](TZxDataset &) {
        const QString branch = m_view ? m_view->SelectedTreeID() : QString();
        // A new file belongs to a branch; with none selected there is nowhere to put it.
        if (ZxTrim(branch).isEmpty()) {
            ErrorBox(QStringLiteral("Не выбрана ветвь для нового файла!"));
            throw EAbort();
        }
        refuseWithoutWrite(GetTreeRight(branch), QStringLiteral("У Вас нет прав вставки в этот раздел!"));
    };
    iqFiles->OnNewRecord = [this](TZxDataset &files) {
        files.FieldByName(FileIdField).SetValue(NewID());
        files.FieldByName(QStringLiteral("treeid")).SetValue(m_view ? m_view->SelectedTreeID() : QString());
        StampOnCreate(files);
    };
    iqFiles->BeforeEdit = [this](TZxDataset &files) {
        refuseWithoutWrite(GetTreeRight(files.FieldByName(QStringLiteral("treeid")).AsString()),
                           QStringLiteral("У Вас нет прав редактирования этого файла!"));
    };
    iqFiles->BeforeDelete = [this](TZxDataset &files) {
        refuseWithoutWrite(GetTreeRight(files.FieldByName(QStringLiteral("treeid")).AsString()),
                           QStringLiteral("У Вас нет прав удаления этого файла!"));
    };
    iqFiles->BeforePost = [](TZxDataset &files) { StampOnUpdate(files); };
    iqFiles->AfterPost = [this](TZxDataset &) { SaveFiles(); };
}
