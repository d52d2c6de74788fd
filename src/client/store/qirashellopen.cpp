#include "qirashellopen.h"

#include <QDesktopServices>

namespace {
TQiraShellOpener g_opener;
}

void SetShellOpener(TQiraShellOpener opener) { g_opener = std::move(opener); }

void ShellOpen(const QString &path)
{
    const QUrl url = QUrl::fromLocalFile(path);
    if (g_opener)
        g_opener(url);
    else
        QDesktopServices::openUrl(url);
}
