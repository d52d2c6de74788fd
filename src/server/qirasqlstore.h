#pragma once

#include "qiracontentstore.h"
#include "qirarights.h"
#include "qirasqldialect.h"
#include "qirastore.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariantList>

#include <functional>
#include <memory>
#include <optional>

// The store over an SQL database (the dialect says which) and a content folder. One
// database connection per calling thread, opened on first use.
class TQiraSqlStore : public TQiraStore
{
public:
    TQiraSqlStore(std::unique_ptr<TQiraSqlDialect> dialect, QString dataDir, TQiraStoreOptions options);
    ~TQiraSqlStore() override;

    // A SQLite store in dataDir (created when missing): qira.db and content/. Opened and
    // migrated; throws EQiraStoreError.
    static std::unique_ptr<TQiraSqlStore> openSqlite(const QString &dataDir, TQiraStoreOptions options = {});
    // A PostgreSQL store: the database named by a libpq connection string ("host=…
    // dbname=…"), its tables in schema when given, the content folder in dataDir.
    static std::unique_ptr<TQiraSqlStore> openPostgres(const QString &connectionString, const QString &dataDir,
                                                       TQiraStoreOptions options = {}, const QString &schema = {});

    // Migrates the schema, cleans leftovers of interrupted writes and removes contents
    // that no version refers to.
    void open();
    QString dataDir() const { return m_dataDir; }
    const TQiraContentStore &content() const { return m_content; }
    const TQiraSqlDialect &dialect() const { return *m_dialect; }
    // The calling thread's connection, for operators' checks and tests.
    QSqlDatabase connection() { return db(); }
    // True when the store holds no user yet (a fresh store).
    bool isEmpty();

    QDateTime now() const override;

    TQiraSession signIn(const QString &login, const QString &passwordDigest) override;
    bool bootstrapAdministrator(const QString &login, const QString &passwordDigest) override;

    TTreeRights rights(const TQiraSession &session, const QString &treeId) override;

    TQiraRowSet tree(const TQiraSession &session, const QString &parentId, bool showDeleted) override;
    void insertBranch(const TQiraSession &session, const QString &newTreeId, const QString &parentId,
                      const QString &name) override;
    void renameBranch(const TQiraSession &session, const QString &treeId, const QString &name) override;
    void markBranchDeleted(const TQiraSession &session, const QString &treeId, int del) override;
    void purgeBranch(const TQiraSession &session, const QString &treeId) override;
    void moveBranch(const TQiraSession &session, const QString &treeId, const QString &newParentId) override;
    QString branchPath(const TQiraSession &session, const QString &treeId) override;
    QString findChild(const TQiraSession &session, const QString &parentId, const QString &name) override;

    TQiraRowSet files(const TQiraSession &session, const TQiraFilter &filter, const QString &tableName) override;
    TQiraFileCount countFiles(const TQiraSession &session, const TQiraFilter &filter) override;
    void applyFileChanges(const TQiraSession &session, const QList<TQiraRowChange> &changes) override;
    void purgeFile(const TQiraSession &session, const QString &fileId) override;

    QString clientFileName(const TQiraSession &session, const QString &fileId) override;
    QString serverFileName(const TQiraSession &session, const QString &fileId, bool raiseWhenMissing) override;
    qint64 fileSize(const TQiraSession &session, const QString &fileId) override;
    QByteArray readFilePart(const TQiraSession &session, const QString &fileId, qint64 from, qint64 to) override;
    std::unique_ptr<TQiraUpload> newUpload() const override;
    qint64 putChunk(const TQiraSession &session, TQiraUpload &upload, const QString &fileId,
                    const QByteArray &chunk, qint64 declaredSize, const QString &status) override;
    void beginChange(const TQiraSession &session, TQiraUpload &upload, const TQiraHistoryInfo &info) override;
    TQiraHistoryInfo endChange(const TQiraSession &session, TQiraUpload &upload, const TQiraHistoryInfo &info) override;

    TQiraRowSet history(const TQiraSession &session, const QString &fileId) override;
    TQiraFileContent currentContent(const TQiraSession &session, const QString &fileId) override;
    QString contentPath(const TQiraFileContent &content) const override;
    void setPreview(const TQiraSession &session, const QString &fileId, const QByteArray &png) override;

    TQiraRowSet users(const TQiraSession &session) override;
    void applyUserChanges(const TQiraSession &session, const QList<TQiraRowChange> &changes) override;
    TQiraRowSet roles(const TQiraSession &session) override;
    void applyRoleChanges(const TQiraSession &session, const QList<TQiraRowChange> &changes) override;
    TQiraRowSet treeGrants(const TQiraSession &session, const QString &treeId) override;
    void applyGrantChanges(const TQiraSession &session, const QList<TQiraRowChange> &changes) override;
    TQiraRowSet tabuFiles(const TQiraSession &session) override;
    void applyTabuChanges(const TQiraSession &session, const QList<TQiraRowChange> &changes) override;

    QString sqlText(const QString &tableName) const override;

    // How the database answers the page query of a list request: one line per step of
    // its plan. For operators and tests that check the indexes serve the lists.
    QStringList listPlan(const TQiraSession &session, const TQiraFilter &filter);

    // Adds the demo's version bytes directly (no upload state); used by the demo filler.
    void storeVersion(const TQiraSession &session, const QString &fileId, const QByteArray &bytes);

private:
    class Transaction;
    struct Branch
    {
        QString treeId;
        QString parentId;
        QString name;
        QString path;
        int del = 0;
    };
    struct FileInfo
    {
        QString fileId;
        QString treeId;
        QString treePath;
        QString fileName;
        QString fileExt;
        QString userCreate;
        QString workingUser;
        QString contentKey;
        qint64 sizeBytes = 0;
        qint64 countHistory = 0;
    };
    struct Where
    {
        QStringList terms;
        QVariantList params;
        bool nothing = false; // the user may read none of the scope
        QString indexScope;   // "b" (a branch or subtree), "a" (the store) or empty
    };

    struct PageQuery
    {
        QString sql;
        QVariantList params;
        bool nothing = false;
        QList<TQiraColumn> columns;
    };
    PageQuery pageQuery(const TQiraSession &session, const TQiraFilter &filter);

    QSqlDatabase db();
    QSqlQuery exec(const QString &sql, const QVariantList &params = {});
    QVariant toDb(const QDateTime &value) const { return m_dialect->toDb(value); }
    QVariant nullText() const;
    TQiraRowSet readRows(QSqlQuery &query, const QString &tableName, const QList<TQiraColumn> &columns);

    std::optional<Branch> findBranch(const QString &treeId);
    Branch branchOrThrow(const QString &treeId);
    std::optional<FileInfo> findFile(const QString &fileId);
    FileInfo fileOrThrow(const QString &fileId);
    QList<TQiraRights::Grant> grantsFor(const QStringList &paths);
    QList<TQiraRights::Grant> grantsAround(const QString &scopePath);
    TQiraRights::Flags flagsAt(const TQiraSession &session, const QString &treePath);
    TQiraRights::Flags rootFlags(const TQiraSession &session) const;
    void requireAdmin(const TQiraSession &session, const QString &what) const;
    void requireTreeWrite(const TQiraSession &session, const QString &treePath, const QString &what);
    // Read or write right on one file, with the own-files limit.
    void requireFileRead(const TQiraSession &session, const FileInfo &file);
    void requireFileWrite(const TQiraSession &session, const FileInfo &file);
    QString nextPathSegment();

    Where listWhere(const TQiraSession &session, const TQiraFilter &filter);
    void removeContentsIfUnused(const QStringList &keys);
    // After a check-in failed past placing its content; never throws.
    void dropContentIfUnused(const QString &key) noexcept;
    void collectOrphanContents();

    void applyFileInsert(const TQiraSession &session, const TQiraRowChange &change);
    void applyFileModify(const TQiraSession &session, const TQiraRowChange &change, const QString &fileId);
    TQiraHistoryInfo recordVersion(const TQiraSession &session, const QString &fileId, const TQiraHistoryInfo &info,
                                   const QString &key, qint64 sizeBytes, const QString &md5,
                                   const std::function<void()> &placeContent);
    void changeLock(const TQiraSession &session, const FileInfo &file, const QVariant &holder);
    struct AdminColumn
    {
        QString name;
        char kind = 't'; // 't' text, 'i' integer, 'f' flag 0 or 1, 'd' date-time
        int size = 0;
    };
    // Rows of an administration table: an insert of a key that exists updates it (the
    // client sends its whole change log with every save), a delete of a missing key is
    // done already. check sees each change and its key before anything is written.
    void applyTableChanges(const TQiraSession &session, const QString &table, const QString &key,
                           const QList<AdminColumn> &columns, const QList<TQiraRowChange> &changes,
                           const std::function<void(const TQiraRowChange &, const QString &, bool)> &check,
                           const std::function<void(const TQiraRowChange &, const QString &)> &after);
    QVariant adminValue(const AdminColumn &column, const QVariant &value) const;

    std::unique_ptr<TQiraSqlDialect> m_dialect;
    QString m_dataDir;
    TQiraStoreOptions m_options;
    TQiraContentStore m_content;
    QString m_connectionPrefix;
};
