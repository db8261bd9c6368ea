#pragma once

#include <map>
#include <optional>
#include <string>

namespace qp::test {

// A D-Bus session bus of the test's own (dbus-daemon), so the user's desktop is never touched;
// it ends, with every service on it, at the end of the scope.
class PrivateSessionBus {
public:
    // `env` is the daemon's environment and that of what it starts.
    explicit PrivateSessionBus(const std::map<std::string, std::optional<std::string>>& env = {});
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    // Where clients connect; empty when no bus started.
    const std::string& Address() const { return m_address; }
    // Why no bus started, for a skipped test; empty when one runs.
    const std::string& Missing() const { return m_missing; }

private:
    std::string m_address;
    std::string m_missing;
    int m_pid = -1;
};

} // namespace qp::test
