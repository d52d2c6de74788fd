// The query viewer: the server's query behind the focused grid.
#include "dmqiraclientdatas.h"

#include "qiraserverclass.h"
#include "zxdataset.h"
#include "zxdatasetmodel.h"
#include "zxdbgrid.h"
#include "zxdmapp.h"
#include "zxeditor.h"
#include "zxerror.h"
#include "zxmess.h"
#include "zxstoredproc.h"

#include <QApplication>

void TdmQiraClientDatas::ViewSQL()
{
    TZxDBGrid *grid = TzxdmApps::FocusedGrid();
    if (!grid) {
        ErrorBox(QStringLiteral("Не выбран элемент управления! (ViewSQL)"));
        return;
    }
    try {
        const auto *model = qobject_cast<const TZxDatasetModel *>(grid->model());
        if (!model || !model->dataset())
            throw EZxError(QStringLiteral("EInvalidCast"),
                           QStringLiteral("Таблица не загружена из образа набора данных"));
        TZxStoredProc sp(&cnQiraCli, QiraMethod(QStringLiteral("GetSQL")));
        sp.AddParam(QStringLiteral("ObjName"), TZxParamType::String).SetString(model->dataset()->TableName());
        sp.ExecProc();
        const QString text = sp.ParamByName(ZxReturnValueName).AsString();
        (new Tfmzxeditor(QApplication::activeWindow()))->ShowSQL(text);
    } catch (const EZxError &error) {
        ShowErrorWin(error.className() + QStringLiteral(". Функция ViewSQL.") + ZxPhrase::LocalStep, error.message());
    }
}
