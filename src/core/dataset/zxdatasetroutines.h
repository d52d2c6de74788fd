#pragma once

#include <QByteArray>

class TZxDataset;

// Routines shared by every editable dataset and the main file list.

// Loads the result of a load method into the dataset. Empty bytes (no result) load
// nothing and leave the dataset as it is; anything else must be a well-formed image
// holding the dataset's table (EZxImageError, EZxDatasetError otherwise).
void LoadDatasetImage(const QByteArray &bytes, TZxDataset &dataset);

// The stamp of a new row (run from the new-record event): datecreate = the root's
// GetNow, usercreate = the signed-in login, Del = 0, active = 1. Each only when the
// column exists and is not read-only.
void StampOnCreate(TZxDataset &dataset);

// The stamp of a posted row (run from the before-post event): dateupdate = GetNow,
// userupdate = the signed-in login, each only when the column exists and is writable.
void StampOnUpdate(TZxDataset &dataset);
