#include "folderdialog.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

TFolderDialog::Chooser TFolderDialog::s_chooser;

TFolderDialog::TFolderDialog(QObject *owner) : QObject(owner), Directory(QDir::currentPath()) {}

void TFolderDialog::SetChooser(Chooser chooser) { s_chooser = std::move(chooser); }

bool TFolderDialog::Execute()
{
    if (!QFileInfo(Directory).isDir())
        Directory = QDir::currentPath();
    std::optional<QString> chosen;
    if (s_chooser) {
        chosen = s_chooser(Title, Directory);
    } else {
        const QString caption = Caption.isEmpty() ? Title : Caption;
        const QString folder = QFileDialog::getExistingDirectory(QApplication::activeWindow(), caption, Directory);
        if (!folder.isEmpty())
            chosen = folder;
    }
    if (!chosen || !QFileInfo(*chosen).isDir())
        return false;
    Directory = QDir::toNativeSeparators(*chosen);
    return true;
}
