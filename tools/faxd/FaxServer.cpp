#include "tools/faxd/FaxServer.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace qp::faxd {

// The session thread only reports that it is done; the serving thread joins it and closes the
// socket, so a socket is never shut down after its number was reused.
struct FaxServer::Session {
    SessionTable::Id id = 0;
    int fd = -1;
    std::string address;
    std::atomic<bool> done{false};
    std::thread thread;
};

std::thread StartThread(std::function<void()> body) {
    return std::thread(std::move(body));
}

FaxServer::FaxServer(const Accounts& accounts, const Outbox& outbox,
                     std::function<void(const std::string&)> log, SessionLimits limits,
                     Clock& clock, ThreadStarter startThread)
    : m_accounts(accounts), m_outbox(outbox), m_log(std::move(log)), m_table(limits),
      m_logins(clock), m_startThread(std::move(startThread)) {}

FaxServer::~FaxServer() {
    ReapFinished(true);
    if (m_listenFd >= 0)
        ::close(m_listenFd);
}

bool FaxServer::Listen(const std::string& address, int port, std::string& error) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
        error = "not an IPv4 address: " + address;
        return false;
    }
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int yes = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(m_listenFd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(m_listenFd, SOMAXCONN) != 0) {
        error = "cannot listen on " + address + ":" + std::to_string(port) + ": " +
                std::strerror(errno);
        return false;
    }
    return true;
}

std::string FaxServer::BoundAddress() const {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&local), &length);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(local.sin_port));
}

void FaxServer::Serve(int stopFd) {
    for (;;) {
        pollfd entries[2] = {{m_listenFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        // Wakes now and then to join sessions that have finished.
        const int ready = ::poll(entries, 2, 1000);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0 && (entries[1].revents & (POLLIN | POLLHUP)) != 0)
            break;
        if (ready > 0 && (entries[0].revents & POLLIN) != 0)
            Accept();
        ReapFinished(false);
    }
    ReapFinished(true);
}

void FaxServer::Accept() {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept4(m_listenFd, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    const std::string address = text;
    const SessionTable::Admission admission = m_table.Admit(address);
    for (const SessionTable::Id dropped : admission.dropped)
        Drop(dropped);
    auto session = std::make_unique<Session>();
    session->id = admission.id;
    session->fd = fd;
    session->address = address;
    Session* raw = session.get();
    try {
        session->thread = m_startThread([this, raw] {
            SessionContext context{m_accounts, m_outbox, m_log, m_logins, raw->address};
            context.loggedIn = [this, raw] { return m_table.LogIn(raw->id); };
            RunSession(raw->fd, context);
            m_table.Remove(raw->id);
            raw->done = true;
        });
    } catch (const std::system_error& error) {
        // Out of threads for now: this client is turned away, the others are still served.
        m_table.Remove(admission.id);
        ::close(fd);
        m_log("connection refused: address=" + address +
              " cannot start a session: " + error.what());
        return;
    }
    m_sessions.push_back(std::move(session));
}

void FaxServer::Drop(SessionTable::Id id) {
    for (const auto& session : m_sessions) {
        if (session->id != id)
            continue;
        // Only this thread closes the socket, so its number cannot have been reused yet.
        ::shutdown(session->fd, SHUT_RDWR);
        m_log("connection dropped: address=" + session->address +
              " not logged in, to make room for a new one");
        return;
    }
}

void FaxServer::ReapFinished(bool all) {
    for (auto it = m_sessions.begin(); it != m_sessions.end();) {
        Session& session = **it;
        if (!all && !session.done) {
            ++it;
            continue;
        }
        // Stopping: a session still reading gets end-of-stream and drops its partial fax.
        if (!session.done)
            ::shutdown(session.fd, SHUT_RDWR);
        session.thread.join();
        ::close(session.fd);
        it = m_sessions.erase(it);
    }
}

bool ParseListenAddress(const std::string& text, std::string& address, int& port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        return false;
    address = text.substr(0, colon);
    const std::string digits = text.substr(colon + 1);
    if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    port = std::stoi(digits);
    return port <= 65535;
}

} // namespace qp::faxd
