#include "tools/faxd/LoginGuard.h"

#include <algorithm>

namespace qp::faxd {
namespace {

constexpr std::chrono::milliseconds kFailureMemory{kFailureMemoryMs};

int DelayAfterFailures(int count) {
    int delay = kFirstFailedLoginDelayMs;
    for (int i = 1; i < count && delay < kLongestFailedLoginDelayMs; ++i)
        delay *= 2;
    return std::min(delay, kLongestFailedLoginDelayMs);
}

} // namespace

int LoginGuard::WaitBeforeCheckMs(const std::string& box) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_failures.find(box);
    if (found == m_failures.end())
        return 0;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(found->second.delayEnds - m_clock.Now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

int LoginGuard::RecordFailure(const std::string& box) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const Clock::TimePoint now = m_clock.Now();
    if (m_failures.size() > kPruneBoxesAbove)
        PruneStale(now);
    Failures& failures = m_failures[box];
    if (failures.count > 0 && now - failures.delayEnds > kFailureMemory)
        failures.count = 0;
    ++failures.count;
    const int delay = DelayAfterFailures(failures.count);
    failures.delayEnds = now + std::chrono::milliseconds(delay);
    return delay;
}

void LoginGuard::RecordSuccess(const std::string& box) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failures.erase(box);
}

void LoginGuard::PruneStale(Clock::TimePoint now) {
    std::erase_if(m_failures, [now](const auto& entry) {
        return now - entry.second.delayEnds > kFailureMemory;
    });
}

} // namespace qp::faxd
