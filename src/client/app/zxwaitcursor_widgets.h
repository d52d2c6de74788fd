#pragma once

#include "zxwaitcursor.h"

// The wait cursor over every window while a remote call runs.
class TZxOverrideWaitCursor final : public TZxWaitCursor
{
public:
    void BusyOn() override;
    void BusyOff() override;
};
