#pragma once

#include <QApplication>

#include <functional>

// The application title: the tray icon's hint and balloon title and the caption of the
// uncaught-failure box. It is not Qt's display name, which would be appended to every
// window caption.
inline const QString ZxApplicationTitle = QStringLiteral("Qira Client");

// The application object. A failure that no routine caught ends the current user
// action here and is shown in the uncaught-failure box; the program goes on.
class TZxApplication : public QApplication
{
    Q_OBJECT

public:
    TZxApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// Asks the application to end: the event loop stops as soon as it runs, even when the
// request comes before it has started. Tests install a handler of their own.
void TerminateApplication();
void SetTerminateHandler(std::function<void()> handler);
