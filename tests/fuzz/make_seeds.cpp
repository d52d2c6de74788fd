// Writes the seed inputs of fuzz_frame and fuzz_http with the project's own encoder:
// fuzz_seeds <corpus folder>, which then holds frame/ and http/.
#include "zxremotemessage.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <cstdio>

namespace {

TZxRemoteMessage connectMessage(quint64 id, const QString &user)
{
    TZxRemoteMessage m;
    m.Kind = TZxMessageKind::Connect;
    m.Id = id;
    m.Version = ZxProtocolVersion;
    m.UserName = user;
    m.Password = QStringLiteral("21232f297a57a5a743894a0e4a801fc3");
    return m;
}

TZxParam param(const char *name, TZxParamType type, TZxParamDir dir, const QVariant &value)
{
    TZxParam p(QString::fromLatin1(name), type, dir);
    p.SetTypedValue(type, value);
    return p;
}

TZxRemoteMessage echoCall(quint64 id, const QString &inText)
{
    using T = TZxParamType;
    using D = TZxParamDir;
    TZxRemoteMessage m;
    m.Kind = TZxMessageKind::Call;
    m.Id = id;
    m.Method = QStringLiteral("Fuzz.Echo");
    m.Params = {param("Text", T::String, D::InputOutput, QStringLiteral("акт 42")),
                param("Small", T::Int32, D::InputOutput, qint32(-7)),
                param("Large", T::Int64, D::InputOutput, qint64(1) << 40),
                param("Flag", T::Boolean, D::InputOutput, true),
                param("Stamp", T::Timestamp, D::InputOutput,
                      QDateTime(QDate(2024, 2, 29), QTime(13, 5, 7, 250), Qt::UTC)),
                param("Data", T::Blob, D::InputOutput, QByteArray("\x00\x01\xff", 3)),
                param("InText", T::String, D::Input, inText)};
    return m;
}

TZxRemoteMessage bare(TZxMessageKind kind, quint64 id)
{
    TZxRemoteMessage m;
    m.Kind = kind;
    m.Id = id;
    return m;
}

QByteArray frames(const QList<TZxRemoteMessage> &messages)
{
    QByteArray out;
    for (const TZxRemoteMessage &m : messages)
        out += m.EncodeFrame();
    return out;
}

QByteArray httpPost(const QByteArray &body, const QByteArray &extra = {})
{
    return "POST /qira HTTP/1.1\r\nHost: localhost\r\nContent-Type: application/cbor\r\nContent-Length: "
           + QByteArray::number(body.size()) + "\r\n" + extra + "\r\n" + body;
}

bool write(const QString &folder, const char *name, char cut, const QByteArray &bytes)
{
    QDir().mkpath(folder);
    QFile file(folder + u'/' + QString::fromLatin1(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(1, cut) + bytes) != bytes.size() + 1) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <corpus folder>\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QString frame = root + QStringLiteral("/frame");
    const QString http = root + QStringLiteral("/http");

    QByteArray oversized(4, '\0');
    qToBigEndian(quint32(2000), oversized.data());
    oversized += QByteArray(2000, 'x');
    QByteArray truncated = echoCall(2, QString()).EncodeFrame();
    truncated.chop(5);
    TZxRemoteMessage failure = TZxRemoteMessage::MakeError(3, QStringLiteral("EZxError"), QStringLiteral("сбой"));
    const QByteArray session = frames({connectMessage(1, QStringLiteral("admin")), echoCall(2, QStringLiteral("12"))});

    bool ok = write(frame, "session", 0, session + bare(TZxMessageKind::Disconnect, 3).EncodeFrame())
              && write(frame, "call-refused", 7, frames({connectMessage(1, QStringLiteral("user")), echoCall(2, QStringLiteral("fail"))}))
              && write(frame, "call-dates", 3, frames({connectMessage(1, QStringLiteral("user")),
                                                       echoCall(2, QStringLiteral("2024-03-01T10:00:00+03:00"))}))
              && write(frame, "call-unconnected", 1, echoCall(5, QStringLiteral("true")).EncodeFrame())
              && write(frame, "connect-denied", 2, connectMessage(1, QString()).EncodeFrame())
              && write(frame, "not-requests", 4, frames({failure, bare(TZxMessageKind::Disconnected, 4)}))
              && write(frame, "oversized", 5, oversized + session)
              && write(frame, "truncated", 6, session.left(4) + truncated);

    const QByteArray connect = connectMessage(1, QStringLiteral("admin")).Encode();
    ok = ok && write(http, "post", 0, httpPost(connect))
         && write(http, "keep-alive", 9, httpPost(connect) + httpPost(echoCall(2, QString()).Encode(), "X-Qira-Session: 00ff\r\n"))
         && write(http, "close-then-more", 1, httpPost(connect, "Connection: close\r\n") + "GET / HTTP/1.0\r\n\r\n")
         && write(http, "too-large", 2, httpPost(QByteArray(2000, 'b')) + httpPost(connect))
         && write(http, "chunked", 3, "POST /qira HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n")
         && write(http, "response", char(0x80),
                  "HTTP/1.1 200 OK\r\nContent-Type: application/cbor\r\nContent-Length: "
                      + QByteArray::number(connect.size()) + "\r\nConnection: keep-alive\r\n\r\n" + connect);
    return ok ? 0 : 1;
}
