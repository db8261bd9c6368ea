#include "tools/faxd/SessionTable.h"

#include <algorithm>

namespace qp::faxd {

SessionTable::Id SessionTable::ToDrop(const std::string& address) const {
    std::map<std::string, std::size_t> waiting;
    std::size_t total = 0;
    std::size_t most = 0;
    for (const auto& [id, entry] : m_entries) {
        if (entry.loggedIn)
            continue;
        ++total;
        most = std::max(most, ++waiting[entry.address]);
    }
    const bool addressFull = waiting[address] >= m_limits.beforeLoginPerAddress;
    if (!addressFull && total < m_limits.beforeLogin)
        return 0;
    for (const auto& [id, entry] : m_entries) {
        if (entry.loggedIn)
            continue;
        if (addressFull ? entry.address == address : waiting.at(entry.address) == most)
            return id;
    }
    return 0;
}

SessionTable::Admission SessionTable::Admit(const std::string& address) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Admission admission;
    while (const Id drop = ToDrop(address)) {
        m_entries.erase(drop);
        admission.dropped.push_back(drop);
    }
    admission.id = ++m_lastId;
    m_entries[admission.id] = Entry{address, false};
    return admission;
}

bool SessionTable::LogIn(Id id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_entries.find(id);
    if (found == m_entries.end())
        return false;
    std::size_t loggedIn = 0;
    for (const auto& [other, entry] : m_entries)
        loggedIn += entry.loggedIn ? 1 : 0;
    if (loggedIn >= m_limits.loggedIn)
        return false;
    found->second.loggedIn = true;
    return true;
}

void SessionTable::Remove(Id id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.erase(id);
}

} // namespace qp::faxd
