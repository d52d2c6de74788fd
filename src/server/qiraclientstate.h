#pragma once

#include "qirainfo.h"
#include "qiraupload.h"
#include "zxconnectionstate.h"

#include <memory>
#include <optional>

// What the document server keeps for one client between its calls: the chunked upload
// in progress (temporary files and open change brackets, removed with the session) and
// the last file list it asked for, which RefreshFiles reads again.
class TQiraClientState : public TZxConnectionState
{
public:
    std::unique_ptr<TQiraUpload> upload;
    std::optional<TQiraFilter> lastList;
};
