#include "fmzxsetpasswd.h"

#include "zxbase.h"
#include "zxmess.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfmZxSetPasswds::TfmZxSetPasswds(QWidget *parent) : Tzxforms(QStringLiteral("TfmZxSetPasswds"), parent)
{
    FormCreate();
    setWindowTitle(QStringLiteral("Установка пароля"));
    SetDesignedSize(384, 106);
    setFixedSize(384, 106);

    auto *paPassword = new QWidget(this);
    paPassword->setObjectName(QStringLiteral("paPassword"));
    edPasswd1 = new QLineEdit(paPassword);
    edPasswd1->setObjectName(QStringLiteral("edPasswd1"));
    edPasswd1->setEchoMode(QLineEdit::Password);
    edPasswd2 = new QLineEdit(paPassword);
    edPasswd2->setObjectName(QStringLiteral("edPasswd2"));
    edPasswd2->setEchoMode(QLineEdit::Password);
    auto *form = new QFormLayout(paPassword);
    form->addRow(QStringLiteral("Пароль"), edPasswd1);
    form->addRow(QStringLiteral("Повторите пароль"), edPasswd2);

    auto *paButton = new QWidget(this);
    paButton->setObjectName(QStringLiteral("paButton"));
    paButton->setFixedHeight(35);
    btnOk = new QPushButton(QStringLiteral("Установить пароль"), paButton);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    Button1 = new QPushButton(QStringLiteral("Отмена"), paButton);
    Button1->setObjectName(QStringLiteral("Button1"));
    auto *buttons = new QHBoxLayout(paButton);
    buttons->setContentsMargins(4, 2, 4, 2);
    buttons->addWidget(btnOk);
    buttons->addWidget(Button1);
    buttons->addStretch();
    connect(btnOk, &QPushButton::clicked, this, &TfmZxSetPasswds::btnOkClick);
    connect(Button1, &QPushButton::clicked, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(paPassword, 1);
    layout->addWidget(paButton);
}

int TfmZxSetPasswds::Dialog(QString &Passwd)
{
    const int result = exec();
    if (result == QDialog::Accepted)
        Passwd = ZxTrim(edPasswd1->text());
    return result;
}

void TfmZxSetPasswds::btnOkClick()
{
    const QString first = ZxTrim(edPasswd1->text());
    const QString second = ZxTrim(edPasswd2->text());
    if (first.isEmpty()) {
        ErrorBox(QStringLiteral("Пароль не может быть пустым!"));
        return;
    }
    if (second.isEmpty()) {
        ErrorBox(QStringLiteral("Укажите пароль во 2-м поле!"));
        edPasswd2->setFocus();
        return;
    }
    if (first != second) {
        ErrorBox(QStringLiteral("Введенные пароли не совпадают в обоих полях!\rУкажите одинаковый пароль в обоих полях."));
        return;
    }
    accept();
}
