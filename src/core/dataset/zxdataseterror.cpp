#include "zxdataseterror.h"

EZxDatasetError::EZxDatasetError(QString message)
    : EZxError(QStringLiteral("EZxDatasetError"), std::move(message))
{
}

EZxImageError::EZxImageError(QString message)
    : EZxError(QStringLiteral("EZxImageError"), std::move(message))
{
}
