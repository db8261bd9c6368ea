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
// A connection that has not sent its first line by then is only holding a session.
inline constexpr int kFirstLineTimeLimitMs = 10'000;
// A client that trickles its bytes just fast enough to stay clear of the idle limit must still be
// done with its login and header, and then with its image, within these, so a few slow clients
// cannot hold every session.
inline constexpr int kHeaderTimeLimitMs = 60'000;
inline constexpr int kImageTimeLimitMs = 30 * 60'000;
inline constexpr std::size_t kMaxLineLength = 4096;
inline constexpr std::size_t kMaxHeaderLines = 64;
inline constexpr std::uint64_t kMaxContentLength = 256ull * 1024 * 1024;

struct SessionContext {
    const Accounts& accounts;
    const Outbox& outbox;
    std::function<void(const std::string&)> log;
    LoginGuard& logins;
    std::string address; // the client's, as logged and as failed logins are counted by
    int idleTimeoutMs = kIdleTimeoutMs;
    int firstLineTimeLimitMs = kFirstLineTimeLimitMs;
    int headerTimeLimitMs = kHeaderTimeLimitMs;
    int imageTimeLimitMs = kImageTimeLimitMs;
};

// One client connection, from the login block to the stored fax. The caller owns and closes `fd`.
void RunSession(int fd, const SessionContext& context);

} // namespace qp::faxd
