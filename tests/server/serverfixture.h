#pragma once

#include "qiraerrors.h"
#include "qirasqlstore.h"
#include "storebackend.h"
#include "zxbase.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// A fresh store (SQLite, or PostgreSQL when the tests run there) in a temporary folder with an administrator and two ordinary
// users (role "2"), and helpers that go through the facade as a client would.
class ServerFixture
{
public:
    QTemporaryDir dir;
    TestStore backend;
    TQiraStoreOptions storeOptions;
    std::unique_ptr<TQiraSqlStore> store;
    TQiraSession admin;
    TQiraSession user;
    TQiraSession other;

    explicit ServerFixture(TQiraStoreOptions options = {})
    {
        options.passwordIterations = 10; // hashing cost is not what these tests measure
        storeOptions = options;
        store = backend.open(dataDir(), options);
        store->bootstrapAdministrator(QStringLiteral("admin"), TextMD5(QStringLiteral("admin")));
        admin = store->signIn(QStringLiteral("admin"), TextMD5(QStringLiteral("admin")));
        addUser(QStringLiteral("user"), QStringLiteral("2"));
        addUser(QStringLiteral("other"), QStringLiteral("2"));
        user = store->signIn(QStringLiteral("user"), TextMD5(QStringLiteral("user")));
        other = store->signIn(QStringLiteral("other"), TextMD5(QStringLiteral("other")));
    }

    QString dataDir() const { return dir.path() + QStringLiteral("/data"); }

    // Closes the store and opens it again on the same data, as a restarted server does.
    void reopen()
    {
        store.reset();
        store = backend.open(dataDir(), storeOptions);
    }

    void addUser(const QString &login, const QString &role, int active = 1)
    {
        TQiraRowChange row;
        row.state = TQiraRowChange::State::Inserted;
        row.values = {{QStringLiteral("user_id"), NewID()},   {QStringLiteral("login"), login},
                      {QStringLiteral("Roleid"), role},       {QStringLiteral("active"), active},
                      {QStringLiteral("password"), TextMD5(login)}};
        store->applyUserChanges(admin, {row});
    }

    QString branch(const QString &name, const QString &parent = {})
    {
        const QString id = NewID();
        store->insertBranch(admin, id, parent, name);
        return id;
    }

    // A grant: flags is a comma list of rtree, wtree, admtree, rfile, wfile, rmyfile.
    void grant(const QString &treeId, const QString &login, const QString &role, const QString &flags)
    {
        TQiraRowChange row;
        row.state = TQiraRowChange::State::Inserted;
        row.values = {{QStringLiteral("tree_rightid"), NewID()}, {QStringLiteral("TreeID"), treeId},
                      {QStringLiteral("username"), login},       {QStringLiteral("roleid"), role}};
        for (const char *flag : {"rtree", "wtree", "admtree", "rfile", "wfile", "rmyfile"})
            row.values.insert(QString::fromLatin1(flag), flags.split(u',').contains(QString::fromLatin1(flag)) ? 1 : 0);
        store->applyGrantChanges(admin, {row});
    }

    static TQiraRowChange insertRow(const QVariantMap &values)
    {
        TQiraRowChange row;
        row.state = TQiraRowChange::State::Inserted;
        row.values = values;
        return row;
    }

    static TQiraRowChange modifyRow(const QString &fileId, const QVariantMap &values, const QVariantMap &original = {})
    {
        TQiraRowChange row;
        row.state = TQiraRowChange::State::Modified;
        row.original = original;
        row.original.insert(QStringLiteral("fileid"), fileId);
        row.values = values;
        row.values.insert(QStringLiteral("fileid"), fileId);
        return row;
    }

    QString file(const QString &treeId, const QString &name, const QVariantMap &extra = {},
                 const TQiraSession *as = nullptr)
    {
        const QString id = NewID();
        QVariantMap values{{QStringLiteral("fileid"), id},
                           {QStringLiteral("treeid"), treeId},
                           {QStringLiteral("filename"), name},
                           {QStringLiteral("fileext"), QStringLiteral("txt")},
                           {QStringLiteral("del"), 0}};
        for (auto it = extra.begin(); it != extra.end(); ++it)
            values.insert(it.key(), it.value());
        store->applyFileChanges(as ? *as : admin, {insertRow(values)});
        return id;
    }

    static QString md5(const QByteArray &bytes)
    {
        return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
    }

    // The client's check-in: NewChange, chunks of 10 MiB marked Start/Process/End, EndChange.
    // Returns the number of chunk calls.
    int upload(const TQiraSession &as, const QString &fileId, const QByteArray &bytes)
    {
        auto state = store->newUpload();
        const TQiraHistoryInfo info = UploadHistoryInfo(fileId, md5(bytes), bytes.size());
        store->beginChange(as, *state, info);
        constexpr qint64 chunk = 10485760;
        const qint64 size = bytes.size();
        const qint64 n = (size + chunk - 1) / chunk;
        qint64 held = 0;
        for (qint64 i = 0; i < n; ++i) {
            const QString status = i == 0 ? QStringLiteral("Start")
                                   : (i == n - 1 ? QStringLiteral("End") : QStringLiteral("Process"));
            const qint64 from = i * chunk;
            held = store->putChunk(as, *state, fileId, bytes.mid(from, qMin(chunk, size - from)), size, status);
        }
        if (n > 0 && held != size)
            throw EQiraStoreError(QStringLiteral("short upload"));
        store->endChange(as, *state, info);
        return int(n);
    }

    // The client's download: inclusive ranges of 1 MiB, the first one byte longer.
    QByteArray download(const TQiraSession &as, const QString &fileId, int *calls = nullptr)
    {
        const qint64 size = store->fileSize(as, fileId);
        constexpr qint64 chunk = 1048576;
        const qint64 n = (size + chunk - 1) / chunk;
        QByteArray bytes;
        int made = 0;
        for (qint64 i = 0; i < n; ++i) {
            const qint64 from = i * chunk + (i > 0 ? 1 : 0);
            if (from > size)
                break;
            const qint64 to = qMin((i + 1) * chunk, size);
            bytes += store->readFilePart(as, fileId, from, to);
            ++made;
        }
        if (calls)
            *calls = made;
        return bytes;
    }

    static TQiraFilter listOf(const QString &treeId, qint64 rows = 50, const QString &order = QStringLiteral("f.filename"))
    {
        TQiraFilter f;
        f.TreeID = treeId;
        f.KolRows = rows;
        f.order = order;
        return f;
    }

    static QStringList names(const TQiraRowSet &set)
    {
        QStringList list;
        for (int r = 0; r < set.rows.size(); ++r)
            list.append(set.value(r, QStringLiteral("filename")).toString());
        return list;
    }

    QVariant fileValue(const QString &fileId, const QString &column)
    {
        TQiraFilter f;
        f.FileID = fileId;
        f.IsShowDel = true;
        const TQiraRowSet set = store->files(admin, f, QStringLiteral("iqFiles"));
        return set.rows.isEmpty() ? QVariant() : set.value(0, column);
    }

    // Everything the store holds: every table's rows, the content and temporary files.
    QString snapshot()
    {
        QString text;
        QSqlDatabase db = store->connection();
        for (const char *table : {"branches", "files", "versions", "previews", "users", "roles", "tree_rights",
                                  "tabu_files", "qira_meta"}) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("SELECT * FROM %1").arg(QString::fromLatin1(table)));
            QStringList rows;
            while (q.next()) {
                QStringList cells;
                for (int i = 0; i < q.record().count(); ++i)
                    cells.append(q.value(i).toString());
                rows.append(cells.join(u'|'));
            }
            rows.sort();
            text += QString::fromLatin1(table) + u'\n' + rows.join(u'\n') + u'\n';
        }
        QStringList disk;
        QDirIterator it(dataDir(), {QStringLiteral("*")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (!path.contains(QStringLiteral("qira.db")))
                disk.append(path);
        }
        disk.sort();
        return text + disk.join(u'\n');
    }

    QStringList tempFiles() const
    {
        return QDir(dataDir() + QStringLiteral("/tmp")).entryList(QDir::Files);
    }
};
