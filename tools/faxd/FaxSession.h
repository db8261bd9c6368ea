#pragma once

#include "tools/faxd/Accounts.h"
#include "tools/faxd/LoginGuard.h"
#include "tools/faxd/Outbox.h"

#include <cstdint>
#include <functional>
#include <string>

namespace qp::faxd {

// A silent client is dropped after this long, so a dead peer never holds a session for ever.
inline constexpr int kIdleTimeoutMs = 120'000;
// The whole login block must have arrived by then: until it has, a connection only holds one of
// the few places kept for sessions before login.
inline constexpr int kLoginTimeLimitMs = 10'000;
// A client that trickles its bytes just fast enough to stay clear of the idle limit must still be
// done with its header, and then with its image, within these, so a few slow clients cannot hold
// every session.
inline constexpr int kHeaderTimeLimitMs = 60'000;
inline constexpr int kImageTimeLimitMs = 30 * 60'000;
inline constexpr std::size_t kMaxLineLength = 4096;
inline constexpr std::size_t kMaxHeaderLines = 64;
inline constexpr std::uint64_t kMaxContentLength = 256ull * 1024 * 1024;

// Holds a session for `ms` before it answers; false when the connection was cut meanwhile, by the
// client or by the server ending the session, so that an ended session does not linger.
using Pause = std::function<bool(int fd, int ms)>;
bool PauseOnConnection(int fd, int ms);

struct SessionContext {
    const Accounts& accounts;
    const Outbox& outbox;
    std::function<void(const std::string&)> log;
    LoginGuard& logins;
    std::string address; // the client's, as logged
    // Told that the login succeeded; false when there is no room for another logged-in session.
    std::function<bool()> loggedIn = [] { return true; };
    Pause pause = PauseOnConnection;
    int idleTimeoutMs = kIdleTimeoutMs;
    int loginTimeLimitMs = kLoginTimeLimitMs;
    int headerTimeLimitMs = kHeaderTimeLimitMs;
    int imageTimeLimitMs = kImageTimeLimitMs;
};

// What the server says once it has the whole image: the fax is stored, or it is not.
inline constexpr const char* kStoredReply = "success: stored ";
inline constexpr const char* kNotStoredReply = "error: could not store the fax";

// One client connection, from the login block to the stored fax, whose name the client is told
// once it is safely on disk. The caller owns and closes `fd`.
void RunSession(int fd, const SessionContext& context);

} // namespace qp::faxd
