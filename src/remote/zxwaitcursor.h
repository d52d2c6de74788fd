#pragma once

// The busy indicator shown while a remote call runs. The widget layer installs one that
// sets the wait cursor; by default there is none. Every call turns it on before it
// starts and off when it ends, whether it succeeds or fails.
class TZxWaitCursor
{
public:
    virtual ~TZxWaitCursor() = default;
    virtual void BusyOn() = 0;
    virtual void BusyOff() = 0;
};

// Installs the indicator (not owned); nullptr removes it.
void SetWaitCursor(TZxWaitCursor *cursor);
TZxWaitCursor *WaitCursor();
