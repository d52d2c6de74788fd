#pragma once

#include "zxform.h"

class QStringListModel;
class QPushButton;
class TZxDBGrid;

// Lets the user pick the visual style by name, preview it, and keep it.
class Tfmzxsel_designs : public Tzxforms
{
    Q_OBJECT

public:
    explicit Tfmzxsel_designs(QWidget *parent = nullptr);

    QString currentName() const;
    void btnRedrawClick();
    void btnOkClick();

    TZxDBGrid *gdeProg = nullptr;
    QStringListModel *mdDesign = nullptr;
    QPushButton *btnOk = nullptr;
    QPushButton *btnCancel = nullptr;
    QPushButton *btnRedraw = nullptr;
};
