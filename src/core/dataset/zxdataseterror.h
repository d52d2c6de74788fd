#pragma once

#include "zxerror.h"

// A dataset used against its rules: a missing field, a value set outside Edit/Insert,
// a stream asked for while an edit is pending, a table the image does not hold.
class EZxDatasetError : public EZxError
{
public:
    explicit EZxDatasetError(QString message);
};

// Bytes that are not a well-formed dataset image or change stream. Decoders throw it
// for malformed, truncated, wrong-typed or oversized input and never return half a
// result.
class EZxImageError : public EZxError
{
public:
    explicit EZxImageError(QString message);
};
