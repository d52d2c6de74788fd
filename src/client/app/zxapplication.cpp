#include "zxapplication.h"

#include "zxerror.h"
#include "zxmess.h"

#include <QTimer>

namespace {
std::function<void()> g_terminateHandler;
}

TZxApplication::TZxApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("qira-client"));
    setApplicationVersion(QStringLiteral("2.3.17"));
}

bool TZxApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const EAbort &) {
        return false; // already explained to the user
    } catch (const EZxError &error) {
        ShowUncaughtFailure(error.message());
    } catch (const std::exception &error) {
        ShowUncaughtFailure(QString::fromLocal8Bit(error.what()));
    }
    return false;
}

void TerminateApplication()
{
    if (g_terminateHandler) {
        g_terminateHandler();
        return;
    }
    // Queued, so that a request made before the loop starts ends it at once.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

void SetTerminateHandler(std::function<void()> handler) { g_terminateHandler = std::move(handler); }
