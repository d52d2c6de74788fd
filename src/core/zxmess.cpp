#include "zxmess.h"

#include <QDebug>

namespace {

class LogResponder final : public TZxMessageResponder
{
public:
    void errorBox(const QString &text) override { qWarning().noquote() << "ErrorBox:" << text; }
    void infoBox(const QString &text) override { qInfo().noquote() << "InfoBox:" << text; }
    int okCancelBox(const QString &caption, const QString &text) override
    {
        qInfo().noquote() << "OkCancelBox:" << caption << text << "-> Cancel";
        return IdCancel;
    }
    void errorWindow(const QString &title, const QString &message, const QString &) override
    {
        qWarning().noquote() << "Error window:" << title << message;
    }
    void plainBox(const QString &text) override { qInfo().noquote() << "Message:" << text; }
    void uncaughtBox(const QString &text) override { qCritical().noquote() << "Failure:" << text; }
};

LogResponder g_logResponder;
TZxMessageResponder *g_responder = nullptr;

} // namespace

void SetMessageResponder(TZxMessageResponder *responder) { g_responder = responder; }

TZxMessageResponder *MessageResponder() { return g_responder ? g_responder : &g_logResponder; }

void ErrorBox(const QString &text) { MessageResponder()->errorBox(text); }
void InfoBox(const QString &text) { MessageResponder()->infoBox(text); }
int OkCancelBox(const QString &caption, const QString &text)
{
    return MessageResponder()->okCancelBox(caption, text);
}
void ShowErrorWin(const QString &title, const QString &message, const QString &buttons)
{
    MessageResponder()->errorWindow(title, message, buttons);
}

void ShowMessage(const QString &text) { MessageResponder()->plainBox(text); }

void ShowUncaughtFailure(const QString &message)
{
    QString text = message;
    if (!text.isEmpty() && text.back().unicode() > u'.')
        text += u'.';
    MessageResponder()->uncaughtBox(text);
}
