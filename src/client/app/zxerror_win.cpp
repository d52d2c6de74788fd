#include "zxerror_win.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

QString DisplayText(const QString &text)
{
    QString display = text;
    display.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    display.replace(u'\r', u'\n');
    return display;
}

TfmzxError_Wins::TfmzxError_Wins(QWidget *parent) : Tzxforms(QStringLiteral("TfmzxError_Wins"), parent)
{
    FormCreate();
    setWindowTitle(QStringLiteral("Error"));
    SetDesignedSize(736, 314);

    auto *lmIcon = new QLabel(this);
    lmIcon->setObjectName(QStringLiteral("lmIcon"));
    lmIcon->setFixedWidth(77);
    lmIcon->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lmIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(64, 64));

    auto *paError = new QWidget(this);
    paError->setObjectName(QStringLiteral("paError"));
    lbTitle = new QLabel(paError);
    lbTitle->setObjectName(QStringLiteral("lbTitle"));
    lbTitle->setWordWrap(true);
    QFont titleFont(QStringLiteral("Tahoma"));
    titleFont.setPixelSize(13);
    titleFont.setBold(true);
    lbTitle->setFont(titleFont);
    meErr = new QPlainTextEdit(paError);
    meErr->setObjectName(QStringLiteral("meErr"));
    meErr->setReadOnly(true);
    meErr->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette memoPalette = meErr->palette();
    memoPalette.setColor(QPalette::Base, QColor(233, 233, 233));
    meErr->setPalette(memoPalette);
    auto *errorLayout = new QVBoxLayout(paError);
    errorLayout->setContentsMargins(0, 0, 0, 0);
    errorLayout->addWidget(lbTitle);
    errorLayout->addWidget(meErr, 1);

    auto *paTools = new QWidget(this);
    paTools->setObjectName(QStringLiteral("paTools"));
    paTools->setFixedHeight(35);
    btnOk = new QPushButton(QStringLiteral("Закрыть"), paTools);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setFixedSize(105, 25);
    auto *toolsLayout = new QHBoxLayout(paTools);
    toolsLayout->addWidget(btnOk);
    toolsLayout->addStretch();
    connect(btnOk, &QPushButton::clicked, this, &QDialog::reject);

    auto *body = new QHBoxLayout;
    body->addWidget(lmIcon);
    body->addWidget(paError, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addWidget(paTools);
}

int TfmzxError_Wins::ErrDialog(const QString &TitleErr, const QString &MessErr, const QString &)
{
    lbTitle->setText(TitleErr);
    meErr->setPlainText(DisplayText(MessErr));
    return exec();
}

void ShowErrorWinModal(const QString &title, const QString &message, const QString &buttons)
{
    // The window frees itself when it closes (base window behaviour).
    auto *window = new TfmzxError_Wins(QApplication::activeWindow());
    window->ErrDialog(title, message, buttons);
}
