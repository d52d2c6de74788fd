#include "zxstoredproc.h"

#include "zxconnection.h"
#include "zxremoteerror.h"

TZxStoredProc::TZxStoredProc(TZxConnection *connection, const QString &storedProcName)
    : m_connection(connection), m_name(storedProcName)
{
}

void TZxStoredProc::SetStoredProcName(const QString &name)
{
    if (name != m_name)
        m_params.Clear();
    m_name = name;
}

void TZxStoredProc::ExecProc()
{
    if (!m_connection)
        throw ERemoteConnectionError(
            QStringLiteral("Удаленная процедура \"%1\" не связана с соединением").arg(m_name));
    if (m_name.isEmpty())
        throw ERemoteProtocolError(QStringLiteral("Не задано имя удаленной процедуры"));
    m_connection->Execute(m_name, m_params);
}
