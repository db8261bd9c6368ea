#include "fax/TcpConnector.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qp {
namespace {

constexpr int kHighestPort = 65535;

// Waits for `events` on the socket; ETIMEDOUT when the wait runs out.
int WaitFor(int fd, short events, int timeoutMs) {
    pollfd entry{fd, events, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, timeoutMs);
        if (ready > 0)
            return 0;
        if (ready == 0)
            return ETIMEDOUT;
        if (errno != EINTR)
            return errno;
    }
}

class TcpStream final : public ByteStream {
public:
    TcpStream(int fd, int timeoutMs) : m_fd(fd), m_timeoutMs(timeoutMs) {}
    ~TcpStream() override {
        ::shutdown(m_fd, SHUT_WR);
        ::close(m_fd);
    }
    TcpStream(const TcpStream&) = delete;
    TcpStream& operator=(const TcpStream&) = delete;

    IoResult Read(char* buffer, std::size_t capacity) override {
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer, capacity, 0);
            if (n > 0)
                return {IoStatus::Ok, static_cast<std::size_t>(n), 0};
            if (n == 0)
                return {IoStatus::Closed, 0, 0};
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return {IoStatus::Failed, 0, errno};
            if (const int waited = WaitFor(m_fd, POLLIN, m_timeoutMs); waited != 0)
                return Failure(waited);
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
            if (const int waited = WaitFor(m_fd, POLLOUT, m_timeoutMs); waited != 0) {
                IoResult result = Failure(waited);
                result.bytes = sent;
                return result;
            }
        }
        return {IoStatus::Ok, sent, 0};
    }

    void Abort() override { ::shutdown(m_fd, SHUT_RDWR); }

private:
    static IoResult Failure(int error) {
        return {error == ETIMEDOUT ? IoStatus::TimedOut : IoStatus::Failed, 0, error};
    }

    int m_fd;
    int m_timeoutMs;
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
    if (const int waited = WaitFor(fd, POLLOUT, timeoutMs); waited != 0)
        return waited;
    if (stop.stop_requested())
        return ECANCELED;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return errno;
    return error;
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
    if (error == 0) {
        peer.sin_port = htons(static_cast<std::uint16_t>(port));
        error = ConnectWithin(fd, peer, m_timeouts.connectMs, stop);
    }
    if (error != 0) {
        ::close(fd);
        connection.error = error;
        return connection;
    }
    connection.stream = std::make_unique<TcpStream>(fd, m_timeouts.replyMs);
    return connection;
}

Connector& DefaultFaxConnector() {
    static TcpConnector connector;
    return connector;
}

} // namespace qp
