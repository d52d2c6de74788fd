#pragma once

#include <QUrl>

#include <functional>

// Opens files and folders with the programs the system associates with them: the
// shell's "open". Tests install an opener of their own and record what would have been
// opened.
using TQiraShellOpener = std::function<void(const QUrl &url)>;

// An empty opener restores the default, QDesktopServices::openUrl.
void SetShellOpener(TQiraShellOpener opener);
// Opens a local file or folder; the system's answer is not read.
void ShellOpen(const QString &path);
