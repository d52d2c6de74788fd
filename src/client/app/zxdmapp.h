#pragma once

#include <QObject>

class TZxActionList;
class TZxAction;
class TZxDBGrid;

// Switches the grid that has the input focus between search mode and edit mode.
class TzxdmApps : public QObject
{
    Q_OBJECT

public:
    explicit TzxdmApps(QObject *owner = nullptr);

    void SetEditMode();
    void alZxAppUpdate();
    // The grid that has the input focus, or nullptr.
    static TZxDBGrid *FocusedGrid();

    TZxActionList *alZxApp = nullptr;
    TZxAction *alEditMode = nullptr;
};
