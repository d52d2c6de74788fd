#pragma once

#include "zxform.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class TdmQiraClientDatas;

// Asks for the login and the password, can remember them, and confirms itself shortly
// after it opens when remembered credentials exist.
class TfmZxLogins : public Tzxforms
{
    Q_OBJECT

public:
    explicit TfmZxLogins(QWidget *parent = nullptr);

    bool Auth(TdmQiraClientDatas *CliData, bool AutoLogin);
    void SaveAuth();
    void RestoreAuth();

    void btnOkClick();
    void btnCancelClick();
    void tmLoginTimer();

    bool IsAutoLogin = true;

    QLabel *lbVersion = nullptr;
    QLineEdit *edLogin = nullptr;
    QLineEdit *edPassword = nullptr;
    QCheckBox *cbSaveAuth = nullptr;
    QPushButton *btnOk = nullptr;
    QPushButton *btnCancel = nullptr;
    QTimer *tmLogin = nullptr;

protected:
    void FormShow() override {}
};
