#include "qirainfo.h"

#include "zxbase.h"
#include "zxjsonwriter.h"
#include "zxmess.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <optional>

namespace {

// The members of a JSON object, or nothing (reported) when the text is not an object.
std::optional<QJsonObject> objectOf(const QString &json, const QString &routine)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (document.isObject())
        return document.object();
    const QString reason = error.error != QJsonParseError::NoError
                               ? error.errorString()
                               : QStringLiteral("ожидался объект JSON");
    ShowErrorWin(QStringLiteral("Функция %1. Ошибка выполнения функции.").arg(routine), reason);
    return std::nullopt;
}

QString stringMember(const QJsonObject &object, const QString &key, const QString &fallback = {})
{
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString() : fallback;
}

bool boolMember(const QJsonObject &object, const QString &key, bool fallback = false)
{
    const QJsonValue value = object.value(key);
    return value.isBool() ? value.toBool() : fallback;
}

qint64 integerMember(const QJsonObject &object, const QString &key, qint64 fallback = 0)
{
    const QJsonValue value = object.value(key);
    return value.isDouble() ? value.toInteger(fallback) : fallback;
}

QDateTime dateMember(const QJsonObject &object, const QString &key)
{
    const QDateTime date = QDateTime::fromString(stringMember(object, key), Qt::ISODateWithMs);
    return date.isValid() ? date.toLocalTime() : ZeroDateTime();
}

} // namespace

QDateTime ZeroDateTime() { return QDateTime(QDate(1899, 12, 30), QTime(0, 0)); }

QString IsoDateTimeWithOffset(const QDateTime &dateTime)
{
    const QDateTime local = dateTime.toLocalTime();
    QString text = local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
    // Historical zones may carry seconds in their offset; the form has minutes only.
    const int offsetMinutes = (local.offsetFromUtc() + (local.offsetFromUtc() < 0 ? -30 : 30)) / 60;
    if (offsetMinutes == 0)
        return text + u'Z';
    const int magnitude = std::abs(offsetMinutes);
    text += offsetMinutes < 0 ? u'-' : u'+';
    text += QStringLiteral("%1:%2").arg(magnitude / 60, 2, 10, QLatin1Char('0'))
                .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
    return text;
}

QString GetZxSessionInfo(const TZxSessionInfo &info)
{
    TZxJsonWriter writer;
    writer.addString(QStringLiteral("Login"), info.Login);
    writer.addString(QStringLiteral("UserID"), info.UserID);
    writer.addString(QStringLiteral("PasswdMd5"), info.PasswdMd5);
    writer.addString(QStringLiteral("RoleID"), info.RoleID);
    writer.addString(QStringLiteral("RoleName"), info.RoleName);
    writer.addString(QStringLiteral("Protocol"), info.Protocol);
    return writer.text();
}

TZxSessionInfo DecodeZxSessionInfo(const QString &json)
{
    TZxSessionInfo info;
    const auto object = objectOf(json, QStringLiteral("DecodeZxSessionInfo"));
    if (!object)
        return info;
    info.Login = stringMember(*object, QStringLiteral("Login"));
    info.UserID = stringMember(*object, QStringLiteral("UserID"));
    info.PasswdMd5 = stringMember(*object, QStringLiteral("PasswdMd5"));
    info.RoleID = stringMember(*object, QStringLiteral("RoleID"));
    info.RoleName = stringMember(*object, QStringLiteral("RoleName"));
    info.Protocol = stringMember(*object, QStringLiteral("Protocol"));
    return info;
}

TTreeRights DecodeZxTreeRights(const QString &json)
{
    TTreeRights rights;
    const auto object = objectOf(json, QStringLiteral("DecodeZxTreeRights"));
    if (!object)
        return rights;
    rights.TreeID = stringMember(*object, QStringLiteral("TreeID"));
    rights.UserName = stringMember(*object, QStringLiteral("UserName"));
    rights.RoleID = stringMember(*object, QStringLiteral("RoleID"));
    rights.RTree = boolMember(*object, QStringLiteral("rtree"));
    rights.WTree = boolMember(*object, QStringLiteral("wtree"));
    rights.AdmTree = boolMember(*object, QStringLiteral("admtree"));
    rights.RFile = boolMember(*object, QStringLiteral("rfile"));
    rights.WFile = boolMember(*object, QStringLiteral("wfile"));
    rights.RMyFile = boolMember(*object, QStringLiteral("rmyfile"));
    return rights;
}

QString GetQiraFilterJson(const TQiraFilter &filter)
{
    TZxJsonWriter writer;
    writer.addBool(QStringLiteral("IsShowDel"), filter.IsShowDel);
    writer.addBool(QStringLiteral("IsShowAll"), filter.IsShowAll);
    writer.addInteger(QStringLiteral("CurrentPage"), filter.CurrentPage);
    writer.addInteger(QStringLiteral("KolRows"), filter.KolRows);
    writer.addBool(QStringLiteral("IsPreview"), filter.IsPreview);
    writer.addString(QStringLiteral("TreeID"), filter.TreeID);
    writer.addString(QStringLiteral("FileID"), filter.FileID);
    writer.addString(QStringLiteral("order"), filter.order);
    writer.addString(QStringLiteral("filter"), filter.filter);
    writer.addBool(QStringLiteral("IsRecursive"), filter.IsRecursive);
    return writer.text();
}

TQiraFilter DecodeQiraFilter(const QString &json)
{
    TQiraFilter filter;
    const auto object = objectOf(json, QStringLiteral("DecodeQiraFilter"));
    if (!object)
        return filter;
    filter.IsShowDel = boolMember(*object, QStringLiteral("IsShowDel"));
    filter.IsShowAll = boolMember(*object, QStringLiteral("IsShowAll"));
    filter.CurrentPage = integerMember(*object, QStringLiteral("CurrentPage"));
    filter.KolRows = integerMember(*object, QStringLiteral("KolRows"));
    filter.IsPreview = boolMember(*object, QStringLiteral("IsPreview"));
    filter.TreeID = stringMember(*object, QStringLiteral("TreeID"));
    filter.FileID = stringMember(*object, QStringLiteral("FileID"));
    filter.order = stringMember(*object, QStringLiteral("order"));
    filter.filter = stringMember(*object, QStringLiteral("filter"));
    filter.IsRecursive = boolMember(*object, QStringLiteral("IsRecursive"));
    return filter;
}

QString GetQiraHistoryJson(const TQiraHistoryInfo &info)
{
    TZxJsonWriter writer;
    writer.addString(QStringLiteral("histid"), info.histid);
    writer.addString(QStringLiteral("fileid"), info.fileid);
    writer.addInteger(QStringLiteral("ordnum"), info.ordnum);
    writer.addString(QStringLiteral("datecreate"), IsoDateTimeWithOffset(info.datecreate));
    writer.addString(QStringLiteral("usercreate"), info.usercreate);
    writer.addString(QStringLiteral("md5_file"), info.md5_file);
    writer.addString(QStringLiteral("file_datecreate"), IsoDateTimeWithOffset(info.file_datecreate));
    writer.addString(QStringLiteral("file_dateupdate"), IsoDateTimeWithOffset(info.file_dateupdate));
    writer.addNumber(QStringLiteral("size_file"), info.size_file);
    return writer.text();
}

TQiraHistoryInfo DecodeQiraHistoryInfo(const QString &json)
{
    TQiraHistoryInfo info;
    const auto object = objectOf(json, QStringLiteral("DecodeQiraHistoryInfo"));
    if (!object)
        return info;
    info.histid = stringMember(*object, QStringLiteral("histid"));
    info.fileid = stringMember(*object, QStringLiteral("fileid"));
    info.ordnum = integerMember(*object, QStringLiteral("ordnum"));
    info.datecreate = dateMember(*object, QStringLiteral("datecreate"));
    info.usercreate = stringMember(*object, QStringLiteral("usercreate"));
    info.md5_file = stringMember(*object, QStringLiteral("md5_file"));
    info.file_datecreate = dateMember(*object, QStringLiteral("file_datecreate"));
    info.file_dateupdate = dateMember(*object, QStringLiteral("file_dateupdate"));
    const QJsonValue size = object->value(QStringLiteral("size_file"));
    info.size_file = size.isDouble() ? size.toDouble() : 0.0;
    return info;
}

TQiraHistoryInfo UploadHistoryInfo(const QString &fileId, const QString &md5, qint64 sizeBytes)
{
    TQiraHistoryInfo info;
    info.histid = NewID();
    info.fileid = fileId;
    info.md5_file = md5;
    info.size_file = double(sizeBytes);
    info.datecreate = ZeroDateTime();
    info.file_datecreate = ZeroDateTime();
    info.file_dateupdate = ZeroDateTime();
    return info;
}
