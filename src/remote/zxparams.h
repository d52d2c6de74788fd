#pragma once

#include "zxparam.h"

#include <memory>
#include <vector>

// The parameter list of a remote call. Names match without regard to case; references
// handed out stay valid until the parameter is removed or the list is cleared.
class TZxParams
{
public:
    TZxParams() = default;
    TZxParams(const TZxParams &other);
    TZxParams &operator=(const TZxParams &other);
    TZxParams(TZxParams &&) noexcept = default;
    TZxParams &operator=(TZxParams &&) noexcept = default;

    int Count() const { return int(m_items.size()); }
    TZxParam &At(int index) { return *m_items.at(size_t(index)); }
    const TZxParam &At(int index) const { return *m_items.at(size_t(index)); }

    TZxParam *FindParam(const QString &name);
    const TZxParam *FindParam(const QString &name) const;
    // Raises EZxError when there is no such parameter.
    TZxParam &ParamByName(const QString &name);
    const TZxParam &ParamByName(const QString &name) const;
    // Adds the parameter when it is missing; an existing one is returned as it is, its
    // type, direction and value unchanged.
    TZxParam &Add(const QString &name, TZxParamType type, TZxParamDir dir);

    void Clear() { m_items.clear(); }
    // Sets every output and result value to null; input-output values are inputs too
    // and stay.
    void ClearOutputs();

private:
    std::vector<std::unique_ptr<TZxParam>> m_items;
};
