#pragma once

#include "tools/faxd/FaxSession.h"
#include "tools/faxd/SessionTable.h"

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace qp::faxd {

// Starts the thread that runs one session; throws std::system_error when it can't, as
// std::thread does.
using ThreadStarter = std::function<std::thread(std::function<void()>)>;
std::thread StartThread(std::function<void()> body);

// Accepts fax clients on one IPv4 address and runs each connection on its own thread.
class FaxServer {
public:
    FaxServer(const Accounts& accounts, const Outbox& outbox,
              std::function<void(const std::string&)> log, SessionLimits limits = {},
              Clock& clock = SystemClock(), ThreadStarter startThread = StartThread);
    ~FaxServer();
    FaxServer(const FaxServer&) = delete;
    FaxServer& operator=(const FaxServer&) = delete;

    // Binds and listens; port 0 takes a free port. False with `error` set on failure.
    bool Listen(const std::string& address, int port, std::string& error);
    // "ADDRESS:PORT" as bound.
    std::string BoundAddress() const;
    // Serves until `stopFd` becomes readable; then ends every open session and returns.
    void Serve(int stopFd);

private:
    struct Session;
    void Accept();
    void ReapFinished(bool all);
    void Drop(SessionTable::Id id);

    const Accounts& m_accounts;
    const Outbox& m_outbox;
    std::function<void(const std::string&)> m_log;
    SessionTable m_table;
    LoginGuard m_logins;
    ThreadStarter m_startThread;
    int m_listenFd = -1;
    std::list<std::unique_ptr<Session>> m_sessions;
};

// "ADDRESS:PORT" into its parts; false when either is malformed.
bool ParseListenAddress(const std::string& text, std::string& address, int& port);

} // namespace qp::faxd
