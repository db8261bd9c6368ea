#pragma once

#include "platform/Clock.h"

#include <map>
#include <mutex>
#include <string>

namespace qp::faxd {

// A failed login is answered only after a delay that doubles with each failure in a row for the
// same message box, from the first to the longest below; a successful login starts afresh. So a
// PIN cannot be guessed at the speed of the network, while someone who mistypes another user's
// PIN, or guesses at it, can at worst make its owner wait, never keep the owner out: local clients
// all come from one address, so nothing here may depend on the address.
inline constexpr int kFirstFailedLoginDelayMs = 2'000;
inline constexpr int kLongestFailedLoginDelayMs = 60'000;
// Failures further apart than this do not add up.
inline constexpr int kFailureMemoryMs = 15 * 60'000;
// Above this many remembered boxes the stale ones are forgotten.
inline constexpr std::size_t kPruneBoxesAbove = 4096;

// Failed logins per message box, shared by all sessions of a server.
class LoginGuard {
public:
    explicit LoginGuard(Clock& clock) : m_clock(clock) {}

    // How long an attempt on `box` waits before its PIN is checked: the rest of the delay that
    // the box's last failure began. A right PIN answered at once while wrong ones are held would
    // tell a guesser with many connections which one was right.
    int WaitBeforeCheckMs(const std::string& box);
    // Counts a failure for `box`; how long its answer is held.
    int RecordFailure(const std::string& box);
    void RecordSuccess(const std::string& box);

private:
    struct Failures {
        int count = 0;
        Clock::TimePoint delayEnds{};
    };
    void PruneStale(Clock::TimePoint now);

    Clock& m_clock;
    std::mutex m_mutex;
    std::map<std::string, Failures> m_failures;
};

} // namespace qp::faxd
