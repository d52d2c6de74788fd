#include "zxdatasetroutines.h"

#include "zxdataset.h"
#include "zxdataseterror.h"
#include "zxroot.h"

namespace {

Tzxroot &root()
{
    Tzxroot *instance = Tzxroot::Instance();
    if (!instance)
        throw EZxDatasetError(QStringLiteral("Корень приложения не создан: некому назвать время и пользователя"));
    return *instance;
}

// A read-only column keeps what it has: setting it would refuse the whole new row.
void setWhereWritable(TZxDataset &dataset, const QString &name, const QVariant &value)
{
    TZxField *field = dataset.FindField(name);
    if (field && !field->ReadOnly())
        field->SetValue(value);
}

} // namespace

void LoadDatasetImage(const QByteArray &bytes, TZxDataset &dataset)
{
    if (bytes.isEmpty())
        return;
    dataset.LoadFromImage(bytes);
}

void StampOnCreate(TZxDataset &dataset)
{
    const Tzxroot &app = root();
    setWhereWritable(dataset, QStringLiteral("datecreate"), app.GetNow());
    setWhereWritable(dataset, QStringLiteral("usercreate"), app.Sess.Login);
    setWhereWritable(dataset, QStringLiteral("Del"), 0);
    setWhereWritable(dataset, QStringLiteral("active"), 1);
}

void StampOnUpdate(TZxDataset &dataset)
{
    const Tzxroot &app = root();
    setWhereWritable(dataset, QStringLiteral("dateupdate"), app.GetNow());
    setWhereWritable(dataset, QStringLiteral("userupdate"), app.Sess.Login);
}
