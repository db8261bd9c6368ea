#pragma once

#include "bench/ClientRig.h"

#include <QObject>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <utility>

namespace qp::bench {

using Milliseconds = std::chrono::duration<double, std::milli>;

// Ticks every 10 ms on the GUI thread; keeps the longest gap between ticks for each part of the
// work, named by `part` at the tick that began the gap.
class Heartbeat {
public:
    explicit Heartbeat(std::function<const char*()> part) : m_part(std::move(part)) {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
        m_last = std::chrono::steady_clock::now();
        m_lastPart = m_part();
        m_timer.start(10);
    }
    const std::map<std::string, double>& LongestGaps() const { return m_longest; }
    // A user's pause between two steps, which lets the GUI thread tick at least once.
    void Pause() const {
        const int ticks = m_ticks;
        PumpUntil([&] { return m_ticks > ticks; });
    }

private:
    void Tick() {
        const auto now = std::chrono::steady_clock::now();
        double& longest = m_longest[m_lastPart];
        longest = std::max(longest, Milliseconds(now - m_last).count());
        m_last = now;
        m_lastPart = m_part();
        ++m_ticks;
    }

    std::function<const char*()> m_part;
    QTimer m_timer;
    std::chrono::steady_clock::time_point m_last;
    const char* m_lastPart = "";
    int m_ticks = 0;
    std::map<std::string, double> m_longest;
};

} // namespace qp::bench
