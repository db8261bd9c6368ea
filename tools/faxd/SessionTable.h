#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace qp::faxd {

// Anyone who can reach the port can open sessions before login; only a logged-in session does the
// server's work. So the two are counted apart: sessions before login have a small share of their
// own, and when it is full the oldest of them gives way to a newcomer rather than the newcomer
// being turned away, so connections that never log in cannot keep out one that does.
inline constexpr std::size_t kMaxLoggedInSessions = 64;
inline constexpr std::size_t kMaxSessionsBeforeLogin = 16;
// One address may hold only this many of them, so it competes with itself first.
inline constexpr std::size_t kMaxSessionsBeforeLoginPerAddress = 8;

struct SessionLimits {
    std::size_t loggedIn = kMaxLoggedInSessions;
    std::size_t beforeLogin = kMaxSessionsBeforeLogin;
    std::size_t beforeLoginPerAddress = kMaxSessionsBeforeLoginPerAddress;
};

// The server's open sessions, by client address and by whether they have logged in. Thread-safe:
// the serving thread admits, the sessions log in and leave.
class SessionTable {
public:
    using Id = std::uint64_t;
    struct Admission {
        Id id = 0;
        std::vector<Id> dropped; // sessions before login that must end to make room
    };

    explicit SessionTable(SessionLimits limits = {}) : m_limits(limits) {}

    // Takes a new connection from `address` in. When that address, or all addresses together,
    // already hold as many sessions before login as they may, the oldest of them from that
    // address, or else from the address that holds the most, is dropped.
    Admission Admit(const std::string& address);
    // Moves a session that has logged in to the logged-in share; false when that share is full or
    // the session was dropped meanwhile.
    bool LogIn(Id id);
    void Remove(Id id);

private:
    struct Entry {
        std::string address;
        bool loggedIn = false;
    };
    // The session before login to drop for a newcomer from `address`, or 0 when none need be.
    Id ToDrop(const std::string& address) const;

    SessionLimits m_limits;
    mutable std::mutex m_mutex;
    std::map<Id, Entry> m_entries; // ids grow, so the oldest comes first
    Id m_lastId = 0;
};

} // namespace qp::faxd
