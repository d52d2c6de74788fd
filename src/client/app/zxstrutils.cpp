#include "zxstrutils.h"

#include "zxdataset.h"
#include "zxerror.h"
#include "zxmess.h"
#include "zxstoredproc.h"

namespace {

void reportSaveFailure(const EZxError &error, const QString &phrase)
{
    ErrorBox(QStringLiteral("Сохранение файлов ") + ZxErrorText(error, QStringLiteral("SeveData"), phrase));
}

} // namespace

void SeveData(TZxDataset &table, TZxStoredProc &saveCall, const std::function<void()> &completion)
{
    try {
        if (table.State() != TZxDatasetState::Browse)
            table.Post();
    } catch (const EAbort &) {
        return;
    } catch (const EZxError &error) {
        reportSaveFailure(error, ZxPhrase::FileSave);
        return;
    }
    try {
        if (table.UpdatesPending()) {
            saveCall.Close();
            saveCall.AddParam(QStringLiteral("AStream"), TZxParamType::Blob).SetBytes(table.ChangeStream());
            saveCall.ExecProc();
            table.MergeChangeLog();
        }
        if (completion)
            completion();
    } catch (const EZxError &error) {
        reportSaveFailure(error, ZxPhrase::SaveOrSend);
    }
}
