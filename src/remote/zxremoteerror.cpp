#include "zxremoteerror.h"

ERemoteConnectionError::ERemoteConnectionError(QString message)
    : EZxError(QStringLiteral("ERemoteConnectionError"), std::move(message))
{
}

ERemoteTimeout::ERemoteTimeout(QString message)
    : EZxError(QStringLiteral("ERemoteTimeout"), std::move(message))
{
}

ERemoteProtocolError::ERemoteProtocolError(QString message)
    : EZxError(ZxRemoteClass::ProtocolError, std::move(message))
{
}
