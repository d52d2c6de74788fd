#pragma once

#include "zxparamtype.h"

#include <QString>

// One parameter as a server method declares it.
struct TZxParamDef
{
    QString Name;
    TZxParamType Type = TZxParamType::String;
    TZxParamDir Dir = TZxParamDir::Input;
};
