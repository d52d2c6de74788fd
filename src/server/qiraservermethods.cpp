#include "qiraservermethods.h"

#include "qiraauthenticator.h"
#include "qiraclientstate.h"
#include "qiradatasetcodec.h"
#include "qiraerrors.h"
#include "qirapreviewmaker.h"
#include "qirarights.h"
#include "qiraserverclass.h"
#include "qirastore.h"
#include "zxbase.h"
#include "zxcallcontext.h"
#include "zxdispatcher.h"
#include "zxversion.h"

#include <QFileInfo>
#include <QJsonDocument>

namespace {

using Type = TZxParamType;
using Dir = TZxParamDir;

TZxParamDef in(const char *name, Type type = Type::String)
{
    return {QString::fromLatin1(name), type, Dir::Input};
}

TZxParamDef result(Type type) { return {ZxReturnValueName, type, Dir::Result}; }

TQiraSession session(TZxCallContext &c) { return TQiraAuthenticator::storeSession(c.Session()); }

QString text(TZxCallContext &c, const char *name) { return c.Param(QString::fromLatin1(name)).AsString(); }

// An input the method cannot do without: null is refused rather than read as 0.
const TZxParam &required(TZxCallContext &c, const char *name)
{
    const TZxParam &param = c.Param(QString::fromLatin1(name));
    if (param.IsNull())
        throw EQiraRequestError(QStringLiteral("Не передан параметр %1").arg(QString::fromLatin1(name)));
    return param;
}

void setResult(TZxCallContext &c, const QString &value) { c.Param(ZxReturnValueName).SetString(value); }
void setResult(TZxCallContext &c, const QByteArray &value) { c.Param(ZxReturnValueName).SetBytes(value); }
void setResult(TZxCallContext &c, bool value) { c.Param(ZxReturnValueName).SetBoolean(value); }

// The records' decoders take any text and report what is not JSON to the message
// hooks; the server refuses it instead, naming the parameter.
QString jsonObject(TZxCallContext &c, const char *name)
{
    const QString json = required(c, name).AsString();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (!document.isObject())
        throw EQiraRequestError(QStringLiteral("Параметр %1 должен быть объектом JSON: %2")
                                    .arg(QString::fromLatin1(name),
                                         error.error != QJsonParseError::NoError ? error.errorString()
                                                                                 : QStringLiteral("передано другое значение")));
    return json;
}

TQiraFilter filterOf(TZxCallContext &c) { return DecodeQiraFilter(jsonObject(c, "QiraFilter")); }

// A byte count sent as decimal text.
qint64 decimalText(TZxCallContext &c, const char *name)
{
    const QString value = ZxTrim(required(c, name).AsString());
    bool ok = false;
    const qint64 number = value.toLongLong(&ok);
    if (!ok || number < 0)
        throw EQiraRequestError(QStringLiteral("Параметр %1 должен быть неотрицательным целым числом, а не \"%2\"")
                                    .arg(QString::fromLatin1(name), value.left(40)));
    return number;
}

QList<TQiraRowChange> changesOf(TZxCallContext &c, const QStringList &tables)
{
    return TQiraDatasetCodec::changes(required(c, "AStream").AsBytes(), tables);
}

TQiraUpload &uploadOf(TZxCallContext &c, const TQiraStore &store)
{
    TQiraClientState &state = c.State<TQiraClientState>();
    if (!state.upload)
        state.upload = store.newUpload();
    return *state.upload;
}

const QStringList fileTables{QStringLiteral("iqFiles"), QStringLiteral("iqFileList")};

} // namespace

TQiraServerMethods::TQiraServerMethods(TQiraStore &store, QString protocol)
    : m_store(store), m_protocol(std::move(protocol))
{
}

QString TQiraServerMethods::Version() { return Tzxversion().Version; }

void TQiraServerMethods::Register(TZxDispatcher &dispatcher)
{
    const auto add = [&dispatcher](const char *name, const QList<TZxParamDef> &params,
                                   TZxRemoteMethod::THandler handler) {
        dispatcher.AddMethod(QiraServerClass, QString::fromLatin1(name), params, std::move(handler));
    };
    TQiraStore &store = m_store;

    // --- session -----------------------------------------------------------------------
    add("getVersion", {result(Type::String)}, [](TZxCallContext &c) { setResult(c, Version()); });
    add("Hello", {{QStringLiteral("ConnectInfo"), Type::String, Dir::InputOutput}, result(Type::Boolean)},
        [this](TZxCallContext &c) { hello(c); });
    add("GetNow", {result(Type::Timestamp)},
        [&store](TZxCallContext &c) { c.Param(ZxReturnValueName).SetDateTime(store.now()); });
    add("GetRights", {in("TreeID"), result(Type::String)}, [&store](TZxCallContext &c) {
        setResult(c, TQiraRights::json(store.rights(session(c), text(c, "TreeID"))));
    });
    add("GetSQL", {in("ObjName"), result(Type::String)},
        [&store](TZxCallContext &c) { setResult(c, store.sqlText(ZxTrim(text(c, "ObjName")))); });

    // --- file list -----------------------------------------------------------------------
    add("GetFiles", {in("QiraFilter"), result(Type::Blob)},
        [this](TZxCallContext &c) { getFiles(c, QStringLiteral("iqFiles")); });
    add("GetFileList", {in("QiraFilter"), result(Type::Blob)},
        [this](TZxCallContext &c) { getFiles(c, QStringLiteral("iqFileList")); });
    add("GetKolRows",
        {in("QiraFilter"), {QStringLiteral("TotalSize"), Type::String, Dir::Output}, result(Type::String)},
        [this](TZxCallContext &c) { getKolRows(c); });
    add("RefreshFiles", {result(Type::Blob)}, [this](TZxCallContext &c) { refreshFiles(c); });
    add("StreamPostFiles", {in("AStream", Type::Blob)},
        [&store](TZxCallContext &c) { store.applyFileChanges(session(c), changesOf(c, fileTables)); });
    add("StreamPostFileList", {in("AStream", Type::Blob)},
        [&store](TZxCallContext &c) { store.applyFileChanges(session(c), changesOf(c, fileTables)); });
    add("FizDelFile", {in("FileID")},
        [&store](TZxCallContext &c) { store.purgeFile(session(c), text(c, "FileID")); });

    // --- names and transfer --------------------------------------------------------------
    add("GetClientFileName", {in("FileID"), result(Type::String)},
        [&store](TZxCallContext &c) { setResult(c, store.clientFileName(session(c), text(c, "FileID"))); });
    add("GetServerFileName", {in("FileID"), in("IsExcept", Type::Boolean), result(Type::String)},
        [&store](TZxCallContext &c) {
            setResult(c, store.serverFileName(session(c), text(c, "FileID"),
                                              c.Param(QStringLiteral("IsExcept")).AsBoolean()));
        });
    add("GetFileSizeServer", {in("FileID"), result(Type::String)}, [&store](TZxCallContext &c) {
        setResult(c, QString::number(store.fileSize(session(c), text(c, "FileID"))));
    });
    add("GetFilePart", {in("FileID"), in("PosFrom", Type::Int64), in("PosTo", Type::Int64), result(Type::Blob)},
        [&store](TZxCallContext &c) {
            setResult(c, store.readFilePart(session(c), text(c, "FileID"), required(c, "PosFrom").AsLargeInt(),
                                            required(c, "PosTo").AsLargeInt()));
        });
    add("PutBigFileToServer",
        {in("FileID"), {QStringLiteral("Stream"), Type::Blob, Dir::InputOutput}, in("FileSize"), in("Status"),
         result(Type::String)},
        [this](TZxCallContext &c) { putBigFileToServer(c); });
    add("NewChange", {in("FileHistInfo"), result(Type::String)}, [this](TZxCallContext &c) { newChange(c); });
    add("EndChange", {in("FileHistInfo"), result(Type::String)}, [this](TZxCallContext &c) { endChange(c); });

    // --- history and previews ----------------------------------------------------------
    add("GetHistory", {in("FileID"), result(Type::Blob)}, [&store](TZxCallContext &c) {
        setResult(c, TQiraDatasetCodec::image(store.history(session(c), text(c, "FileID"))));
    });
    add("CreatePreview", {in("FileID")}, [this](TZxCallContext &c) { createPreview(c); });

    // --- tree ----------------------------------------------------------------------------
    add("GetTree", {in("ParentID"), in("IsShowDel", Type::Boolean), result(Type::Blob)}, [&store](TZxCallContext &c) {
        setResult(c, TQiraDatasetCodec::image(store.tree(session(c), text(c, "ParentID"),
                                                         c.Param(QStringLiteral("IsShowDel")).AsBoolean())));
    });
    add("InsNode", {in("NewTreeID"), in("ParentTreeID"), in("NodeText")}, [&store](TZxCallContext &c) {
        store.insertBranch(session(c), text(c, "NewTreeID"), text(c, "ParentTreeID"), text(c, "NodeText"));
    });
    add("SetNodeText", {in("TreeID"), in("NewText")}, [&store](TZxCallContext &c) {
        store.renameBranch(session(c), text(c, "TreeID"), text(c, "NewText"));
    });
    add("DelNode", {in("TreeID"), in("Del", Type::Int32)}, [&store](TZxCallContext &c) {
        store.markBranchDeleted(session(c), text(c, "TreeID"), required(c, "Del").AsInteger());
    });
    add("DelNodeFull", {in("TreeID")},
        [&store](TZxCallContext &c) { store.purgeBranch(session(c), text(c, "TreeID")); });
    add("MoveNode", {in("TreeID"), in("NewParentID")}, [&store](TZxCallContext &c) {
        store.moveBranch(session(c), text(c, "TreeID"), text(c, "NewParentID"));
    });
    add("FindTree", {in("TreeID"), result(Type::String)},
        [&store](TZxCallContext &c) { setResult(c, store.branchPath(session(c), text(c, "TreeID"))); });
    add("SearchNode", {in("ParentID"), in("NodeName"), result(Type::String)}, [&store](TZxCallContext &c) {
        setResult(c, store.findChild(session(c), text(c, "ParentID"), text(c, "NodeName")));
    });

    // --- administration tables ---------------------------------------------------------
    add("GetExludeFiles", {result(Type::Blob)},
        [&store](TZxCallContext &c) { setResult(c, TQiraDatasetCodec::image(store.tabuFiles(session(c)))); });
    add("StreamTabuFiles", {in("AStream", Type::Blob)}, [&store](TZxCallContext &c) {
        store.applyTabuChanges(session(c), changesOf(c, {QStringLiteral("iqTabuFiles")}));
    });
    add("GetRoles", {result(Type::Blob)},
        [&store](TZxCallContext &c) { setResult(c, TQiraDatasetCodec::image(store.roles(session(c)))); });
    add("StreamPostRole", {in("AStream", Type::Blob)}, [&store](TZxCallContext &c) {
        store.applyRoleChanges(session(c), changesOf(c, {QStringLiteral("iqRoles")}));
    });
    add("GetUsers", {result(Type::Blob)},
        [&store](TZxCallContext &c) { setResult(c, TQiraDatasetCodec::image(store.users(session(c)))); });
    add("StreamPostUsers", {in("AStream", Type::Blob)}, [&store](TZxCallContext &c) {
        store.applyUserChanges(session(c), changesOf(c, {QStringLiteral("iqUsers")}));
    });
    add("GetTreeRight", {in("TreeID"), result(Type::Blob)}, [&store](TZxCallContext &c) {
        setResult(c, TQiraDatasetCodec::image(store.treeGrants(session(c), text(c, "TreeID"))));
    });
    add("StreamPostTreeright", {in("AStream", Type::Blob)}, [&store](TZxCallContext &c) {
        store.applyGrantChanges(session(c), changesOf(c, {QStringLiteral("iqTreeright")}));
    });
}

// The client sends the record it knows (login and password digest) and reads back the
// completed one. The answer is true only when that login is the connection's and the
// user may still sign in with that digest: an account switched off since the connect is
// no longer signed in.
void TQiraServerMethods::hello(TZxCallContext &c)
{
    TZxParam &param = c.Param(QStringLiteral("ConnectInfo"));
    const QString sent = param.IsNull() ? QString() : param.AsString();
    TZxSessionInfo record;
    if (QJsonDocument::fromJson(sent.toUtf8()).isObject())
        record = DecodeZxSessionInfo(sent);
    TZxSessionInfo &connection = c.Session();
    bool signedIn = false;
    if (ZxTrim(record.Login) == connection.Login) {
        try {
            const TQiraSession fresh = m_store.signIn(connection.Login, record.PasswdMd5);
            connection = TQiraAuthenticator::sessionInfo(fresh);
            signedIn = true;
        } catch (const EQiraAuthError &) {
        }
    }
    if (signedIn) {
        record.Login = connection.Login;
        record.UserID = connection.UserID;
        record.RoleID = connection.RoleID;
        record.RoleName = connection.RoleName;
    } else {
        // Nothing of the account for a refused registration, least of all a role.
        record.UserID.clear();
        record.RoleID.clear();
        record.RoleName.clear();
        connection.RoleID.clear();
        connection.RoleName.clear();
    }
    record.Protocol = m_protocol;
    param.SetString(GetZxSessionInfo(record));
    setResult(c, signedIn);
}

void TQiraServerMethods::getFiles(TZxCallContext &c, const QString &tableName)
{
    const TQiraFilter filter = filterOf(c);
    const TQiraRowSet rows = m_store.files(session(c), filter, tableName);
    setResult(c, TQiraDatasetCodec::image(rows));
    if (tableName == QStringLiteral("iqFiles"))
        c.State<TQiraClientState>().lastList = filter;
}

void TQiraServerMethods::getKolRows(TZxCallContext &c)
{
    const TQiraFileCount count = m_store.countFiles(session(c), filterOf(c));
    c.Param(QStringLiteral("TotalSize")).SetString(QString::number(count.totalKb, 'f', 3));
    setResult(c, QString::number(count.rows));
}

void TQiraServerMethods::refreshFiles(TZxCallContext &c)
{
    const std::optional<TQiraFilter> &last = c.State<TQiraClientState>().lastList;
    if (!last)
        throw EQiraRequestError(QStringLiteral("Список файлов еще не запрашивался: обновлять нечего"));
    setResult(c, TQiraDatasetCodec::image(m_store.files(session(c), *last, QStringLiteral("iqFiles"))));
}

void TQiraServerMethods::putBigFileToServer(TZxCallContext &c)
{
    TZxParam &stream = c.Param(QStringLiteral("Stream"));
    const QByteArray chunk = stream.AsBytes();
    // An input-output parameter goes back in the reply: the chunk is not sent back.
    stream.Clear();
    const qint64 declared = decimalText(c, "FileSize");
    const qint64 held = m_store.putChunk(session(c), uploadOf(c, m_store), text(c, "FileID"), chunk, declared,
                                         text(c, "Status"));
    setResult(c, QString::number(held));
}

void TQiraServerMethods::newChange(TZxCallContext &c)
{
    const TQiraHistoryInfo info = DecodeQiraHistoryInfo(jsonObject(c, "FileHistInfo"));
    m_store.beginChange(session(c), uploadOf(c, m_store), info);
    setResult(c, GetQiraHistoryJson(info));
}

void TQiraServerMethods::endChange(TZxCallContext &c)
{
    const TQiraHistoryInfo info = DecodeQiraHistoryInfo(jsonObject(c, "FileHistInfo"));
    setResult(c, GetQiraHistoryJson(m_store.endChange(session(c), uploadOf(c, m_store), info)));
}

void TQiraServerMethods::createPreview(TZxCallContext &c)
{
    const TQiraSession user = session(c);
    const QString fileId = ZxTrim(text(c, "FileID"));
    const TQiraFileContent content = m_store.currentContent(user, fileId);
    if (content.contentKey.isEmpty())
        throw EQiraRequestError(QStringLiteral("У файла \"%1\" еще нет сохраненной версии: миниатюру не из чего сделать")
                                    .arg(fileId));
    const QString path = m_store.contentPath(content);
    if (path.isEmpty() || !QFileInfo::exists(path))
        throw EQiraStoreError(QStringLiteral("Содержимое файла \"%1\" не найдено в хранилище").arg(fileId));
    TQiraFilter one;
    one.FileID = content.fileId;
    one.IsShowDel = true;
    const TQiraRowSet row = m_store.files(user, one, QStringLiteral("iqFiles"));
    const QByteArray png = TQiraPreviewMaker::make(path, row.value(0, QStringLiteral("fileext")).toString());
    // A version checked in meanwhile has dropped the old preview; this one would show
    // the version before it.
    if (m_store.currentContent(user, fileId).contentKey != content.contentKey)
        throw EQiraLockError(QStringLiteral("Файл \"%1\" изменился, пока делалась миниатюра; повторите").arg(fileId));
    m_store.setPreview(user, content.fileId, png);
}
