#include "fax/TcpConnector.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qp {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kHighestPort = 65535;
// Nothing signals that the peer has acknowledged everything, so the send queue is looked at this
// often: the last bytes of a fast upload are gone within moments, and a wake-up is cheap.
constexpr int kDrainPollMs = 1;

SteadyClock::time_point After(int milliseconds) {
    return SteadyClock::now() + std::chrono::milliseconds(milliseconds);
}

// Every wait on the connection goes through here: 0 once `events` (or an error or hang-up) are
// signalled, ETIMEDOUT when `deadline` passes first.
int WaitUntil(int fd, short events, SteadyClock::time_point deadline, short* revents = nullptr) {
    pollfd entry{fd, events, 0};
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
        if (left <= 0)
            return ETIMEDOUT;
        const int ready = ::poll(&entry, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
        if (ready > 0) {
            if (revents != nullptr)
                *revents = entry.revents;
            return 0;
        }
        if (ready < 0 && errno != EINTR)
            return errno;
    }
}

int PendingError(int fd) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return errno;
    return error;
}

class TcpStream final : public ByteStream {
public:
    TcpStream(int fd, const TcpTimeouts& timeouts)
        : m_fd(fd), m_timeouts(timeouts), m_replyDeadline(After(timeouts.replyMs)) {}
    ~TcpStream() override {
        ::shutdown(m_fd, SHUT_WR);
        ::close(m_fd);
    }
    TcpStream(const TcpStream&) = delete;
    TcpStream& operator=(const TcpStream&) = delete;

    void StartReply() override { m_replyDeadline = After(m_timeouts.replyMs); }

    IoResult Read(char* buffer, std::size_t capacity) override {
        for (;;) {
            // Waiting first, even when bytes are already there, holds a server that floods its
            // reply to the same limit as one that trickles it.
            if (const int waited = WaitUntil(m_fd, POLLIN, m_replyDeadline); waited != 0)
                return Failure(waited);
            const ssize_t n = ::recv(m_fd, buffer, capacity, 0);
            if (n > 0)
                return {IoStatus::Ok, static_cast<std::size_t>(n), 0};
            if (n == 0)
                return {IoStatus::Closed, 0, 0};
            if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)
                return {IoStatus::Failed, 0, errno};
        }
    }

    IoResult Write(const char* data, std::size_t size) override {
        std::size_t sent = 0;
        while (sent < size) {
            const ssize_t n = ::send(m_fd, data + sent, size - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                return {IoStatus::Failed, sent, errno};
            const int waited = WaitUntil(m_fd, POLLOUT, After(m_timeouts.replyMs));
            if (waited != 0) {
                IoResult result = Failure(waited);
                result.bytes = sent;
                return result;
            }
        }
        return {IoStatus::Ok, sent, 0};
    }

    IoResult Drain() override {
        const SteadyClock::time_point deadline = After(m_timeouts.drainMs);
        for (;;) {
            // A reset drops the queue, so it is looked for before the queue is trusted.
            if (const int error = PendingError(m_fd); error != 0)
                return Failure(error);
            int queued = 0;
            if (::ioctl(m_fd, SIOCOUTQ, &queued) != 0)
                return Failure(errno);
            if (queued == 0)
                return {};
            short revents = 0;
            const int waited =
                WaitUntil(m_fd, 0, std::min(deadline, After(kDrainPollMs)), &revents);
            if (waited == ETIMEDOUT && SteadyClock::now() < deadline)
                continue;
            if (waited != 0)
                return Failure(waited);
            if ((revents & (POLLERR | POLLHUP)) != 0) {
                const int error = PendingError(m_fd);
                return Failure(error != 0 ? error : EPIPE);
            }
        }
    }

    IoResult EndSending() override {
        if (::shutdown(m_fd, SHUT_WR) != 0)
            return Failure(errno);
        m_replyDeadline = After(m_timeouts.outcomeMs);
        return {};
    }

    void Abort() override { ::shutdown(m_fd, SHUT_RDWR); }

private:
    static IoResult Failure(int error) {
        return {error == ETIMEDOUT ? IoStatus::TimedOut : IoStatus::Failed, 0, error};
    }

    int m_fd;
    TcpTimeouts m_timeouts;
    SteadyClock::time_point m_replyDeadline;
};

int ResolveIPv4(const std::string& host, in_addr& address) {
    if (host.empty())
        return EINVAL;
    if (::inet_pton(AF_INET, host.c_str(), &address) == 1)
        return 0;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return EINVAL;
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return 0;
}

int ConnectWithin(int fd, const sockaddr_in& peer, int timeoutMs, const std::stop_token& stop) {
    // Shutting a connecting socket down breaks off the handshake and so ends the wait below.
    const std::stop_callback breakOff(stop, [fd] { ::shutdown(fd, SHUT_RDWR); });
    if (stop.stop_requested())
        return ECANCELED;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0)
        return 0;
    if (errno != EINPROGRESS && errno != EINTR)
        return errno;
    if (const int waited = WaitUntil(fd, POLLOUT, After(timeoutMs)); waited != 0)
        return waited;
    if (stop.stop_requested())
        return ECANCELED;
    return PendingError(fd);
}

} // namespace

Connection TcpConnector::Connect(const std::string& host, int port) {
    return ConnectUnlessStopped(host, port, {});
}

Connection TcpConnector::ConnectUnlessStopped(const std::string& host, int port,
                                              std::stop_token stop) {
    Connection connection;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        connection.failedAt = ConnectStep::Socket;
        connection.error = errno;
        return connection;
    }
    connection.failedAt = ConnectStep::Connect;

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    int error = (port > 0 && port <= kHighestPort) ? ResolveIPv4(host, peer.sin_addr) : EINVAL;
    if (error != 0)
        connection.failedAt = ConnectStep::Lookup;
    if (error == 0) {
        peer.sin_port = htons(static_cast<std::uint16_t>(port));
        error = ConnectWithin(fd, peer, m_timeouts.connectMs, stop);
    }
    if (error != 0) {
        ::close(fd);
        connection.error = error;
        return connection;
    }
    connection.stream = std::make_unique<TcpStream>(fd, m_timeouts);
    return connection;
}

Connector& DefaultFaxConnector() {
    static TcpConnector connector;
    return connector;
}

} // namespace qp
