// The error table of the main data module.
#include "dmqiraclientdatas.h"

#include "qiraclientview.h"
#include "zxdataset.h"
#include "zxmess.h"

namespace {
constexpr int TitleSize = 250;
constexpr int MessageSize = 10500;
} // namespace

void TdmQiraClientDatas::AddError(const QString &Title, const QString &MessageErr)
{
    if (m_view)
        m_view->ShowMess(true);
    mtErrors->First();
    mtErrors->Insert();
    // Over-long texts are cut rather than refused, so that no failure goes unreported.
    mtErrors->FieldByName(QStringLiteral("Title")).SetValue(Title.left(TitleSize));
    mtErrors->FieldByName(QStringLiteral("MessErr")).SetValue(MessageErr.left(MessageSize));
    mtErrors->FieldByName(QStringLiteral("TimeErr")).SetValue(QDateTime::currentDateTime());
    mtErrors->Post();
}

void TdmQiraClientDatas::ClearErrorTable()
{
    mtErrors->SetFields({TZxFieldDef::Text(QStringLiteral("Title"), TitleSize),
                         TZxFieldDef::Text(QStringLiteral("MessErr"), MessageSize),
                         TZxFieldDef::DateTime(QStringLiteral("TimeErr"))});
}

void TdmQiraClientDatas::ShowError()
{
    ShowErrorWin(mtErrors->FieldByName(QStringLiteral("Title")).AsString(),
                 mtErrors->FieldByName(QStringLiteral("MessErr")).AsString());
}
