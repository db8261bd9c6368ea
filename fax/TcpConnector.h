#pragma once

#include "fax/ByteStream.h"

namespace qp {

// A fax server that accepts the connection but never answers must not hold the sender for ever.
// Both limits are generous: a busy server on a slow line still gets through.
inline constexpr int kConnectTimeoutMs = 30'000;
inline constexpr int kReplyTimeoutMs = 60'000;
// After the last image byte: how long the server may take to receive what is still queued.
inline constexpr int kDrainTimeoutMs = 60'000;
// Then: how long the server may take to say whether it stored the fax. Servers that never say
// anything there close at once; silence that long leaves the fax sent but not confirmed.
inline constexpr int kOutcomeTimeoutMs = 10'000;

struct TcpTimeouts {
    int connectMs = kConnectTimeoutMs;
    // How long a whole reply may take, and a write may wait for room to send.
    int replyMs = kReplyTimeoutMs;
    int drainMs = kDrainTimeoutMs;
    int outcomeMs = kOutcomeTimeoutMs;
};

// TCP to a host name or dotted IPv4 address: the name's first IPv4 address is used. A name that
// does not resolve fails to connect with EINVAL, a time-out with ETIMEDOUT.
class TcpConnector final : public Connector {
public:
    explicit TcpConnector(TcpTimeouts timeouts = {}) : m_timeouts(timeouts) {}
    Connection Connect(const std::string& host, int port) override;
    Connection ConnectUnlessStopped(const std::string& host, int port,
                                    std::stop_token stop) override;

private:
    TcpTimeouts m_timeouts;
};

// The connector the program uses, with the standard time-outs.
Connector& DefaultFaxConnector();

} // namespace qp
