// Input: one byte that decides how the stream is cut into reads, then the bytes a client
// sends on a TCP connection. The frame reader must yield exactly the frames the stream
// holds; each frame goes, as on the server, to the dispatcher with one connection's
// origin. A message that decodes must encode to a value that decodes to the same
// message, and every reply must be a message a client can read.
#include "fuzzsupport.h"

#include "zxauthenticator.h"
#include "zxcallcontext.h"
#include "zxdispatcher.h"
#include "zxframereader.h"
#include "zxremoteerror.h"
#include "zxremotemessage.h"
#include "zxrequestorigin.h"

#include <QList>
#include <QtEndian>

#include <optional>

namespace {

using TStep = TZxFrameReader::TStep;

// Small, so that short inputs reach the refusal of long frames.
constexpr qint64 MaxFrame = 1024;

class Authenticator final : public TZxAuthenticator
{
public:
    TZxSessionInfo Authenticate(const QString &userName, const QString &) override
    {
        if (userName.isEmpty())
            throw EZxError(ZxRemoteClass::AuthError, QStringLiteral("Неверное имя пользователя или пароль"));
        TZxSessionInfo info;
        info.Login = userName;
        return info;
    }
};

template <class Read>
void attempt(Read read)
{
    try {
        read();
    } catch (const EConvertError &) {
    }
}

// Reads every parameter in every way a handler may, and sets the outputs from the text
// the client sent, as handlers convert client texts.
void echo(TZxCallContext &c)
{
    TZxParams &params = c.Params();
    QString seen;
    for (int i = 0; i < params.Count(); ++i) {
        const TZxParam &p = params.At(i);
        attempt([&] { seen += p.AsString(); });
        attempt([&] { seen += QString::number(p.AsInteger()); });
        attempt([&] { seen += QString::number(p.AsLargeInt()); });
        attempt([&] { seen += p.AsBoolean() ? u'1' : u'0'; });
        attempt([&] { seen += p.AsDateTime().toString(Qt::ISODateWithMs); });
        attempt([&] { seen += QString::number(p.AsBytes().size()); });
    }
    const QString text = c.Param(QStringLiteral("InText")).AsString();
    if (text == u"fail")
        throw EZxError(QStringLiteral("EFuzzRefusal"), QStringLiteral("Отказ по просьбе клиента"));
    for (const char *name : {"OutSmall", "OutLarge", "OutFlag", "OutStamp", "OutData"})
        attempt([&] { c.Param(QString::fromLatin1(name)).SetString(text); });
    c.Param(QStringLiteral("OutText")).SetString(seen.left(1000));
    c.Param(ZxReturnValueName).SetLargeInt(params.Count());
}

TZxDispatcher &dispatcher()
{
    static Authenticator authenticator;
    static TZxDispatcher instance;
    static const bool ready = [] {
        using T = TZxParamType;
        using D = TZxParamDir;
        const auto def = [](const char *name, T type, D dir) {
            return TZxParamDef{QString::fromLatin1(name), type, dir};
        };
        instance.SetAuthenticator(&authenticator);
        instance.AddMethod(QStringLiteral("Fuzz"), QStringLiteral("Echo"),
                           {def("Text", T::String, D::InputOutput), def("Small", T::Int32, D::InputOutput),
                            def("Large", T::Int64, D::InputOutput), def("Flag", T::Boolean, D::InputOutput),
                            def("Stamp", T::Timestamp, D::InputOutput), def("Data", T::Blob, D::InputOutput),
                            def("InText", T::String, D::Input), def("OutText", T::String, D::Output),
                            def("OutSmall", T::Int32, D::Output), def("OutLarge", T::Int64, D::Output),
                            def("OutFlag", T::Boolean, D::Output), def("OutStamp", T::Timestamp, D::Output),
                            def("OutData", T::Blob, D::Output), def("ReturnValue", T::Int64, D::Result)},
                           echo);
        return true;
    }();
    Q_UNUSED(ready);
    return instance;
}

void checkRoundTrip(const TZxRemoteMessage &message)
{
    QByteArray once;
    try {
        once = message.Encode();
    } catch (const EZxError &error) {
        fuzzFinding("a decoded message does not encode", error.message());
    }
    TZxRemoteMessage again;
    try {
        again = TZxRemoteMessage::Decode(once);
    } catch (const EZxError &error) {
        fuzzFinding("an encoded message does not decode", error.message());
    }
    if (again.Encode() != once)
        fuzzFinding("decoding an encoded message changed it");
}

void checkReply(const QByteArray &reply)
{
    if (reply.size() < 4 || qFromBigEndian<quint32>(reply.constData()) != quint32(reply.size() - 4))
        fuzzFinding("the reply frame's length is wrong");
    try {
        const TZxRemoteMessage message = TZxRemoteMessage::Decode(reply.mid(4));
        if (message.Kind == TZxMessageKind::Connect || message.Kind == TZxMessageKind::Call
            || message.Kind == TZxMessageKind::Disconnect)
            fuzzFinding("the reply is a request");
    } catch (const EZxError &error) {
        fuzzFinding("a client cannot read the reply", error.message());
    }
}

void handleFrame(const QByteArray &payload, TZxRequestOrigin &origin)
{
    std::optional<TZxRemoteMessage> decoded;
    try {
        decoded = TZxRemoteMessage::Decode(payload);
    } catch (const EZxError &) {
        // Refused; the dispatcher below must still answer with an error reply.
    }
    if (decoded)
        checkRoundTrip(*decoded);
    checkReply(dispatcher().Handle(payload, origin, true));
}

struct Step
{
    TStep kind;
    QByteArray payload;
    quint32 announced = 0;
};

// What the reader must yield for the whole stream, worked out in one pass; idle tells
// whether the stream ends at a frame boundary with nothing left to drop.
QList<Step> expectedSteps(const QByteArray &stream, bool &idle)
{
    QList<Step> steps;
    qsizetype pos = 0;
    while (stream.size() - pos >= 4) {
        const quint32 length = qFromBigEndian<quint32>(stream.constData() + pos);
        if (qint64(length) > MaxFrame) {
            steps.append({TStep::Oversized, {}, length});
            const qint64 end = pos + 4 + qint64(length);
            if (end > stream.size()) {
                idle = false;
                return steps;
            }
            pos = qsizetype(end);
            continue;
        }
        if (stream.size() - pos - 4 < qsizetype(length))
            break;
        steps.append({TStep::Frame, stream.mid(pos + 4, qsizetype(length))});
        pos += 4 + qsizetype(length);
    }
    idle = pos == stream.size();
    return steps;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray stream(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    bool idle = true;
    const QList<Step> expected = expectedSteps(stream, idle);

    TZxFrameReader reader(MaxFrame);
    TZxRequestOrigin origin;
    origin.Transport = QStringLiteral("tcp");
    origin.Peer = QStringLiteral("127.0.0.1:1");
    TFuzzChunker chunks(stream, data[0]);
    qsizetype done = 0;
    QByteArray chunk;
    while (chunks.next(chunk)) {
        reader.Append(chunk);
        while (true) {
            QByteArray payload;
            quint32 announced = 0;
            const TStep step = reader.Next(payload, announced);
            if (step == TStep::NeedMore)
                break;
            if (done >= expected.size())
                fuzzFinding("the reader yields a frame the stream does not hold");
            const Step &want = expected.at(done++);
            if (step != want.kind || (step == TStep::Frame && payload != want.payload)
                || (step == TStep::Oversized && announced != want.announced))
                fuzzFinding("the reader's frames differ from the stream's");
            if (step == TStep::Frame)
                handleFrame(payload, origin);
        }
    }
    if (done != expected.size())
        fuzzFinding("the reader missed a frame");
    if (reader.Idle() != idle)
        fuzzFinding("the reader's Idle() is wrong at the end of the stream");
    return 0;
}
