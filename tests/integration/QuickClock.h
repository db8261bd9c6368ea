#pragma once

#include "platform/Clock.h"

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace qp::test {

// Real waits, forty times shorter, so the watcher's 4 s polls pass in 100 ms. The sleeps are
// recorded so the test can tell when the clean-up wait has passed.
class QuickClock final : public Clock {
public:
    TimePoint Now() const override { return std::chrono::steady_clock::now(); }
    void SleepMs(int milliseconds) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_sleeps.push_back(milliseconds);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds / 40));
    }
    std::vector<int> Sleeps() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sleeps;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<int> m_sleeps;
};

} // namespace qp::test
