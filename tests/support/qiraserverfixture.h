#pragma once

#include "qirademofiller.h"
#include "qiraserverhost.h"
#include "qirasqlstore.h"
#include "zxbase.h"

#include <QHostAddress>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The real document server in this process: a store in a temporary folder (with the
// demo when asked) served on ephemeral loopback ports.
class QiraServerFixture
{
public:
    explicit QiraServerFixture(bool demo = true, TQiraStoreOptions options = {})
    {
        store = TQiraSqlStore::openSqlite(dir.filePath(QStringLiteral("data")), options);
        if (demo)
            accounts = TQiraDemoFiller::fill(*store);
        TZxServerOptions serverOptions;
        serverOptions.Address = QHostAddress::LocalHost;
        serverOptions.TcpPort = 0;
        serverOptions.HttpPort = 0;
        host = std::make_unique<TQiraServerHost>(*store, serverOptions);
        host->Start();
    }

    ~QiraServerFixture() { host->Stop(); }

    // For a store without the demo: the administrator admin/admin and the ordinary user
    // user/user; returns the administrator's session.
    TQiraSession addAdminAndUser()
    {
        store->bootstrapAdministrator(QStringLiteral("admin"), TextMD5(QStringLiteral("admin")));
        const TQiraSession admin = store->signIn(QStringLiteral("admin"), TextMD5(QStringLiteral("admin")));
        TQiraRowChange user;
        user.state = TQiraRowChange::State::Inserted;
        user.values = {{QStringLiteral("user_id"), NewID()},
                       {QStringLiteral("login"), QStringLiteral("user")},
                       {QStringLiteral("Roleid"), QStringLiteral("2")},
                       {QStringLiteral("active"), 1},
                       {QStringLiteral("password"), TextMD5(QStringLiteral("user"))}};
        store->applyUserChanges(admin, {user});
        return admin;
    }

    // Connection settings as the main window would make them; the password as typed.
    TConnectDs connectDs(const QString &login, const QString &password,
                         const QString &protocol = QStringLiteral("TCP")) const
    {
        TConnectDs info;
        info.Server = QStringLiteral("127.0.0.1");
        info.Port = protocol == QStringLiteral("TCP") ? host->TcpPort() : host->HttpPort();
        info.Protocol = protocol;
        info.User = login;
        info.Password = password;
        return info;
    }

    QTemporaryDir dir;
    std::unique_ptr<TQiraSqlStore> store;
    QList<TQiraDemoFiller::Account> accounts;
    std::unique_ptr<TQiraServerHost> host;
};
