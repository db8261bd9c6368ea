#include "platform/Clock.h"

#include <thread>

namespace qp {
namespace {

class RealClock final : public Clock {
public:
    TimePoint Now() const override { return std::chrono::steady_clock::now(); }
    void SleepMs(int milliseconds) override {
        if (milliseconds > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

} // namespace

Clock& SystemClock() {
    static RealClock clock;
    return clock;
}

} // namespace qp
