#include "fmqiraclientmains.h"
#include "zxapplication.h"
#include "zxerror.h"
#include "zxroot.h"
#include "zxwaitcursor_widgets.h"
#include "zxwidgetresponder.h"

#include <QPointer>

#include <cstdio>

int main(int argc, char **argv)
{
    TZxApplication app(argc, argv);
    Tzxroot root;
    root.Init();
    TZxWidgetResponder responder;
    SetMessageResponder(&responder);
    TZxOverrideWaitCursor waitCursor;
    SetWaitCursor(&waitCursor);

    QPointer<TfmQiraClientMain> mainWindow = new TfmQiraClientMain;
    mainWindow->show();
    const int result = app.exec();

    try {
        root.Destr();
    } catch (const EZxError &error) {
        std::fprintf(stderr, "Settings not saved: %s\n", qPrintable(error.message()));
    }
    delete mainWindow; // still alive when the program was ended without closing it
    SetWaitCursor(nullptr);
    SetMessageResponder(nullptr);
    return result;
}
