#pragma once

#include "zxparams.h"

class TZxConnection;

// One remote method as the client's operations call it: bound to a connection and a
// method name ("TQiraServerClass.GetFiles"). The calling pattern is: Close, set the
// inputs by name, ExecProc, then read "ReturnValue" and the output parameters by name.
// Parameters are declared with AddParam; "ReturnValue" and any other value the reply
// names appear by themselves after ExecProc.
class TZxStoredProc
{
public:
    TZxStoredProc() = default;
    TZxStoredProc(TZxConnection *connection, const QString &storedProcName);

    TZxConnection *Connection() const { return m_connection; }
    void SetConnection(TZxConnection *connection) { m_connection = connection; }
    const QString &StoredProcName() const { return m_name; }
    // A different method has different parameters: changing the name clears them.
    void SetStoredProcName(const QString &name);

    TZxParams &Params() { return m_params; }
    const TZxParams &Params() const { return m_params; }
    TZxParam *FindParam(const QString &name) { return m_params.FindParam(name); }
    TZxParam &ParamByName(const QString &name) { return m_params.ParamByName(name); }
    const TZxParam &ParamByName(const QString &name) const { return m_params.ParamByName(name); }
    // Adds the parameter when missing; an existing one is returned unchanged.
    TZxParam &AddParam(const QString &name, TZxParamType type, TZxParamDir dir = TZxParamDir::Input)
    {
        return m_params.Add(name, type, dir);
    }

    // Forgets the output and result values of the last run; inputs (input-output
    // ones included) keep theirs.
    void Close() { m_params.ClearOutputs(); }
    // Raises what TZxConnection::Execute raises; after a failure every output and
    // result value is null.
    void ExecProc();

private:
    TZxConnection *m_connection = nullptr;
    QString m_name;
    TZxParams m_params;
};
