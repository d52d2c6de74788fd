#pragma once

#include <functional>

class TZxDataset;
class TZxStoredProc;

// Sends the table's pending changes through the save call as its "AStream" input, then
// runs the completion. A pending edit is posted first. Failures are shown in an error
// box and not passed on; the local rows keep the change so that it can be sent again.
// A save that succeeded forgets the sent changes, so no change is ever sent twice.
void SeveData(TZxDataset &table, TZxStoredProc &saveCall, const std::function<void()> &completion = {});
