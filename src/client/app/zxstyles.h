#pragma once

#include <QIcon>
#include <QStringList>

// The named visual styles. The stored name is the only contract: Qt's own styles are
// offered under their names, and the project's palettes under theirs, "Amakrits" first.
class TZxStyles
{
public:
    static QStringList StyleNames();
    static QString ActiveStyleName();
    // Makes the named style active for every window; false when no such style exists.
    static bool SetActiveStyle(const QString &name);
    // Makes the named style active unless it already is; an error box when it is unknown.
    static void ActivateOrReport(const QString &name);
    // Applies the root's CurrentDesign when it differs from the active style, with an
    // error box when no style has that name.
    static void InitStyle();
};

// The application's icon, drawn here so that no image file is needed at run time.
QIcon ZxAppIcon();
