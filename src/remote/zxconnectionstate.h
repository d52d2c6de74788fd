#pragma once

// The base of what a server method keeps for one client between calls (for example the
// state of a chunked upload). Each kind is created on first use by
// TZxCallContext::State<T>() and lives as long as the client's session.
class TZxConnectionState
{
public:
    virtual ~TZxConnectionState() = default;
};
