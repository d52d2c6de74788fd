#include "qiraerrors.h"

EQiraRightsError::EQiraRightsError(QString message)
    : EZxError(QStringLiteral("EQiraRightsError"), std::move(message))
{
}

EQiraRequestError::EQiraRequestError(QString message)
    : EZxError(QStringLiteral("EQiraRequestError"), std::move(message))
{
}

EQiraLockError::EQiraLockError(QString message)
    : EZxError(QStringLiteral("EQiraLockError"), std::move(message))
{
}

EQiraAuthError::EQiraAuthError(QString message)
    : EZxError(QStringLiteral("EQiraAuthError"), std::move(message))
{
}

EQiraStoreError::EQiraStoreError(QString message)
    : EZxError(QStringLiteral("EQiraStoreError"), std::move(message))
{
}
