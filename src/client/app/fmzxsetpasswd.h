#pragma once

#include "zxform.h"

class QLineEdit;
class QPushButton;

// Asks for a new password twice.
class TfmZxSetPasswds : public Tzxforms
{
    Q_OBJECT

public:
    explicit TfmZxSetPasswds(QWidget *parent = nullptr);

    // On OK sets Passwd to the first box's text, trimmed.
    int Dialog(QString &Passwd);
    void btnOkClick();

    QLineEdit *edPasswd1 = nullptr;
    QLineEdit *edPasswd2 = nullptr;
    QPushButton *btnOk = nullptr;
    QPushButton *Button1 = nullptr;
};
