#include "zxremotemessage.h"

#include "zxremoteerror.h"

#include <QBuffer>
#include <QCborStreamReader>
#include <QCborStreamWriter>
#include <QSet>
#include <QtEndian>

#include <limits>

namespace {

const QString keyMsg = QStringLiteral("msg");
const QString keyId = QStringLiteral("id");
const QString keyVersion = QStringLiteral("version");
const QString keyUser = QStringLiteral("User_Name");
const QString keyPassword = QStringLiteral("Password");
const QString keySession = QStringLiteral("session");
const QString keyMethod = QStringLiteral("method");
const QString keyParams = QStringLiteral("params");
const QString keyClass = QStringLiteral("class");
const QString keyMessage = QStringLiteral("message");
const QString keyName = QStringLiteral("name");
const QString keyType = QStringLiteral("type");
const QString keyDir = QStringLiteral("dir");
const QString keyValue = QStringLiteral("value");

// Skipping an unknown member never descends deeper than this.
constexpr int SkipDepth = 32;

[[noreturn]] void fail(const QString &what)
{
    throw ERemoteProtocolError(QStringLiteral("Неверное сообщение протокола: ") + what);
}

void requireText(const QString &text, const QString &what)
{
    if (!QStringView(text).isValidUtf16())
        throw EConvertError(QStringLiteral("%1: текст содержит одиночный суррогатный символ").arg(what));
}

// The wire form has four-digit years in UTC; Qt writes an empty text for any other.
bool writableStamp(const QDateTime &utc)
{
    return utc.isValid() && utc.date().year() >= 1 && utc.date().year() <= 9999;
}

QString repaired(const QString &text)
{
    if (QStringView(text).isValidUtf16())
        return text;
    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const QChar c = out.at(i);
        if (c.isHighSurrogate() && i + 1 < out.size() && out.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate())
            out[i] = QChar::ReplacementCharacter;
    }
    return out;
}

void writeParam(QCborStreamWriter &w, const TZxParam &param)
{
    requireText(param.Name(), QStringLiteral("Имя параметра"));
    w.startMap(4);
    w.append(keyName);
    w.append(param.Name());
    w.append(keyType);
    w.append(ZxParamTypeName(param.DataType()));
    w.append(keyDir);
    w.append(ZxParamDirName(param.Direction()));
    w.append(keyValue);
    const QVariant &value = param.Value();
    if (!value.isValid()) {
        w.appendNull();
    } else {
        switch (param.DataType()) {
        case TZxParamType::String: {
            const QString text = value.toString();
            requireText(text, QStringLiteral("Параметр \"%1\"").arg(param.Name()));
            w.append(text);
            break;
        }
        case TZxParamType::Int32:
        case TZxParamType::Int64:
            w.append(qint64(value.toLongLong()));
            break;
        case TZxParamType::Boolean:
            w.append(value.toBool());
            break;
        case TZxParamType::Timestamp: {
            const QDateTime utc = value.toDateTime().toUTC();
            if (!writableStamp(utc))
                throw EConvertError(QStringLiteral("Параметр \"%1\": дата и время вне 0001–9999 годов (UTC)")
                                        .arg(param.Name()));
            w.append(QCborKnownTags::DateTimeString);
            w.append(utc.toString(Qt::ISODateWithMs));
            break;
        }
        case TZxParamType::Blob:
            w.append(value.toByteArray());
            break;
        }
    }
    w.endMap();
}

qint64 blobBytes(const QList<TZxParam> &params)
{
    qint64 total = 0;
    for (const TZxParam &param : params)
        if (param.DataType() == TZxParamType::Blob)
            total += param.Value().toByteArray().size();
        else if (param.DataType() == TZxParamType::String)
            total += 3 * param.Value().toString().size();
    return total;
}

// A decoded CBOR item before its parameter type is known (members come in any order).
struct RawValue
{
    enum Kind { Absent, Null, Text, Unsigned, Negative, Bool, DateTime, Bytes, Other } kind = Absent;
    QString text;
    QByteArray bytes;
    quint64 number = 0; // for Negative: the value is -1 - number
    bool flag = false;
    QDateTime dateTime;
};

class Reader
{
public:
    explicit Reader(const QByteArray &data) : m_r(data), m_size(data.size()) {}

    QCborStreamReader &r() { return m_r; }

    void check()
    {
        if (m_r.lastError() != QCborError::NoError)
            fail(QStringLiteral("CBOR: ") + m_r.lastError().toString());
    }

    QString text(const QString &what)
    {
        if (!m_r.isString())
            fail(QStringLiteral("%1: ожидался текст").arg(what));
        QString out;
        auto chunk = m_r.readString();
        while (chunk.status == QCborStreamReader::Ok) {
            out += chunk.data;
            chunk = m_r.readString();
        }
        if (chunk.status == QCborStreamReader::Error) {
            check();
            fail(QStringLiteral("%1: текст не читается").arg(what));
        }
        return out;
    }

    QByteArray bytes()
    {
        QByteArray out;
        auto chunk = m_r.readByteArray();
        while (chunk.status == QCborStreamReader::Ok) {
            if (out.isEmpty())
                out = std::move(chunk.data);
            else
                out += chunk.data;
            chunk = m_r.readByteArray();
        }
        if (chunk.status == QCborStreamReader::Error) {
            check();
            fail(QStringLiteral("двоичные данные не читаются"));
        }
        return out;
    }

    quint64 unsignedNumber(const QString &what)
    {
        if (!m_r.isUnsignedInteger())
            fail(QStringLiteral("%1: ожидалось целое неотрицательное число").arg(what));
        const quint64 value = m_r.toUnsignedInteger();
        advance();
        return value;
    }

    void advance()
    {
        if (!m_r.next(SkipDepth))
            check();
    }

    void skip()
    {
        if (!m_r.next(SkipDepth)) {
            check();
            fail(QStringLiteral("вложенность слишком глубока"));
        }
    }

    RawValue value()
    {
        RawValue v;
        if (m_r.isNull()) {
            v.kind = RawValue::Null;
            advance();
        } else if (m_r.isString()) {
            v.kind = RawValue::Text;
            v.text = text(keyValue);
        } else if (m_r.isByteArray()) {
            v.kind = RawValue::Bytes;
            v.bytes = bytes();
        } else if (m_r.isUnsignedInteger()) {
            v.kind = RawValue::Unsigned;
            v.number = m_r.toUnsignedInteger();
            advance();
        } else if (m_r.isNegativeInteger()) {
            v.kind = RawValue::Negative;
            v.number = quint64(m_r.toNegativeInteger()) - 1;
            advance();
        } else if (m_r.isBool()) {
            v.kind = RawValue::Bool;
            v.flag = m_r.toBool();
            advance();
        } else if (m_r.isTag() && m_r.toTag() == QCborTag(QCborKnownTags::DateTimeString)) {
            advance();
            const QString stamp = text(QStringLiteral("Дата и время"));
            v.dateTime = QDateTime::fromString(stamp, Qt::ISODateWithMs);
            if (!v.dateTime.isValid() || v.dateTime.timeSpec() == Qt::LocalTime)
                fail(QStringLiteral("'%1' не является датой и временем RFC 3339").arg(stamp));
            if (!writableStamp(v.dateTime.toUTC()))
                fail(QStringLiteral("'%1': год вне 0001–9999 (UTC)").arg(stamp));
            v.kind = RawValue::DateTime;
        } else {
            v.kind = RawValue::Other;
            skip();
        }
        return v;
    }

    void finish()
    {
        check();
        if (m_r.currentOffset() != m_size)
            fail(QStringLiteral("после сообщения остались лишние байты"));
    }

private:
    QCborStreamReader m_r;
    qint64 m_size;
};

QVariant typedValue(const RawValue &raw, TZxParamType type, const QString &name)
{
    const auto wrong = [&]() -> QVariant {
        fail(QStringLiteral("значение параметра \"%1\" не относится к типу %2")
                 .arg(name, ZxParamTypeName(type)));
    };
    if (raw.kind == RawValue::Null)
        return {};
    switch (type) {
    case TZxParamType::String:
        return raw.kind == RawValue::Text ? QVariant(raw.text) : wrong();
    case TZxParamType::Int32:
        if (raw.kind == RawValue::Unsigned && raw.number <= quint64(std::numeric_limits<qint32>::max()))
            return QVariant(qint32(raw.number));
        if (raw.kind == RawValue::Negative && raw.number < quint64(1) << 31)
            return QVariant(qint32(-1 - qint64(raw.number)));
        return wrong();
    case TZxParamType::Int64:
        if (raw.kind == RawValue::Unsigned && raw.number <= quint64(std::numeric_limits<qint64>::max()))
            return QVariant(qint64(raw.number));
        if (raw.kind == RawValue::Negative && raw.number <= quint64(std::numeric_limits<qint64>::max()))
            return QVariant(qint64(-1 - qint64(raw.number)));
        return wrong();
    case TZxParamType::Boolean:
        return raw.kind == RawValue::Bool ? QVariant(raw.flag) : wrong();
    case TZxParamType::Timestamp:
        return raw.kind == RawValue::DateTime ? QVariant(raw.dateTime) : wrong();
    case TZxParamType::Blob:
        return raw.kind == RawValue::Bytes ? QVariant(raw.bytes) : wrong();
    }
    return wrong();
}

TZxParam readParam(Reader &in)
{
    QCborStreamReader &r = in.r();
    if (!r.isMap())
        fail(QStringLiteral("параметр: ожидался словарь"));
    r.enterContainer();
    QString name;
    QString typeName;
    QString dirName;
    RawValue raw;
    QSet<QString> seen;
    while (r.hasNext()) {
        const QString key = in.text(QStringLiteral("Ключ"));
        if (seen.contains(key))
            fail(QStringLiteral("ключ \"%1\" повторяется").arg(key));
        seen.insert(key);
        if (key == keyName)
            name = in.text(keyName);
        else if (key == keyType)
            typeName = in.text(keyType);
        else if (key == keyDir)
            dirName = in.text(keyDir);
        else if (key == keyValue)
            raw = in.value();
        else
            in.skip();
    }
    in.check();
    r.leaveContainer();
    in.check();
    if (name.isEmpty())
        fail(QStringLiteral("у параметра нет имени"));
    const auto type = ZxParamTypeFromName(typeName);
    if (!type)
        fail(QStringLiteral("параметр \"%1\": неизвестный тип \"%2\"").arg(name, typeName));
    const auto dir = ZxParamDirFromName(dirName);
    if (!dir)
        fail(QStringLiteral("параметр \"%1\": неизвестное направление \"%2\"").arg(name, dirName));
    if (raw.kind == RawValue::Absent)
        fail(QStringLiteral("у параметра \"%1\" нет значения").arg(name));
    TZxParam param(name, *type, *dir);
    param.SetTypedValue(*type, typedValue(raw, *type, name));
    return param;
}

QList<TZxParam> readParams(Reader &in)
{
    QCborStreamReader &r = in.r();
    if (!r.isArray())
        fail(QStringLiteral("\"params\": ожидался массив"));
    r.enterContainer();
    QList<TZxParam> params;
    while (r.hasNext()) {
        TZxParam param = readParam(in);
        for (const TZxParam &other : params)
            if (other.Name().compare(param.Name(), Qt::CaseInsensitive) == 0)
                fail(QStringLiteral("параметр \"%1\" повторяется").arg(param.Name()));
        params.append(std::move(param));
    }
    in.check();
    r.leaveContainer();
    in.check();
    return params;
}

std::optional<TZxMessageKind> kindFromName(const QString &name)
{
    for (const TZxMessageKind kind :
         {TZxMessageKind::Connect, TZxMessageKind::Connected, TZxMessageKind::Call,
          TZxMessageKind::Result, TZxMessageKind::Error, TZxMessageKind::Disconnect,
          TZxMessageKind::Disconnected})
        if (TZxRemoteMessage::KindName(kind) == name)
            return kind;
    return std::nullopt;
}

} // namespace

QString TZxRemoteMessage::KindName(TZxMessageKind kind)
{
    switch (kind) {
    case TZxMessageKind::Connect:
        return QStringLiteral("connect");
    case TZxMessageKind::Connected:
        return QStringLiteral("connected");
    case TZxMessageKind::Call:
        return QStringLiteral("call");
    case TZxMessageKind::Result:
        return QStringLiteral("result");
    case TZxMessageKind::Error:
        return QStringLiteral("error");
    case TZxMessageKind::Disconnect:
        return QStringLiteral("disconnect");
    case TZxMessageKind::Disconnected:
        return QStringLiteral("disconnected");
    }
    return {};
}

TZxRemoteMessage TZxRemoteMessage::MakeError(quint64 id, const QString &className,
                                             const QString &message)
{
    TZxRemoteMessage reply;
    reply.Kind = TZxMessageKind::Error;
    reply.Id = id;
    reply.ErrorClass = className;
    reply.ErrorMessage = message;
    return reply;
}

void TZxRemoteMessage::EncodeTo(QByteArray &out) const
{
    out.reserve(out.size() + blobBytes(Params) + 512);
    // A writer given the array itself would start over at its first byte.
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly | QIODevice::Append);
    QCborStreamWriter w(&buffer);
    const bool withId = Id != 0;
    switch (Kind) {
    case TZxMessageKind::Connect:
        requireText(UserName, keyUser);
        requireText(Password, keyPassword);
        w.startMap(withId ? 5 : 4);
        break;
    case TZxMessageKind::Connected:
        w.startMap(withId ? 4 : 3);
        break;
    case TZxMessageKind::Call:
        requireText(Method, keyMethod);
        w.startMap(withId ? 4 : 3);
        break;
    case TZxMessageKind::Result:
        w.startMap(withId ? 3 : 2);
        break;
    case TZxMessageKind::Error:
        w.startMap(withId ? 4 : 3);
        break;
    case TZxMessageKind::Disconnect:
    case TZxMessageKind::Disconnected:
        w.startMap(withId ? 2 : 1);
        break;
    }
    w.append(keyMsg);
    w.append(KindName(Kind));
    if (withId) {
        w.append(keyId);
        w.append(Id);
    }
    switch (Kind) {
    case TZxMessageKind::Connect:
        w.append(keyVersion);
        w.append(Version);
        w.append(keyUser);
        w.append(UserName);
        w.append(keyPassword);
        w.append(Password);
        break;
    case TZxMessageKind::Connected:
        w.append(keyVersion);
        w.append(Version);
        w.append(keySession);
        w.append(Session);
        break;
    case TZxMessageKind::Call:
    case TZxMessageKind::Result: {
        if (Kind == TZxMessageKind::Call) {
            w.append(keyMethod);
            w.append(Method);
        }
        w.append(keyParams);
        w.startArray(quint64(Params.size()));
        for (const TZxParam &param : Params)
            writeParam(w, param);
        w.endArray();
        break;
    }
    case TZxMessageKind::Error:
        w.append(keyClass);
        w.append(repaired(ErrorClass));
        w.append(keyMessage);
        w.append(repaired(ErrorMessage));
        break;
    case TZxMessageKind::Disconnect:
    case TZxMessageKind::Disconnected:
        break;
    }
    w.endMap();
}

QByteArray TZxRemoteMessage::Encode() const
{
    QByteArray out;
    EncodeTo(out);
    return out;
}

QByteArray TZxRemoteMessage::EncodeFrame() const
{
    QByteArray out(4, '\0');
    EncodeTo(out);
    const quint32 length = quint32(out.size() - 4);
    qToBigEndian(length, out.data());
    return out;
}

TZxRemoteMessage TZxRemoteMessage::Decode(const QByteArray &cbor)
{
    if (cbor.isEmpty())
        fail(QStringLiteral("пустое сообщение"));
    Reader in(cbor);
    QCborStreamReader &r = in.r();
    if (!r.isMap()) {
        in.check();
        fail(QStringLiteral("ожидался словарь CBOR"));
    }
    r.enterContainer();
    TZxRemoteMessage m;
    QString kindName;
    bool hasId = false;
    bool hasVersion = false;
    QSet<QString> seen;
    while (r.hasNext()) {
        const QString key = in.text(QStringLiteral("Ключ"));
        if (seen.contains(key))
            fail(QStringLiteral("ключ \"%1\" повторяется").arg(key));
        seen.insert(key);
        if (key == keyMsg) {
            kindName = in.text(keyMsg);
        } else if (key == keyId) {
            m.Id = in.unsignedNumber(keyId);
            hasId = true;
        } else if (key == keyVersion) {
            const quint64 version = in.unsignedNumber(keyVersion);
            m.Version = qint64(qMin<quint64>(version, quint64(std::numeric_limits<qint64>::max())));
            hasVersion = true;
        } else if (key == keyUser) {
            m.UserName = in.text(keyUser);
        } else if (key == keyPassword) {
            m.Password = in.text(keyPassword);
        } else if (key == keySession) {
            m.Session = in.text(keySession);
        } else if (key == keyMethod) {
            m.Method = in.text(keyMethod);
        } else if (key == keyParams) {
            m.Params = readParams(in);
        } else if (key == keyClass) {
            m.ErrorClass = in.text(keyClass);
        } else if (key == keyMessage) {
            m.ErrorMessage = in.text(keyMessage);
        } else {
            in.skip();
        }
    }
    in.check();
    r.leaveContainer();
    in.finish();

    if (!seen.contains(keyMsg))
        fail(QStringLiteral("нет ключа \"msg\""));
    const auto kind = kindFromName(kindName);
    if (!kind)
        fail(QStringLiteral("неизвестный вид сообщения \"%1\"").arg(kindName));
    m.Kind = *kind;
    const auto require = [&](const QString &key) {
        if (!seen.contains(key))
            fail(QStringLiteral("в сообщении \"%1\" нет ключа \"%2\"").arg(kindName, key));
    };
    if (m.Kind != TZxMessageKind::Error) {
        require(keyId);
        if (hasId && m.Id == 0)
            fail(QStringLiteral("\"id\" должно быть не меньше 1"));
    }
    switch (m.Kind) {
    case TZxMessageKind::Connect:
        require(keyVersion);
        require(keyUser);
        require(keyPassword);
        if (hasVersion && m.Version < 1)
            fail(QStringLiteral("\"version\" должно быть не меньше 1"));
        break;
    case TZxMessageKind::Connected:
        require(keyVersion);
        require(keySession);
        break;
    case TZxMessageKind::Call:
        require(keyMethod);
        require(keyParams);
        if (m.Method.isEmpty())
            fail(QStringLiteral("пустое имя метода"));
        break;
    case TZxMessageKind::Result:
        require(keyParams);
        break;
    case TZxMessageKind::Error:
        require(keyClass);
        require(keyMessage);
        break;
    case TZxMessageKind::Disconnect:
    case TZxMessageKind::Disconnected:
        break;
    }
    return m;
}
