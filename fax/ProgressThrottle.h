#pragma once

#include "platform/Clock.h"

#include <cstdint>
#include <optional>

namespace qp {

// The shortest time between two progress reports that reach the send dialog.
inline constexpr int kProgressIntervalMs = 50;

// Picks the upload progress reports worth showing: the first (it tells the size), the last (the
// bar ends full), and in between at most one per whole percent and per interval. Each report that
// reaches a window costs an event on the GUI thread, and an upload reports every kilobyte.
class ProgressThrottle {
public:
    explicit ProgressThrottle(Clock& clock, int intervalMs = kProgressIntervalMs)
        : m_clock(clock), m_intervalMs(intervalMs) {}

    // True when the report of `position` out of `size` bytes should be shown.
    bool Pass(std::uint64_t position, std::uint64_t size);

private:
    Clock& m_clock;
    int m_intervalMs;
    std::optional<Clock::TimePoint> m_lastShown;
    // Below this position a report cannot begin a new whole percent.
    std::uint64_t m_nextCheck = 0;
};

} // namespace qp
