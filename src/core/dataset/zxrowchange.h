#pragma once

#include <QString>
#include <QVariantList>

// Where a row stands against the values it was loaded with.
enum class TZxRowState { Unchanged, Inserted, Modified, Deleted };

// One changed row of a change stream. Original holds every column as loaded (empty for
// an inserted row); Values holds every column as it is now (empty for a deleted row).
struct TZxRowChange
{
    TZxRowState State = TZxRowState::Inserted;
    QVariantList Original;
    QVariantList Values;
};

// "inserted", "modified", "deleted" (and "unchanged", which streams never carry).
QString ZxRowStateName(TZxRowState state);
