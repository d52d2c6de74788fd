#pragma once

#include "qirainfo.h"
#include "qirastoretypes.h"
#include "qiraupload.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>

// The document server's storage facade: every remote method of the document server is
// a thin adapter over one call here. Every call that acts for a user takes his session
// and checks his rights itself; refusals throw EQiraRightsError, bad requests
// EQiraRequestError, lock conflicts EQiraLockError, storage failures EQiraStoreError
// (all EZxError). A refused call changes nothing. Calls may come from several threads at
// once; each thread gets its own database connection.
class TQiraStore
{
public:
    virtual ~TQiraStore() = default;

    virtual QDateTime now() const = 0;

    // --- sign-in -----------------------------------------------------------------------
    // Checks a login and the MD5 digest of the password; records the sign-in time.
    // Throws EQiraAuthError (unknown login, wrong password, inactive user or role).
    virtual TQiraSession signIn(const QString &login, const QString &passwordDigest) = 0;
    // For setting up a store from the command line: creates an administrator (role "1")
    // with this login when no user has it; false when it existed already.
    virtual bool bootstrapAdministrator(const QString &login, const QString &passwordDigest) = 0;

    // --- rights ------------------------------------------------------------------------
    virtual TTreeRights rights(const TQiraSession &session, const QString &treeId) = 0;

    // --- tree (table iqTree: treeid, parent_treeid, treename, ccount, kolrights, del…) --
    virtual TQiraRowSet tree(const TQiraSession &session, const QString &parentId, bool showDeleted) = 0;
    virtual void insertBranch(const TQiraSession &session, const QString &newTreeId,
                              const QString &parentId, const QString &name) = 0;
    virtual void renameBranch(const TQiraSession &session, const QString &treeId, const QString &name) = 0;
    virtual void markBranchDeleted(const TQiraSession &session, const QString &treeId, int del) = 0;
    // Removes the branch, its sub-branches, their files, versions and contents.
    virtual void purgeBranch(const TQiraSession &session, const QString &treeId) = 0;
    // An empty newParentId moves the branch to the top level.
    virtual void moveBranch(const TQiraSession &session, const QString &treeId, const QString &newParentId) = 0;
    // The identifiers from the branch up to its top-level ancestor, joined by ",";
    // empty when the branch is unknown or not readable.
    virtual QString branchPath(const TQiraSession &session, const QString &treeId) = 0;
    // The identifier of the live child of parentId named exactly name; empty when none.
    virtual QString findChild(const TQiraSession &session, const QString &parentId, const QString &name) = 0;

    // --- file list ---------------------------------------------------------------------
    // One page of the list the filter describes, as table tableName (iqFiles or
    // iqFileList), with blob_pic when the filter asks for previews.
    virtual TQiraRowSet files(const TQiraSession &session, const TQiraFilter &filter,
                              const QString &tableName) = 0;
    virtual TQiraFileCount countFiles(const TQiraSession &session, const TQiraFilter &filter) = 0;
    // Applies a change stream of the file list in one transaction: all rows or none.
    // Server-managed columns are ignored; a change of working_user takes or releases the
    // work lock conditionally.
    virtual void applyFileChanges(const TQiraSession &session, const QList<TQiraRowChange> &changes) = 0;
    // Administrators only: removes the file, its versions and unshared contents.
    virtual void purgeFile(const TQiraSession &session, const QString &fileId) = 0;

    // --- file names and transfer -------------------------------------------------------
    // Branch names and file name, "\"-separated, relative, never climbing out.
    virtual QString clientFileName(const TQiraSession &session, const QString &fileId) = 0;
    // The content's path under the data folder; for a file without content, an error
    // when raiseWhenMissing, the empty text otherwise.
    virtual QString serverFileName(const TQiraSession &session, const QString &fileId, bool raiseWhenMissing) = 0;
    virtual qint64 fileSize(const TQiraSession &session, const QString &fileId) = 0;
    // Bytes at offsets from through to, inclusive, cut at the end of the content.
    virtual QByteArray readFilePart(const TQiraSession &session, const QString &fileId, qint64 from, qint64 to) = 0;

    // The upload state of one connection; lives as long as the connection.
    virtual std::unique_ptr<TQiraUpload> newUpload() const = 0;
    // One chunk of an upload ("Start", "Process", "End"); returns the bytes now held.
    virtual qint64 putChunk(const TQiraSession &session, TQiraUpload &upload, const QString &fileId,
                            const QByteArray &chunk, qint64 declaredSize, const QString &status) = 0;
    // Opens the change bracket of a new version.
    virtual void beginChange(const TQiraSession &session, TQiraUpload &upload, const TQiraHistoryInfo &info) = 0;
    // Closes the bracket: checks the uploaded bytes against the record's digest and size,
    // stores them and records the version, the file's digest, size and history count and
    // releases its work lock, all or nothing. Returns the version as recorded.
    virtual TQiraHistoryInfo endChange(const TQiraSession &session, TQiraUpload &upload,
                                       const TQiraHistoryInfo &info) = 0;

    // --- history and previews ----------------------------------------------------------
    virtual TQiraRowSet history(const TQiraSession &session, const QString &fileId) = 0;
    // The current version's bytes for making a preview (needs the read right).
    virtual TQiraFileContent currentContent(const TQiraSession &session, const QString &fileId) = 0;
    virtual QString contentPath(const TQiraFileContent &content) const = 0;
    virtual void setPreview(const TQiraSession &session, const QString &fileId, const QByteArray &png) = 0;

    // --- administration tables ---------------------------------------------------------
    virtual TQiraRowSet users(const TQiraSession &session) = 0;       // iqUsers, no credentials
    virtual void applyUserChanges(const TQiraSession &session, const QList<TQiraRowChange> &changes) = 0;
    virtual TQiraRowSet roles(const TQiraSession &session) = 0;       // iqRoles
    virtual void applyRoleChanges(const TQiraSession &session, const QList<TQiraRowChange> &changes) = 0;
    virtual TQiraRowSet treeGrants(const TQiraSession &session, const QString &treeId) = 0; // iqTreeright
    virtual void applyGrantChanges(const TQiraSession &session, const QList<TQiraRowChange> &changes) = 0;
    virtual TQiraRowSet tabuFiles(const TQiraSession &session) = 0;   // iqTabuFiles
    virtual void applyTabuChanges(const TQiraSession &session, const QList<TQiraRowChange> &changes) = 0;

    // The query behind a table the client shows; empty for other names.
    virtual QString sqlText(const QString &tableName) const = 0;
};
