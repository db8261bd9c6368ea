#pragma once

#include <chrono>

namespace qp {

// Time and waiting behind one seam, so that polling loops can be tested without real sleeps.
class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;
    virtual TimePoint Now() const = 0;
    virtual void SleepMs(int milliseconds) = 0;
};

// The real clock of the machine; safe to share between threads.
Clock& SystemClock();

} // namespace qp
