#pragma once

#include "zxerror.h"

// Refusals of the document server. Their class names reach the client with the message,
// so they name the kind of refusal.

// The signed-in user lacks the right for the operation.
class EQiraRightsError : public EZxError
{
public:
    explicit EQiraRightsError(QString message);
};

// The request itself is malformed: a bad filter, an unknown identifier, a value out of
// range.
class EQiraRequestError : public EZxError
{
public:
    explicit EQiraRequestError(QString message);
};

// A work lock held by somebody else, or another conflicting state of a row.
class EQiraLockError : public EZxError
{
public:
    explicit EQiraLockError(QString message);
};

// Sign-in refused.
class EQiraAuthError : public EZxError
{
public:
    explicit EQiraAuthError(QString message);
};

// The database or the content folder failed.
class EQiraStoreError : public EZxError
{
public:
    explicit EQiraStoreError(QString message);
};
