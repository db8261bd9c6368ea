#pragma once

#include "platform/Clock.h"
#include "platform/InstanceLock.h"
#include "platform/UniqueFd.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

class QSocketNotifier;
class QTimer;

namespace qp {

// What another start of the program asks of the user's running client: one line of text, a
// command word and fields separated by tabs, answered with one line.
struct ChannelRequest {
    std::string command;         // "show", "log", "contacts", "configure", "cover", "queue"
    std::string job;             // "queue": the job's id
    std::string startupId;       // the desktop's DESKTOP_STARTUP_ID (X11)
    std::string activationToken; // the desktop's XDG_ACTIVATION_TOKEN (Wayland)
    bool operator==(const ChannelRequest&) const = default;
};

inline constexpr std::size_t kMaxChannelRequest = 4096;

// The request as one line, its end included; fields that would break the line lose their tabs
// and line ends.
std::string FormatRequest(const ChannelRequest& request);
// Nothing for a line that is not a request (no command word, an unknown field).
std::optional<ChannelRequest> ParseRequest(const std::string& line);

// Where a user's client listens: a socket file beside its lock in the private folder, and a name
// in the abstract namespace for when that path does not fit a socket address or the folder cannot
// hold a socket. Either side checks that the other is the same user.
struct ChannelAddress {
    std::string path;         // empty: no folder
    std::string abstractName; // without its leading zero byte
};
ChannelAddress UserChannelAddress(const LockFolders& folders = UserLockFolders());

// Listens for requests on the thread that made it (which must run a Qt event loop) and hands each
// to `handler`, whose answer (true: the client took it) goes back. Make it only while holding the
// user's instance lock: it replaces a socket file left by an ended client. A peer of another user
// is closed at once; a request that is too long or does not end within `readLimit` is dropped
// without stalling the others.
class ChannelServer {
public:
    using Handler = std::function<bool(const ChannelRequest&)>;

    ChannelServer(ChannelAddress address, Handler handler,
                  std::chrono::milliseconds readLimit = std::chrono::seconds(2));
    ~ChannelServer();
    ChannelServer(const ChannelServer&) = delete;
    ChannelServer& operator=(const ChannelServer&) = delete;

    bool Listening() const { return m_listen.Get() >= 0; }
    // Which of the two it listens on: the file's path, or "@" and the abstract name.
    const std::string& ListeningOn() const { return m_where; }

private:
    struct Connection;
    void Accept();
    void Read(int fd);
    void Drop(int fd);

    Handler m_handler;
    std::chrono::milliseconds m_readLimit;
    UniqueFd m_listen{-1};
    std::string m_where;
    std::string m_ownFile;
    dev_t m_fileDevice = 0;
    ino_t m_fileInode = 0;
    std::unique_ptr<QSocketNotifier> m_acceptNotifier;
    std::map<int, std::unique_ptr<Connection>> m_connections;
};

enum class HandOver {
    Taken,    // the running client took the request
    Declined, // it answered that it could not
    NoClient, // nobody listens
    Failed,   // a listener of another user, no answer in time, or an answer that is no answer
};

// Sends one request and waits at most `limit` for the answer.
HandOver SendRequest(const ChannelAddress& address, const ChannelRequest& request,
                     std::chrono::milliseconds limit = std::chrono::seconds(5));

// For a client that holds the lock but is still starting: tries again while nobody listens, up to
// `patience` in all.
HandOver SendRequestPatiently(const ChannelAddress& address, const ChannelRequest& request,
                              Clock& clock,
                              std::chrono::milliseconds patience = std::chrono::seconds(10));

} // namespace qp
