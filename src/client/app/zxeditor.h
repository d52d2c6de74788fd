#pragma once

#include "zxform.h"

class QsciScintilla;
class QPushButton;

// Shows a query text read only, with SQL highlighting.
class Tfmzxeditor : public Tzxforms
{
    Q_OBJECT

public:
    explicit Tfmzxeditor(QWidget *parent = nullptr);

    int ShowSQL(const QString &SQLInp);

    QsciScintilla *edEditor = nullptr;
    QPushButton *btnOk = nullptr;
};
