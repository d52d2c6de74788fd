#include "zxparams.h"

#include "zxremoteerror.h"

TZxParams::TZxParams(const TZxParams &other)
{
    m_items.reserve(other.m_items.size());
    for (const auto &item : other.m_items)
        m_items.push_back(std::make_unique<TZxParam>(*item));
}

TZxParams &TZxParams::operator=(const TZxParams &other)
{
    if (this != &other) {
        TZxParams copy(other);
        m_items = std::move(copy.m_items);
    }
    return *this;
}

TZxParam *TZxParams::FindParam(const QString &name)
{
    for (const auto &item : m_items)
        if (item->Name().compare(name, Qt::CaseInsensitive) == 0)
            return item.get();
    return nullptr;
}

const TZxParam *TZxParams::FindParam(const QString &name) const
{
    return const_cast<TZxParams *>(this)->FindParam(name);
}

TZxParam &TZxParams::ParamByName(const QString &name)
{
    if (TZxParam *param = FindParam(name))
        return *param;
    throw EZxError(ZxRemoteClass::ParamError, QStringLiteral("Параметр \"%1\" не найден").arg(name));
}

const TZxParam &TZxParams::ParamByName(const QString &name) const
{
    return const_cast<TZxParams *>(this)->ParamByName(name);
}

TZxParam &TZxParams::Add(const QString &name, TZxParamType type, TZxParamDir dir)
{
    if (TZxParam *param = FindParam(name))
        return *param;
    m_items.push_back(std::make_unique<TZxParam>(name, type, dir));
    return *m_items.back();
}

void TZxParams::ClearOutputs()
{
    for (const auto &item : m_items)
        if (!ZxDirSends(item->Direction()))
            item->Clear();
}
