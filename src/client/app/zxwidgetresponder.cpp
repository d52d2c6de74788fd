#include "zxwidgetresponder.h"

#include "zxapplication.h"
#include "zxerror_win.h"

#include <QApplication>
#include <QMessageBox>

namespace {

int showBox(QMessageBox::Icon icon, const QString &caption, const QString &text,
            QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, caption, DisplayText(text), buttons, QApplication::activeWindow());
    if (buttons & QMessageBox::Cancel)
        box.setEscapeButton(QMessageBox::Cancel);
    return box.exec();
}

} // namespace

void TZxWidgetResponder::errorBox(const QString &text)
{
    showBox(QMessageBox::Critical, QStringLiteral("Ошибка"), text, QMessageBox::Ok);
}

void TZxWidgetResponder::infoBox(const QString &text)
{
    showBox(QMessageBox::Information, QStringLiteral("Информация"), text, QMessageBox::Ok);
}

int TZxWidgetResponder::okCancelBox(const QString &caption, const QString &text)
{
    const int answer = showBox(QMessageBox::Information, caption, text,
                               QMessageBox::Ok | QMessageBox::Cancel);
    return answer == QMessageBox::Ok ? IdOk : IdCancel;
}

void TZxWidgetResponder::errorWindow(const QString &title, const QString &message, const QString &buttons)
{
    ShowErrorWinModal(title, message, buttons);
}

void TZxWidgetResponder::plainBox(const QString &text)
{
    showBox(QMessageBox::NoIcon, ZxApplicationTitle, text, QMessageBox::Ok);
}

void TZxWidgetResponder::uncaughtBox(const QString &text)
{
    showBox(QMessageBox::Critical, ZxApplicationTitle, text, QMessageBox::Ok);
}
