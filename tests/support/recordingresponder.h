#pragma once

#include "zxmess.h"

#include <QList>
#include <QString>

// Records every message box and error window, and answers OK/Cancel questions from a
// script (OK when the script is empty). Installs itself for its lifetime.
class RecordingResponder final : public TZxMessageResponder
{
public:
    struct Box
    {
        QString kind; // "error", "info", "okcancel", "window", "plain", "uncaught"
        QString caption;
        QString text;
    };

    RecordingResponder() { SetMessageResponder(this); }
    ~RecordingResponder() override { SetMessageResponder(nullptr); }

    void errorBox(const QString &text) override { boxes.append({QStringLiteral("error"), {}, text}); }
    void infoBox(const QString &text) override { boxes.append({QStringLiteral("info"), {}, text}); }
    int okCancelBox(const QString &caption, const QString &text) override
    {
        boxes.append({QStringLiteral("okcancel"), caption, text});
        return answers.isEmpty() ? IdOk : answers.takeFirst();
    }
    void errorWindow(const QString &title, const QString &message, const QString &) override
    {
        boxes.append({QStringLiteral("window"), title, message});
    }
    void plainBox(const QString &text) override { boxes.append({QStringLiteral("plain"), {}, text}); }
    void uncaughtBox(const QString &text) override { boxes.append({QStringLiteral("uncaught"), {}, text}); }

    QList<Box> boxes;
    QList<int> answers;
};
