#pragma once

// Plain loopback sockets for the peers that tests and benchmarks play themselves: header-only and
// free of test frameworks, so that a benchmark can use them as well.
#include <arpa/inet.h>
#include <cstdint>
#include <functional>
#include <netinet/in.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace qp::test {

// A socket bound to a free loopback port; the port is set.
inline int BindLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot bind on loopback");
    }
    port = ntohs(local.sin_port);
    return fd;
}

// A listening socket on a free loopback port; the port is set.
inline int ListenOnLoopback(int& port, int backlog = 8) {
    const int fd = BindLoopback(port);
    if (::listen(fd, backlog) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot listen on loopback");
    }
    return fd;
}

// A blocking connection to a loopback port, from `source` (one of 127.0.0.0/8) when given.
inline int ConnectToLoopback(int port, const char* source = nullptr) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<std::uint16_t>(port));
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if ((source != nullptr &&
         (::inet_pton(AF_INET, source, &local.sin_addr) != 1 ||
          ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)) ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot connect on loopback");
    }
    return fd;
}

// Reads up to and including the empty line that ends a block of lines.
inline std::string ReadBlock(int fd) {
    std::string text;
    char c = 0;
    while (text.size() < 4 || text.compare(text.size() - 4, 4, "\r\n\r\n") != 0) {
        if (::recv(fd, &c, 1, 0) != 1)
            break;
        text += c;
    }
    return text;
}

// A loopback port that refuses connections for as long as it lives: bound, never listening.
class RefusingPort {
public:
    RefusingPort() : m_fd(BindLoopback(m_port)) {}
    ~RefusingPort() { ::close(m_fd); }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    int Port() const { return m_port; }

private:
    int m_port = 0;
    int m_fd;
};

// A server on a free loopback port for peers that a test scripts. The kernel completes
// connections whether or not they are accepted, so one that is never served stays silent.
class LoopbackServer {
public:
    LoopbackServer() : m_fd(ListenOnLoopback(m_port)) {}
    ~LoopbackServer() {
        Join();
        ::close(m_fd);
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;
    int Port() const { return m_port; }

    // Accepts one client and hands it to `serve` on a thread of its own; closes it after.
    void ServeOne(std::function<void(int)> serve) {
        m_server = std::thread([this, serve = std::move(serve)] {
            const int client = ::accept(m_fd, nullptr, nullptr);
            if (client < 0)
                return;
            serve(client);
            ::close(client);
        });
    }
    void Join() {
        if (m_server.joinable())
            m_server.join();
    }

private:
    int m_port = 0;
    int m_fd;
    std::thread m_server;
};

} // namespace qp::test
