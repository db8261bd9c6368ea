#include "platform/ClientChannel.h"

#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace qp {
namespace {

constexpr const char* kSocketName = "quillpost.sock";
constexpr const char* kTaken = "taken";
constexpr const char* kDeclined = "declined";
constexpr const char* kInvalid = "invalid";
// Clients that may be heard at once; one more is closed at once, so a flood costs nothing.
constexpr std::size_t kMaxConnections = 8;
constexpr std::size_t kMaxAnswer = 64;
constexpr int kRetryMs = 200;

struct Field {
    const char* key;
    std::string ChannelRequest::*value;
};
constexpr Field kFields[] = {{"job", &ChannelRequest::job},
                             {"startup-id", &ChannelRequest::startupId},
                             {"activation-token", &ChannelRequest::activationToken}};

std::string Plain(const std::string& text) {
    std::string plain;
    for (const char c : text) {
        if (c != '\t' && c != '\n' && c != '\r' && c != '\0')
            plain += c;
    }
    return plain;
}

// Stable from one build to the next, unlike std::hash.
std::string Fnv1aHex(const std::string& text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return hex;
}

// The address of a socket file, or nothing when the path does not fit.
std::optional<sockaddr_un> FileAddress(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return std::nullopt;
    std::memcpy(address.sun_path, path.data(), path.size());
    return address;
}

socklen_t AbstractAddress(const std::string& name, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    const std::size_t length = std::min(name.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, name.data(), length);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
}

bool SameUser(int fd) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}

int NewSocket() {
    return ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

using Deadline = std::chrono::steady_clock::time_point;

// Waits for `events` on `fd` until the deadline; false when it passed first.
bool WaitFor(int fd, short events, Deadline deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd wait{fd, events, 0};
        const int ready = ::poll(&wait, 1, static_cast<int>(left.count()));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

enum class Connect { Connected, NoListener, Failed };

Connect ConnectTo(int fd, const sockaddr_un& address, socklen_t size, Deadline deadline) {
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), size) == 0)
        return Connect::Connected;
    // A full backlog says only that the client is busy: like a client still starting.
    if (errno == ENOENT || errno == ECONNREFUSED || errno == EAGAIN)
        return Connect::NoListener;
    if (errno != EINPROGRESS || !WaitFor(fd, POLLOUT, deadline))
        return Connect::Failed;
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
    return error == 0 ? Connect::Connected : Connect::NoListener;
}

HandOver Exchange(int fd, const std::string& line, Deadline deadline) {
    std::size_t sent = 0;
    while (sent < line.size()) {
        const ssize_t n = ::send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if ((n < 0 && errno != EAGAIN && errno != EINTR) ||
                   !WaitFor(fd, POLLOUT, deadline)) {
            return HandOver::Failed;
        }
    }
    std::string answer;
    while (answer.find('\n') == std::string::npos && answer.size() < kMaxAnswer) {
        if (!WaitFor(fd, POLLIN, deadline))
            return HandOver::Failed;
        char buffer[kMaxAnswer];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0)
            return HandOver::Failed;
        if (n > 0)
            answer.append(buffer, static_cast<std::size_t>(n));
        else if (errno != EAGAIN && errno != EINTR)
            return HandOver::Failed;
    }
    answer = answer.substr(0, answer.find('\n'));
    if (answer == kTaken)
        return HandOver::Taken;
    return answer == kDeclined ? HandOver::Declined : HandOver::Failed;
}

} // namespace

std::string FormatRequest(const ChannelRequest& request) {
    std::string line = Plain(request.command);
    for (const Field& field : kFields) {
        const std::string& value = request.*field.value;
        if (!value.empty())
            line += std::string("\t") + field.key + "=" + Plain(value);
    }
    return line + "\n";
}

std::optional<ChannelRequest> ParseRequest(const std::string& line) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        parts.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos)
            break;
        start = tab + 1;
    }
    ChannelRequest request;
    request.command = parts[0];
    if (request.command.empty() ||
        request.command.find_first_not_of("abcdefghijklmnopqrstuvwxyz") != std::string::npos)
        return std::nullopt;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::size_t equals = parts[i].find('=');
        const Field* known = nullptr;
        for (const Field& field : kFields) {
            if (parts[i].compare(0, equals, field.key) == 0 && equals == std::strlen(field.key))
                known = &field;
        }
        if (known == nullptr)
            return std::nullopt;
        request.*known->value = parts[i].substr(equals + 1);
    }
    return request;
}

ChannelAddress UserChannelAddress(const LockFolders& folders) {
    ChannelAddress address;
    if (folders.fallback && !folders.fallback->empty())
        address.path = *folders.fallback + "/" + HostQualifiedName(kSocketName, folders.host);
    // The host and the folder in the name keep apart the clients of one user on machines that
    // share a network namespace's view (containers) and the test runs of one machine.
    std::string host = HostQualifiedName("", folders.host);
    address.abstractName = "quillpost-" + std::to_string(folders.uid) + host.substr(0, 40) + "-" +
                           Fnv1aHex(address.path);
    return address;
}

struct ChannelServer::Connection {
    UniqueFd fd{-1};
    std::string received;
    QSocketNotifier* notifier = nullptr;
    QTimer* deadline = nullptr;
};

ChannelServer::ChannelServer(ChannelAddress address, Handler handler,
                             std::chrono::milliseconds readLimit)
    : m_handler(std::move(handler)), m_readLimit(readLimit) {
    if (const std::optional<sockaddr_un> file = FileAddress(address.path)) {
        // Only the lock's holder gets here: a socket file left in the folder is an ended client's.
        struct stat old {};
        if (::lstat(address.path.c_str(), &old) == 0 && S_ISSOCK(old.st_mode) &&
            old.st_uid == ::geteuid())
            ::unlink(address.path.c_str());
        UniqueFd fd(NewSocket());
        struct stat made {};
        if (fd.Get() >= 0 &&
            ::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&*file), sizeof *file) == 0 &&
            ::chmod(address.path.c_str(), 0600) == 0 && ::listen(fd.Get(), SOMAXCONN) == 0 &&
            ::lstat(address.path.c_str(), &made) == 0) {
            m_listen = std::move(fd);
            m_where = m_ownFile = address.path;
            m_fileDevice = made.st_dev;
            m_fileInode = made.st_ino;
        }
    }
    if (m_listen.Get() < 0) {
        sockaddr_un abstract{};
        const socklen_t size = AbstractAddress(address.abstractName, abstract);
        UniqueFd fd(NewSocket());
        if (fd.Get() >= 0 &&
            ::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&abstract), size) == 0 &&
            ::listen(fd.Get(), SOMAXCONN) == 0) {
            m_listen = std::move(fd);
            m_where = "@" + address.abstractName;
        }
    }
    if (m_listen.Get() < 0)
        return;
    m_acceptNotifier = std::make_unique<QSocketNotifier>(m_listen.Get(), QSocketNotifier::Read);
    QObject::connect(m_acceptNotifier.get(), &QSocketNotifier::activated, m_acceptNotifier.get(),
                     [this] { Accept(); });
}

ChannelServer::~ChannelServer() {
    m_acceptNotifier.reset();
    // No signal of theirs is being delivered now, and no event loop may run later to delete them.
    for (auto& [fd, connection] : m_connections) {
        delete connection->notifier;
        delete connection->deadline;
    }
    // A client started after this one may already have put its own socket in the file's place.
    struct stat now {};
    if (!m_ownFile.empty() && ::lstat(m_ownFile.c_str(), &now) == 0 && now.st_dev == m_fileDevice &&
        now.st_ino == m_fileInode)
        ::unlink(m_ownFile.c_str());
}

void ChannelServer::Accept() {
    for (;;) {
        UniqueFd fd(::accept4(m_listen.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (fd.Get() < 0)
            return;
        if (!SameUser(fd.Get()) || m_connections.size() >= kMaxConnections)
            continue;
        const int key = fd.Get();
        auto connection = std::make_unique<Connection>();
        connection->fd = std::move(fd);
        connection->notifier = new QSocketNotifier(key, QSocketNotifier::Read);
        QObject::connect(connection->notifier, &QSocketNotifier::activated, connection->notifier,
                         [this, key] { Read(key); });
        connection->deadline = new QTimer;
        connection->deadline->setSingleShot(true);
        QObject::connect(connection->deadline, &QTimer::timeout, connection->deadline,
                         [this, key] { Drop(key); });
        connection->deadline->start(m_readLimit);
        m_connections.emplace(key, std::move(connection));
    }
}

void ChannelServer::Read(int fd) {
    const auto found = m_connections.find(fd);
    if (found == m_connections.end())
        return;
    Connection& connection = *found->second;
    char buffer[1024];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (n <= 0) {
            Drop(fd);
            return;
        }
        connection.received.append(buffer, static_cast<std::size_t>(n));
        const std::size_t end = connection.received.find('\n');
        if (end == std::string::npos && connection.received.size() <= kMaxChannelRequest)
            continue;
        std::string answer = kInvalid;
        if (end != std::string::npos && end <= kMaxChannelRequest) {
            if (const std::optional<ChannelRequest> request =
                    ParseRequest(connection.received.substr(0, end))) {
                // The handler may run an event loop of its own: this connection must not be read
                // or timed out meanwhile.
                connection.notifier->setEnabled(false);
                connection.deadline->stop();
                answer = m_handler(*request) ? kTaken : kDeclined;
            }
        }
        answer += '\n';
        [[maybe_unused]] const ssize_t sent =
            ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        Drop(fd);
        return;
    }
}

void ChannelServer::Drop(int fd) {
    const auto found = m_connections.find(fd);
    if (found == m_connections.end())
        return;
    // Either may be the sender of the signal that brought us here.
    found->second->notifier->setEnabled(false);
    found->second->notifier->deleteLater();
    found->second->deadline->stop();
    found->second->deadline->deleteLater();
    m_connections.erase(found);
}

HandOver SendRequest(const ChannelAddress& address, const ChannelRequest& request,
                     std::chrono::milliseconds limit) {
    const Deadline deadline = std::chrono::steady_clock::now() + limit;
    struct Candidate {
        sockaddr_un address;
        socklen_t size;
    };
    std::vector<Candidate> candidates;
    if (const std::optional<sockaddr_un> file = FileAddress(address.path))
        candidates.push_back({*file, sizeof *file});
    Candidate abstract{};
    abstract.size = AbstractAddress(address.abstractName, abstract.address);
    candidates.push_back(abstract);
    for (const Candidate& candidate : candidates) {
        const UniqueFd fd(NewSocket());
        if (fd.Get() < 0)
            return HandOver::Failed;
        switch (ConnectTo(fd.Get(), candidate.address, candidate.size, deadline)) {
        case Connect::NoListener:
            continue;
        case Connect::Failed:
            return HandOver::Failed;
        case Connect::Connected:
            // A name in the abstract namespace can be taken by anyone: tell nothing to a stranger.
            if (!SameUser(fd.Get()))
                return HandOver::Failed;
            return Exchange(fd.Get(), FormatRequest(request), deadline);
        }
    }
    return HandOver::NoClient;
}

HandOver SendRequestPatiently(const ChannelAddress& address, const ChannelRequest& request,
                              Clock& clock, std::chrono::milliseconds patience) {
    const Clock::TimePoint start = clock.Now();
    for (;;) {
        const HandOver outcome = SendRequest(address, request);
        if (outcome != HandOver::NoClient || clock.Now() - start >= patience)
            return outcome;
        clock.SleepMs(kRetryMs);
    }
}

} // namespace qp
