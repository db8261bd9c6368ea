#include "tools/faxd/LoginGuard.h"

namespace qp::faxd {
namespace {

constexpr std::chrono::milliseconds kLockout{kLockoutMs};
constexpr std::chrono::milliseconds kFailureMemory{kFailureMemoryMs};

} // namespace

bool LoginGuard::LockedOut(const std::string& box, const std::string& address) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_failures.find({box, address});
    return found != m_failures.end() && m_clock.Now() < found->second.lockedUntil;
}

bool LoginGuard::RecordFailure(const std::string& box, const std::string& address) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const Clock::TimePoint now = m_clock.Now();
    if (m_failures.size() > kPrunePairsAbove)
        PruneStale(now);
    Failures& failures = m_failures[{box, address}];
    if (failures.count > 0 && now - failures.last > kFailureMemory)
        failures.count = 0;
    failures.last = now;
    if (++failures.count < kMaxFailedLogins)
        return false;
    failures.count = 0;
    failures.lockedUntil = now + kLockout;
    return true;
}

void LoginGuard::RecordSuccess(const std::string& box, const std::string& address) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failures.erase({box, address});
}

void LoginGuard::PruneStale(Clock::TimePoint now) {
    for (auto it = m_failures.begin(); it != m_failures.end();) {
        const Failures& failures = it->second;
        if (now >= failures.lockedUntil && now - failures.last > kFailureMemory)
            it = m_failures.erase(it);
        else
            ++it;
    }
}

} // namespace qp::faxd
