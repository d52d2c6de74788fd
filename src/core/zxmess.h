#pragma once

#include <QString>

// Every message box and the error window go through one replaceable responder, so that
// the logic can run without a window and tests can answer boxes from a script.
class TZxMessageResponder
{
public:
    virtual ~TZxMessageResponder() = default;
    virtual void errorBox(const QString &text) = 0;
    virtual void infoBox(const QString &text) = 0;
    // Returns 1 for OK and 2 for Cancel.
    virtual int okCancelBox(const QString &caption, const QString &text) = 0;
    virtual void errorWindow(const QString &title, const QString &message,
                             const QString &buttons) = 0;
    // A box with an OK button and no icon.
    virtual void plainBox(const QString &text) = 0;
    // The box for failures that no routine caught: the application title as caption.
    virtual void uncaughtBox(const QString &text) = 0;
};

// Installs a responder (not owned); nullptr restores the default, which writes the
// texts to the log and answers Cancel.
void SetMessageResponder(TZxMessageResponder *responder);
TZxMessageResponder *MessageResponder();

void ErrorBox(const QString &text);
void InfoBox(const QString &text);
int OkCancelBox(const QString &caption, const QString &text);
void ShowErrorWin(const QString &title, const QString &message, const QString &buttons = {});
void ShowMessage(const QString &text);
// Reports a failure that reached the event loop uncaught; a full stop is appended when
// the message ends with a character above it.
void ShowUncaughtFailure(const QString &message);

inline constexpr int IdOk = 1;
inline constexpr int IdCancel = 2;
