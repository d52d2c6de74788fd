#pragma once

#include <QString>
#include <QStringList>

class QMenu;
class TZxActionList;

// The main window's commands as data: every action with its category, caption and
// image, and every menu as a list of action names ("-" a separator, "> Caption" opens a
// submenu, "<" closes it). Menus and buttons only point at actions.
struct TQiraCommandDef
{
    const char *name;
    const char *category;
    const char *caption;
    int image; // -1: none
};

const QList<TQiraCommandDef> &QiraCommandDefs();

// Creates every command in the list, without handlers.
void AddQiraCommands(TZxActionList &list);

// Fills the menu from its item list; the first item marked with "*" is the default one.
void BuildQiraMenu(QMenu *menu, const TZxActionList &list, const QStringList &items);

namespace QiraMenus {
QStringList pmTree();
QStringList pmGrid();
QStringList pmOpen();
QStringList pmTreeButton();
QStringList pmUser();
} // namespace QiraMenus
