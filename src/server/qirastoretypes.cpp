#include "qirastoretypes.h"

namespace {

QVariant lookup(const QVariantMap &map, const QString &column, bool *found = nullptr)
{
    const auto exact = map.constFind(column);
    if (exact != map.constEnd()) {
        if (found)
            *found = true;
        return exact.value();
    }
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        if (it.key().compare(column, Qt::CaseInsensitive) == 0) {
            if (found)
                *found = true;
            return it.value();
        }
    }
    if (found)
        *found = false;
    return {};
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    const bool aNull = !a.isValid() || a.isNull();
    const bool bNull = !b.isValid() || b.isNull();
    if (aNull || bNull)
        return aNull == bNull;
    return a == b;
}

} // namespace

bool TQiraSession::isAdmin() const
{
    return roleId == QStringLiteral("-1") || roleId == QStringLiteral("1");
}

int TQiraRowSet::columnIndex(const QString &name) const
{
    for (int i = 0; i < columns.size(); ++i)
        if (columns.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant TQiraRowSet::value(int row, const QString &column) const
{
    const int index = columnIndex(column);
    if (index < 0 || row < 0 || row >= rows.size())
        return {};
    return rows.at(row).value(index);
}

QVariant TQiraRowChange::newValue(const QString &column) const
{
    return lookup(state == State::Deleted ? original : values, column);
}

QVariant TQiraRowChange::originalValue(const QString &column) const
{
    return lookup(original, column);
}

bool TQiraRowChange::hasNewValue(const QString &column) const
{
    bool found = false;
    lookup(values, column, &found);
    return found;
}

bool TQiraRowChange::changes(const QString &column) const
{
    bool inValues = false;
    const QVariant now = lookup(values, column, &inValues);
    if (!inValues)
        return false;
    bool inOriginal = false;
    const QVariant before = lookup(original, column, &inOriginal);
    return !inOriginal || !sameValue(now, before);
}
