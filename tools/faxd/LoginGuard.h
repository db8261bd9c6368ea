#pragma once

#include "platform/Clock.h"

#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace qp::faxd {

// Every failed login costs the client this long before it hears the answer, so a PIN cannot be
// guessed at the speed of the network.
inline constexpr int kFailedLoginDelayMs = 2'000;
// This many failures in a row for one message box from one client address lock that pair out.
inline constexpr int kMaxFailedLogins = 5;
inline constexpr int kLockoutMs = 15 * 60'000;
// Failures further apart than this do not add up.
inline constexpr int kFailureMemoryMs = 15 * 60'000;
// Above this many remembered pairs the stale ones are forgotten.
inline constexpr std::size_t kPrunePairsAbove = 4096;

// Failed logins per message box and client address, shared by all sessions of a server.
class LoginGuard {
public:
    explicit LoginGuard(Clock& clock) : m_clock(clock) {}

    // True while the pair is locked out: its logins are refused whatever the PIN.
    bool LockedOut(const std::string& box, const std::string& address);
    // Counts a failure; true when it is the one that locks the pair out.
    bool RecordFailure(const std::string& box, const std::string& address);
    void RecordSuccess(const std::string& box, const std::string& address);
    // Holds the calling session for the failed-login delay.
    void DelayFailure() { m_clock.SleepMs(kFailedLoginDelayMs); }

private:
    using Key = std::pair<std::string, std::string>;
    struct Failures {
        int count = 0;
        Clock::TimePoint last{};
        Clock::TimePoint lockedUntil{};
    };
    void PruneStale(Clock::TimePoint now);

    Clock& m_clock;
    std::mutex m_mutex;
    std::map<Key, Failures> m_failures;
};

} // namespace qp::faxd
