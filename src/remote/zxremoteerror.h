#pragma once

#include "zxerror.h"

// Failures the client side of the remote protocol detects itself. A failure the server
// reports in an error reply is raised as a plain EZxError carrying the server's class
// name and message.

// The server cannot be reached, refused the connection, or the connection broke.
class ERemoteConnectionError : public EZxError
{
public:
    explicit ERemoteConnectionError(QString message);
};

// The server did not answer (or stopped sending) within the connection's timeout.
class ERemoteTimeout : public EZxError
{
public:
    explicit ERemoteTimeout(QString message);
};

// A message that does not follow the wire format: malformed, oversized or unexpected.
class ERemoteProtocolError : public EZxError
{
public:
    explicit ERemoteProtocolError(QString message);
};

// Class names of the error replies the dispatcher itself produces; a handler's own
// failures keep their class names.
namespace ZxRemoteClass {
inline const QString ProtocolError = QStringLiteral("ERemoteProtocolError");
inline const QString NotConnected = QStringLiteral("ERemoteNotConnected");
inline const QString UnknownMethod = QStringLiteral("ERemoteUnknownMethod");
inline const QString ParamError = QStringLiteral("ERemoteParamError");
inline const QString AuthError = QStringLiteral("ERemoteAuthError");
inline const QString ServerError = QStringLiteral("ERemoteServerError");
} // namespace ZxRemoteClass
