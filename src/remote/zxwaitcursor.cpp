#include "zxwaitcursor.h"

#include <atomic>

namespace {
std::atomic<TZxWaitCursor *> g_cursor{nullptr};
}

void SetWaitCursor(TZxWaitCursor *cursor) { g_cursor.store(cursor); }

TZxWaitCursor *WaitCursor() { return g_cursor.load(); }
