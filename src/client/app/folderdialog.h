#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

// Picks a folder with the system's folder dialog. Tests answer it in advance with
// SetChooser; the chooser gets the title and the starting folder and returns the
// chosen folder, or nothing for Cancel.
class TFolderDialog : public QObject
{
    Q_OBJECT

public:
    using Chooser = std::function<std::optional<QString>(const QString &title, const QString &start)>;

    explicit TFolderDialog(QObject *owner = nullptr);

    QString Title;
    QString Caption;
    QString Directory;

    bool Execute();

    static void SetChooser(Chooser chooser);

private:
    static Chooser s_chooser;
};
