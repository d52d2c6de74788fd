#include "zxrowchange.h"

QString ZxRowStateName(TZxRowState state)
{
    switch (state) {
    case TZxRowState::Unchanged:
        return QStringLiteral("unchanged");
    case TZxRowState::Inserted:
        return QStringLiteral("inserted");
    case TZxRowState::Modified:
        return QStringLiteral("modified");
    case TZxRowState::Deleted:
        return QStringLiteral("deleted");
    }
    return {};
}
