#pragma once

#include <QDateTime>
#include <QString>

// Connection settings: where the document server is, who signs in, and the local
// repository folder.
struct TConnectDs
{
    QString Server;
    qint32 Port = 0;
    QString Protocol;
    QString User;
    QString Password; // as typed; only its digest ever leaves the client
    QString DirProj;
};

// The signed-in user's session, as the server completes it at sign-in.
struct TZxSessionInfo
{
    QString Login;
    QString UserID;
    QString PasswdMd5;
    QString RoleID;
    QString RoleName;
    QString Protocol;
    QDateTime SessionStart; // carried in neither direction
};

// The signed-in user's rights on one branch.
struct TTreeRights
{
    QString TreeID;
    QString UserName;
    QString RoleID;
    bool RTree = false;
    bool WTree = false;
    bool AdmTree = false;
    bool RFile = false;
    bool WFile = false;
    bool RMyFile = false;
};

// Selections carried out of the role and user windows; no JSON form.
struct TRoleInfo
{
    QString RoleID;
    QString RoleName;
};

struct TUserInfo
{
    QString UserID;
    QString Login;
    QString FIO;
    QString RoleID;
};

// The request for one page of a file list.
struct TQiraFilter
{
    QString TreeID;
    QString FileID;
    bool IsShowDel = false;
    bool IsShowAll = false;
    qint64 CurrentPage = 0;
    qint64 KolRows = 0;
    bool IsPreview = false;
    bool IsRecursive = false;
    QString order;
    QString filter;
};

// One version of one document, sent around every upload.
struct TQiraHistoryInfo
{
    QString histid;
    QString fileid;
    qint64 ordnum = 0;
    QDateTime datecreate;
    QString usercreate;
    QString md5_file;
    QDateTime file_datecreate;
    QDateTime file_dateupdate;
    double size_file = 0;
};

// The zero date-time, 30 December 1899 00:00 local time: "no date" in records.
QDateTime ZeroDateTime();

QString GetZxSessionInfo(const TZxSessionInfo &info);
// The decoders start from an empty record and take the members whose keys match
// exactly; a text that is not a JSON object is reported and gives the empty record.
TZxSessionInfo DecodeZxSessionInfo(const QString &json);
TTreeRights DecodeZxTreeRights(const QString &json);

QString GetQiraFilterJson(const TQiraFilter &filter);
// The server's reader of the filter text; members absent or of another kind keep the
// record's defaults.
TQiraFilter DecodeQiraFilter(const QString &json);

QString GetQiraHistoryJson(const TQiraHistoryInfo &info);
TQiraHistoryInfo DecodeQiraHistoryInfo(const QString &json);

// A history record filled for an upload of a local file (the sender's filling).
TQiraHistoryInfo UploadHistoryInfo(const QString &fileId, const QString &md5, qint64 sizeBytes);

// ISO 8601 with milliseconds, local time and its offset (Z for a zero offset).
QString IsoDateTimeWithOffset(const QDateTime &dateTime);
