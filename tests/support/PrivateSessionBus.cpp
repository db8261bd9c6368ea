#include "tests/support/PrivateSessionBus.h"

#include "tests/support/ChildProcess.h"

#include <csignal>
#include <cstdlib>

namespace qp::test {

PrivateSessionBus::PrivateSessionBus(const std::map<std::string, std::optional<std::string>>& env) {
    ProgramRun bus;
    try {
        bus = RunProgram(
            {"dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"}, env);
    } catch (const std::exception& e) {
        bus.err = e.what();
    }
    const std::size_t end = bus.out.find('\n');
    if (bus.exitCode != 0 || end == std::string::npos) {
        m_missing = "dbus-daemon (scripts/deps installs it) started no session bus: " + bus.err;
        return;
    }
    m_address = bus.out.substr(0, end);
    m_pid = std::atoi(bus.out.c_str() + end + 1);
}

PrivateSessionBus::~PrivateSessionBus() {
    // Services on the bus end with it.
    if (m_pid > 0)
        ::kill(m_pid, SIGTERM);
}

} // namespace qp::test
