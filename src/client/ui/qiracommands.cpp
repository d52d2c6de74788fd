#include "qiracommands.h"

#include "zxactions.h"

#include <QMenu>

namespace {

const char *const Files = "Файловые операции";
const char *const Tree = "Дерево";

} // namespace

const QList<TQiraCommandDef> &QiraCommandDefs()
{
    static const QList<TQiraCommandDef> defs = {
        {"alOpenFile", Files, "Открыть файл", -1},
        {"alDownloadFile", Files, "Закачать файл на ПК", -1},
        {"alGetWordk", Files, "Взять в работу", 3},
        {"alCancelChanges", Files, "Отменить изменения", 6},
        {"alOpenAs", Files, "Открыть как", -1},
        {"alCreateFile", Files, "Создать файл", -1},
        {"alUploadFile", Files, "Загрузить файлы на сервер", -1},
        {"alSearchFileGrid", Files, "Найти файл", -1},
        {"alCheckFile", Files, "Сравнить файл с серверной версией", 13},
        {"alFileInfo", Files, "Информация о файле", 9},
        {"alShowHistory", Files, "История файла", 10},
        {"alMoveFile", Files, "Переместить файл", -1},
        {"alDelFile", Files, "Удалить файл", -1},
        {"alUndoDelFile", Files, "Восстановить удаленный файл", -1},
        {"alSaveGrid", Files, "Сохранить состояние таблицы", 12},
        {"alRestoreGrid", Files, "Восстановить таблицу", -1},
        {"alResetGrid", Files, "Сбросить настройки таблицы", -1},
        {"alSettingsTable", Files, "Настройки таблицы", -1},
        {"alViewSQLTable", Files, "Просмотреть SQL", -1},
        {"alEditMode", Files, "Режим редактирования", -1},
        {"alShowDelFiles", Files, "Показать удаленные файлы", -1},
        {"alHideTree", Files, "Скрыть дерево", -1},
        {"alInsTree", Tree, "Вставить ветвь", -1},
        {"acCheckinFullNode", Tree, "Сохранить на сервер и освободить всю ветвь (рекурсивно)", 2},
        {"alCreateChildTree", Tree, "Создать подветвь", -1},
        {"alCreateMaineNode", Tree, "Создать корневую ветвь", -1},
        {"alSearch", Tree, "Найти каталог", -1},
        {"alSearchFile", Tree, "Найти файл в каталоге", -1},
        {"alDirInfo", Tree, "Информация о ветви", -1},
        {"alMoveNode", Tree, "Переместить каталог", -1},
        {"alGetAllFiles", Tree, "Получить все файлы в том числе во вложенных ветввях", -1},
        {"alGetNode", Tree, "Получить все из каталога", -1},
        {"alSaveNode", Tree, "Сохранить каталог", -1},
        {"alSyncNode", Tree, "Синхронизировать каталог", -1},
        {"alCheckData", Tree, "Сверить все данные", -1},
        {"alViewSQL", Tree, "Просмотреть SQL", -1},
        {"alUploadDir", Tree, "Загрузить каталог на сервер", -1},
        {"alRights", Tree, "Права", 7},
        {"alRefresh", Tree, "Обновить", -1},
        {"alEditTree", Tree, "Режим редактирования", -1},
        {"alDel", Tree, "Удалить ветвь", -1},
        {"alShowDelNodes", Tree, "Показать удаленные ветви", -1},
        {"alCheckIn", Files, "Сохранить на сервер и освободить", 0},
        {"alFilter", Files, "Фильтр", -1},
        {"alOpenDIr", Files, "Открыть каталог", -1},
        {"alUserInfo", Files, "О пользователе", -1},
        {"alSetRights", Tree, "Права", -1},
        {"alRoles", "Администрирование", "Виды прав", -1},
        {"alUsers", "Администрирование", "Пользователи", -1},
        {"acDownloadAndOpen", Files, "Закачать и открыть файл", -1},
        {"acWorkAll", Tree, "Взять в работу всю ветвь файлов (рекурсивно)", 5},
        {"alCancelFullTree", Tree, "Отменить изменения всех файлов ветви (рекурсивно)", -1},
        {"acCheckLocalFiles", Tree, "Проверить на присутствие всех файлов на ПК для данной ветви", -1},
        {"acCheckAllRecursive", Tree, "Проверить наличие файлов в ветви рекурсивно", -1},
        {"alShowFilesRecursive", Tree, "Показать файлы ветви рекурсивно", -1},
        {"alWorkTree", Tree, "Взять в работу все файлы ветви", 4},
        {"alSaveTree", Tree, "Сохранить на сервер и освободить файлы ветви", 1},
        {"alCancelTree", Tree, "Отменить изменения файлов ветви", -1},
        {"alTree_Edit", Tree, "Редактировать ветвь", -1},
        {"alTreeDel", Tree, "Удалить ветвь", -1},
        {"alTreeDelFull", Tree, "Удалить ветвь физически (только для админа)", -1},
        {"alRefreshTable", Tree, "Обновить таблицу", -1},
        {"alFullDelFile", Files, "Физическое удаление файла (только админ)", -1},
        {"alFullDelFileAll", Files, "Физическое удаление всех файлов (только админ)", -1},
        {"alUndeleteTree", Tree, "Восстановить удаленную ветвь", -1},
        {"alChangeUser", "Разное", "Сменить пользователя", -1},
        {"alCreatePreview", "Сервисные", "Создать превью", -1},
        {"alAllCreatePreview", "Сервисные", "Создать превью для всех (рекурсивно)", -1},
    };
    return defs;
}

void AddQiraCommands(TZxActionList &list)
{
    for (const TQiraCommandDef &def : QiraCommandDefs())
        list.add(QString::fromUtf8(def.name), QString::fromUtf8(def.category), QString::fromUtf8(def.caption));
    list.action(QStringLiteral("alRights"))->setToolTip(QStringLiteral("Назначить права на ветвь"));
}

void BuildQiraMenu(QMenu *menu, const TZxActionList &list, const QStringList &items)
{
    QList<QMenu *> stack{menu};
    for (const QString &item : items) {
        QMenu *current = stack.last();
        if (item == QStringLiteral("-")) {
            current->addSeparator();
        } else if (item.startsWith(QStringLiteral("> "))) {
            QMenu *sub = current->addMenu(item.mid(2));
            stack.append(sub);
        } else if (item == QStringLiteral("<")) {
            stack.removeLast();
        } else if (item.startsWith(u'"')) {
            // an item with a caption and no command
            QAction *plain = current->addAction(item.mid(1, item.size() - 2));
            plain->setEnabled(false);
        } else {
            const bool isDefault = item.startsWith(u'*');
            TZxAction *action = list.action(isDefault ? item.mid(1) : item);
            Q_ASSERT_X(action, "BuildQiraMenu", qPrintable(item));
            current->addAction(action);
            if (isDefault)
                current->setDefaultAction(action);
        }
    }
}

namespace QiraMenus {

QStringList pmTree()
{
    return {QStringLiteral("*acWorkAll"), QStringLiteral("acCheckinFullNode"), QStringLiteral("alCancelFullTree"),
            QStringLiteral("-"), QStringLiteral("alShowFilesRecursive"), QStringLiteral("-"),
            QStringLiteral("> Операции с деревом"), QStringLiteral("alDirInfo"), QStringLiteral("-"),
            QStringLiteral("alInsTree"), QStringLiteral("alCreateChildTree"), QStringLiteral("alCreateMaineNode"),
            QStringLiteral("-"), QStringLiteral("alTree_Edit"), QStringLiteral("-"), QStringLiteral("alTreeDel"),
            QStringLiteral("alTreeDelFull"), QStringLiteral("-"), QStringLiteral("alShowDelNodes"),
            QStringLiteral("alUndeleteTree"), QStringLiteral("<"),
            QStringLiteral("> Групповые операции"), QStringLiteral("alWorkTree"), QStringLiteral("alSaveTree"),
            QStringLiteral("alCancelTree"), QStringLiteral("-"), QStringLiteral("alGetAllFiles"),
            QStringLiteral("acCheckAllRecursive"), QStringLiteral("-"), QStringLiteral("alGetNode"),
            QStringLiteral("acCheckLocalFiles"), QStringLiteral("<"),
            QStringLiteral("> Сервисные"), QStringLiteral("alAllCreatePreview"), QStringLiteral("<"),
            QStringLiteral("-"), QStringLiteral("alUploadDir"), QStringLiteral("-"),
            QStringLiteral("alSearch"), QStringLiteral("alSearchFile"), QStringLiteral("alMoveNode"),
            QStringLiteral("-"), QStringLiteral("alSaveNode"), QStringLiteral("alSyncNode"), QStringLiteral("alCheckData"),
            QStringLiteral("-"), QStringLiteral("alRights"), QStringLiteral("alRefresh"), QStringLiteral("alEditTree")};
}

QStringList pmGrid()
{
    return {QStringLiteral("*alGetWordk"), QStringLiteral("alCheckIn"), QStringLiteral("alCancelChanges"),
            QStringLiteral("-"), QStringLiteral("> Операции с файлами"), QStringLiteral("acDownloadAndOpen"),
            QStringLiteral("-"), QStringLiteral("alUploadFile"), QStringLiteral("alCreateFile"),
            QStringLiteral("alSearchFileGrid"), QStringLiteral("-"), QStringLiteral("alDownloadFile"),
            QStringLiteral("alOpenDIr"), QStringLiteral("alOpenFile"), QStringLiteral("alOpenAs"), QStringLiteral("-"),
            QStringLiteral("alMoveFile"), QStringLiteral("alDelFile"), QStringLiteral("alUndoDelFile"),
            QStringLiteral("-"), QStringLiteral("alFullDelFile"), QStringLiteral("alFullDelFileAll"),
            QStringLiteral("-"), QStringLiteral("\"Создать превью\""), QStringLiteral("<"),
            QStringLiteral("> Сервисные"), QStringLiteral("alCreatePreview"), QStringLiteral("<"), QStringLiteral("-"),
            QStringLiteral("alCheckFile"), QStringLiteral("alFileInfo"), QStringLiteral("alShowHistory"),
            QStringLiteral("-"), QStringLiteral("alSaveGrid"), QStringLiteral("alRestoreGrid"),
            QStringLiteral("alResetGrid"), QStringLiteral("alSettingsTable"), QStringLiteral("alViewSQLTable"),
            QStringLiteral("-"), QStringLiteral("alFilter"), QStringLiteral("alEditMode"),
            QStringLiteral("alShowDelFiles"), QStringLiteral("alHideTree"), QStringLiteral("alRefreshTable")};
}

QStringList pmOpen()
{
    return {QStringLiteral("alGetWordk"), QStringLiteral("alCheckIn"), QStringLiteral("alCancelChanges"),
            QStringLiteral("-"), QStringLiteral("alOpenFile"), QStringLiteral("alDownloadFile"),
            QStringLiteral("alOpenDIr")};
}

QStringList pmTreeButton()
{
    return {QStringLiteral("alInsTree"), QStringLiteral("alCreateChildTree"), QStringLiteral("-"),
            QStringLiteral("alRights"), QStringLiteral("alRoles"), QStringLiteral("alUsers"), QStringLiteral("-"),
            QStringLiteral("alRefresh")};
}

QStringList pmUser() { return {QStringLiteral("alUserInfo"), QStringLiteral("alChangeUser")}; }

} // namespace QiraMenus
