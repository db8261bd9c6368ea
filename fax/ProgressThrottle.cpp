#include "fax/ProgressThrottle.h"

#include <cstdint>

namespace qp {

bool ProgressThrottle::Pass(std::uint64_t position, std::uint64_t size) {
    constexpr std::uint64_t kLargest = UINT64_MAX / 100;
    const std::uint64_t percent = position >= size       ? 100
                                  : position <= kLargest ? position * 100 / size
                                                         : position / (size / 100);
    const Clock::TimePoint now = m_clock.Now();
    const bool first = !m_lastShown;
    const bool last = position >= size;
    if (!first && !last &&
        (percent <= m_lastPercent || now - *m_lastShown < std::chrono::milliseconds(m_intervalMs)))
        return false;
    m_lastShown = now;
    m_lastPercent = percent;
    return true;
}

} // namespace qp
