#include "zxparamtype.h"

#include <array>
#include <utility>

namespace {

const std::array<std::pair<TZxParamType, const char16_t *>, 6> typeNames{{
    {TZxParamType::String, u"string"},
    {TZxParamType::Int32, u"int32"},
    {TZxParamType::Int64, u"int64"},
    {TZxParamType::Boolean, u"boolean"},
    {TZxParamType::Timestamp, u"timestamp"},
    {TZxParamType::Blob, u"blob"},
}};

const std::array<std::pair<TZxParamDir, const char16_t *>, 4> dirNames{{
    {TZxParamDir::Input, u"in"},
    {TZxParamDir::Output, u"out"},
    {TZxParamDir::InputOutput, u"inout"},
    {TZxParamDir::Result, u"result"},
}};

} // namespace

QString ZxParamTypeName(TZxParamType type)
{
    for (const auto &[value, name] : typeNames)
        if (value == type)
            return QString::fromUtf16(name);
    return {};
}

std::optional<TZxParamType> ZxParamTypeFromName(const QString &name)
{
    for (const auto &[value, text] : typeNames)
        if (name == QStringView(text))
            return value;
    return std::nullopt;
}

QString ZxParamDirName(TZxParamDir dir)
{
    for (const auto &[value, name] : dirNames)
        if (value == dir)
            return QString::fromUtf16(name);
    return {};
}

std::optional<TZxParamDir> ZxParamDirFromName(const QString &name)
{
    for (const auto &[value, text] : dirNames)
        if (name == QStringView(text))
            return value;
    return std::nullopt;
}
