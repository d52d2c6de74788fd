#include "fmzxlogin.h"

#include "dmqiraclientdatas.h"
#include "settingskeeper.h"
#include "zxapplication.h"
#include "zxbase.h"
#include "zxinifile.h"
#include "zxmess.h"
#include "zxroot.h"
#include "zxstyles.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const QString AuthSection = QStringLiteral("ConnectionSettings");
const QString AuthKey = QStringLiteral("TfmZxLogins");
const QString AuthGroup = QStringLiteral("Auth");
} // namespace

TfmZxLogins::TfmZxLogins(QWidget *parent) : Tzxforms(QStringLiteral("TfmZxLogins"), parent)
{
    // This window's creation replaces the base step: no style or tray set-up.
    setWindowTitle(QStringLiteral("Авторизація"));
    SetDesignedSize(648, 191);

    auto *paLogin = new QWidget(this);
    paLogin->setObjectName(QStringLiteral("paLogin"));
    auto *imLogin = new QLabel(paLogin);
    imLogin->setObjectName(QStringLiteral("imLogin"));
    imLogin->setPixmap(ZxAppIcon().pixmap(128, 128));
    imLogin->setFixedWidth(241);
    imLogin->setAlignment(Qt::AlignCenter);

    auto *lbLabel = new QLabel(QStringLiteral("Qira® App"), paLogin);
    lbLabel->setObjectName(QStringLiteral("lbLabel"));
    QFont labelFont(QStringLiteral("Times New Roman"));
    labelFont.setStyleHint(QFont::Serif);
    labelFont.setBold(true);
    labelFont.setPixelSize(27);
    lbLabel->setFont(labelFont);

    lbVersion = new QLabel(paLogin);
    lbVersion->setObjectName(QStringLiteral("lbVersion"));
    QFont versionFont = font();
    versionFont.setBold(true);
    lbVersion->setFont(versionFont);

    auto *lbUser = new QLabel(QStringLiteral("Пользователь"), paLogin);
    lbUser->setObjectName(QStringLiteral("lbUser"));
    edLogin = new QLineEdit(paLogin);
    edLogin->setObjectName(QStringLiteral("edLogin"));
    auto *lbPassword = new QLabel(QStringLiteral("Пароль"), paLogin);
    lbPassword->setObjectName(QStringLiteral("lbPassword"));
    edPassword = new QLineEdit(paLogin);
    edPassword->setObjectName(QStringLiteral("edPassword"));
    edPassword->setEchoMode(QLineEdit::Password);
    edPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    cbSaveAuth = new QCheckBox(QStringLiteral("Запомнить пароль"), paLogin);
    cbSaveAuth->setObjectName(QStringLiteral("cbSaveAuth"));

    auto *fields = new QGridLayout;
    fields->addWidget(lbLabel, 0, 0, 1, 2);
    fields->addWidget(lbVersion, 1, 0, 1, 2);
    fields->addWidget(lbUser, 2, 0);
    fields->addWidget(edLogin, 2, 1);
    fields->addWidget(lbPassword, 3, 0);
    fields->addWidget(edPassword, 3, 1);
    fields->addWidget(cbSaveAuth, 4, 1);
    auto *loginLayout = new QHBoxLayout(paLogin);
    loginLayout->addWidget(imLogin);
    loginLayout->addLayout(fields, 1);

    auto *paTools = new QWidget(this);
    paTools->setObjectName(QStringLiteral("paTools"));
    paTools->setFixedHeight(35);
    btnOk = new QPushButton(QStringLiteral("Войти"), paTools);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Отмена"), paTools);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    auto *tools = new QHBoxLayout(paTools);
    tools->setContentsMargins(4, 2, 4, 2);
    tools->addStretch();
    tools->addWidget(btnOk);
    tools->addWidget(btnCancel);
    connect(btnOk, &QPushButton::clicked, this, &TfmZxLogins::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfmZxLogins::btnCancelClick);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(paLogin, 1);
    layout->addWidget(paTools);

    IsAutoLogin = true;
    lbVersion->setText(QStringLiteral("Версія: ") + Tzxroot::Instance()->Ver->Version);
    RestoreAuth();

    tmLogin = new QTimer(this);
    tmLogin->setObjectName(QStringLiteral("tmLogin"));
    tmLogin->setInterval(300);
    connect(tmLogin, &QTimer::timeout, this, &TfmZxLogins::tmLoginTimer);
    tmLogin->start();
}

bool TfmZxLogins::Auth(TdmQiraClientDatas *CliData, bool AutoLogin)
{
    TConnectDs connect = CliData->ConnectInfo();
    IsAutoLogin = AutoLogin;
    if (exec() != QDialog::Accepted)
        return false;
    connect.User = ZxTrim(edLogin->text());
    connect.Password = ZxTrim(edPassword->text());
    return CliData->Auth(connect);
}

void TfmZxLogins::btnOkClick()
{
    if (ZxTrim(edLogin->text()).isEmpty()) {
        ErrorBox(QStringLiteral("Логин не может быть пустым!"));
        return;
    }
    if (ZxTrim(edPassword->text()).isEmpty()) {
        ErrorBox(QStringLiteral("Пароль не может быть пустым!"));
        return;
    }
    SaveAuth();
    accept();
}

void TfmZxLogins::btnCancelClick()
{
    TerminateApplication();
    reject();
}

void TfmZxLogins::tmLoginTimer()
{
    tmLogin->stop();
    if (IsAutoLogin && cbSaveAuth->isChecked())
        btnOk->click();
}

void TfmZxLogins::SaveAuth()
{
    TSettingsKeeper auth;
    const bool remember = cbSaveAuth->isChecked();
    auth.addText(QStringLiteral("SaveAuth"), remember ? QStringLiteral("1") : QStringLiteral("0"));
    auth.addText(QStringLiteral("Login"), remember ? edLogin->text() : QString());
    auth.addText(QStringLiteral("Password"), remember ? edPassword->text() : QString());
    TSettingsKeeper keeper;
    keeper.addGroup(AuthGroup, std::move(auth));
    WriteSettingsEntry(AuthSection, AuthKey, keeper.toJson());
}

void TfmZxLogins::RestoreAuth()
{
    const TSettingsKeeper keeper = TSettingsKeeper::fromJson(ReadSettingsEntry(AuthSection, AuthKey));
    const TSettingsKeeper *auth = keeper.TryGetSubsettingsValue(AuthGroup);
    if (!auth)
        return;
    if (const auto save = auth->TryGetStringValue(QStringLiteral("SaveAuth")))
        cbSaveAuth->setChecked(*save == QStringLiteral("1"));
    if (const auto login = auth->TryGetStringValue(QStringLiteral("Login")))
        edLogin->setText(*login);
    if (const auto password = auth->TryGetStringValue(QStringLiteral("Password")))
        edPassword->setText(*password);
}
