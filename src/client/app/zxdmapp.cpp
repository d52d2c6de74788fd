#include "zxdmapp.h"

#include "zxactions.h"
#include "zxdbgrid.h"

#include <QApplication>

TzxdmApps::TzxdmApps(QObject *owner) : QObject(owner), alZxApp(new TZxActionList(this))
{
    setObjectName(QStringLiteral("zxdmApps"));
    alEditMode = alZxApp->add(QStringLiteral("alEditMode"), QStringLiteral("Таблица"),
                              QStringLiteral("Режим редактирования"));
    alEditMode->setHandler([this] { SetEditMode(); });
    alZxApp->setUpdateHandler([this] { alZxAppUpdate(); });
}

TZxDBGrid *TzxdmApps::FocusedGrid()
{
    QWidget *focused = QApplication::focusWidget();
    while (focused) {
        if (auto *grid = qobject_cast<TZxDBGrid *>(focused))
            return grid;
        // the cell editor and the viewport belong to the grid
        focused = focused->parentWidget();
    }
    return nullptr;
}

void TzxdmApps::SetEditMode()
{
    TZxDBGrid *grid = FocusedGrid();
    if (!grid)
        return;
    const bool toEdit = grid->readOnly();
    grid->setReadOnly(!toEdit);
    grid->setIncrementalSearch(!toEdit);
}

void TzxdmApps::alZxAppUpdate()
{
    if (const TZxDBGrid *grid = FocusedGrid())
        alEditMode->setText(grid->readOnly() ? QStringLiteral("Режим редактирования")
                                             : QStringLiteral("Режим поиска"));
}
