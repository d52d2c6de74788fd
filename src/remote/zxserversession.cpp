#include "zxserversession.h"

#include <chrono>

namespace {
qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

TZxServerSession::TZxServerSession(QString token, QString userName, TZxSessionInfo info,
                                   QString transport)
    : m_token(std::move(token)), m_userName(std::move(userName)),
      m_transport(std::move(transport)), m_info(std::move(info)), m_lastUse(nowMs())
{
}

TZxConnectionState *TZxServerSession::FindState(std::type_index type) const
{
    const auto it = m_states.find(type);
    return it == m_states.end() ? nullptr : it->second.get();
}

TZxConnectionState &TZxServerSession::PutState(std::type_index type,
                                               std::unique_ptr<TZxConnectionState> state)
{
    auto &slot = m_states[type];
    slot = std::move(state);
    return *slot;
}

void TZxServerSession::DropState(std::type_index type) { m_states.erase(type); }

void TZxServerSession::Touch() { m_lastUse.store(nowMs()); }

qint64 TZxServerSession::IdleMs() const { return nowMs() - m_lastUse.load(); }
