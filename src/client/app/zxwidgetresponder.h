#pragma once

#include "zxmess.h"

// The message boxes and the error window as real windows.
class TZxWidgetResponder final : public TZxMessageResponder
{
public:
    void errorBox(const QString &text) override;
    void infoBox(const QString &text) override;
    int okCancelBox(const QString &caption, const QString &text) override;
    void errorWindow(const QString &title, const QString &message, const QString &buttons) override;
    void plainBox(const QString &text) override;
    void uncaughtBox(const QString &text) override;
};
