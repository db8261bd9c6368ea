#include "fax/ProgressThrottle.h"

#include <cstdint>

namespace qp {
namespace {

// The first position that lies in a higher whole percent of `size` than `position` does.
std::uint64_t NextPercentStart(std::uint64_t position, std::uint64_t size) {
    constexpr std::uint64_t kLargest = UINT64_MAX / 100;
    const std::uint64_t percent =
        position <= kLargest ? position * 100 / size : position / (size / 100);
    const std::uint64_t next = percent + 1;
    // next * size / 100, rounded up, without overflow.
    return next * (size / 100) + (next * (size % 100) + 99) / 100;
}

} // namespace

bool ProgressThrottle::Pass(std::uint64_t position, std::uint64_t size) {
    const bool first = !m_lastShown;
    const bool last = position >= size;
    if (last || first) {
        m_lastShown = m_clock.Now();
        m_nextCheck = last ? position : NextPercentStart(position, size);
        return true;
    }
    // An upload reports every kilobyte: most reports are let go on one comparison, and the clock
    // is read at most once per whole percent.
    if (position < m_nextCheck)
        return false;
    m_nextCheck = NextPercentStart(position, size);
    const Clock::TimePoint now = m_clock.Now();
    if (now - *m_lastShown < std::chrono::milliseconds(m_intervalMs))
        return false;
    m_lastShown = now;
    return true;
}

} // namespace qp
