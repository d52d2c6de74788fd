#pragma once

#include "zxform.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The modal error window: a title above a read-only text.
class TfmzxError_Wins : public Tzxforms
{
    Q_OBJECT

public:
    explicit TfmzxError_Wins(QWidget *parent = nullptr);

    // ButtinsErr has no effect; it is kept for the callers' sake.
    int ErrDialog(const QString &TitleErr, const QString &MessErr, const QString &ButtinsErr);

    QLabel *lbTitle = nullptr;
    QPlainTextEdit *meErr = nullptr;
    QPushButton *btnOk = nullptr;
};

// Opens an error window with the texts and returns when the user closes it.
void ShowErrorWinModal(const QString &title, const QString &message, const QString &buttons);

// Message texts use "\r" for a line break; widgets want "\n".
QString DisplayText(const QString &text);
