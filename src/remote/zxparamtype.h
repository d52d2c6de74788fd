#pragma once

#include <QString>
#include <optional>

// The value types a remote-method parameter can have.
enum class TZxParamType {
    String,    // wide (Unicode) string
    Int32,
    Int64,
    Boolean,
    Timestamp, // date and time, milliseconds
    Blob,      // raw bytes
};

// Which way a parameter travels.
enum class TZxParamDir {
    Input,
    Output,
    InputOutput,
    Result, // the method's result, always named "ReturnValue"
};

inline const QString ZxReturnValueName = QStringLiteral("ReturnValue");

// The names used on the wire ("string", "int64", ..., "in", "inout", ...).
QString ZxParamTypeName(TZxParamType type);
std::optional<TZxParamType> ZxParamTypeFromName(const QString &name);
QString ZxParamDirName(TZxParamDir dir);
std::optional<TZxParamDir> ZxParamDirFromName(const QString &name);

// Whether the caller sends the parameter's value, and whether the reply brings one back.
inline bool ZxDirSends(TZxParamDir dir)
{
    return dir == TZxParamDir::Input || dir == TZxParamDir::InputOutput;
}
inline bool ZxDirReturns(TZxParamDir dir) { return dir != TZxParamDir::Input; }
