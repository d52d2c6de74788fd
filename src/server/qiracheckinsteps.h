#pragma once

#include <QString>

#include <functional>

// The named steps of a check-in, from NewChange to the reply of EndChange. A test may
// install a hook that is asked at each step: a crash test kills the process there, a
// fault test makes the step fail as the disk or the database would. Without a hook each
// step costs one relaxed atomic load.
enum class TQiraCheckInStep {
    ChangeOpen,    // NewChange checked, the bracket about to be remembered
    TempWrite,     // bytes about to be appended to a temporary file
    UploadTake,    // EndChange: the finished upload about to be handed over
    VersionBegin,  // the write transaction begun, nothing written yet
    ContentSync,   // the finished content about to be flushed to disk
    ContentRename, // about to be moved under its key
    ShardSync,     // moved; its folder entry about to be flushed
    VersionInsert, // the version row about to be inserted
    FileUpdate,    // the file row about to be updated
    VersionCommit, // the transaction about to commit
    Reply,         // committed; the reply not yet sent
};

namespace QiraCheckInSteps {

// Returns true when the step is to fail. Install before the server serves, remove after.
using Hook = std::function<bool(TQiraCheckInStep)>;
void setHook(Hook hook);

// Asks the hook; false without one.
bool fails(TQiraCheckInStep step);

// For steps without a failure branch of their own: the refusal a failing database gives.
void check(TQiraCheckInStep step);

// For steps that cannot fail: only a place to stop at.
void reach(TQiraCheckInStep step);

QString name(TQiraCheckInStep step);
inline constexpr int count = int(TQiraCheckInStep::Reply) + 1;

} // namespace QiraCheckInSteps
