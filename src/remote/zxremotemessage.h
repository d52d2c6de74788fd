#pragma once

#include "zxparam.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The protocol version this code speaks; a connect names the highest version the client
// speaks and the reply names the one the server chose.
inline constexpr qint64 ZxProtocolVersion = 1;

enum class TZxMessageKind {
    Connect,      // client: sign in
    Connected,    // server: signed in, with the session token
    Call,         // client: run a method
    Result,       // server: the method's result and output parameters
    Error,        // server: the request failed
    Disconnect,   // client: end the session
    Disconnected, // server: the session is ended
};

// One message of the remote protocol (see docs/protocol.md) and its CBOR form. Which
// fields a message uses depends on its kind; the others stay empty.
class TZxRemoteMessage
{
public:
    TZxMessageKind Kind = TZxMessageKind::Error;
    quint64 Id = 0; // 0: the message carries no id
    qint64 Version = 0;
    QString UserName;
    QString Password; // the password digest, never the password
    QString Session;
    QString Method;
    QList<TZxParam> Params;
    QString ErrorClass;
    QString ErrorMessage;

    static TZxRemoteMessage MakeError(quint64 id, const QString &className, const QString &message);

    // Appends the CBOR value to out. Raises EConvertError for a text that has no UTF-8
    // form (an unpaired surrogate) and for a date-time outside the years 0001-9999 in
    // UTC; error texts are repaired instead.
    void EncodeTo(QByteArray &out) const;
    QByteArray Encode() const;
    // The TCP frame: a 4-byte big-endian length, then the CBOR value.
    QByteArray EncodeFrame() const;

    // Reads exactly one CBOR value holding a well-formed message; raises
    // ERemoteProtocolError for anything else.
    static TZxRemoteMessage Decode(const QByteArray &cbor);

    static QString KindName(TZxMessageKind kind);
};
