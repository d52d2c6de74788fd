#pragma once

#include <QElapsedTimer>

// Lets the window handle its pending messages during a long loop on the user-interface
// thread. Between steps it does so only once some milliseconds have passed since the
// last time: the window stays just as responsive, and a fast loop does not spend its
// time asking for messages after every small step.
class TQiraEventPump
{
public:
    explicit TQiraEventPump(int intervalMs = 10);

    // Handles pending messages when the interval has passed since the last time.
    void Pump();
    // Handles pending messages now (the start and the end of a loop).
    void Now();

private:
    QElapsedTimer m_clock;
    int m_interval;
};
