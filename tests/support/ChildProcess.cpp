#include "tests/support/ChildProcess.h"

#include "tests/support/TestSupport.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qp::test {
namespace {

std::vector<std::string> Environment(const std::map<std::string, std::optional<std::string>>& env) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (env.find(name) == env.end())
            entries.push_back(text);
    }
    for (const auto& [name, value] : env) {
        if (value)
            entries.push_back(name + "=" + *value);
    }
    return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Starts `argv` with the file actions given, which it destroys; throws when it cannot.
pid_t Spawn(const std::vector<std::string>& argv,
            const std::map<std::string, std::optional<std::string>>& env,
            const std::string& workDir, posix_spawn_file_actions_t& actions) {
    if (!workDir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
    std::vector<std::string> args = argv;
    std::vector<std::string> envEntries = Environment(env);
    std::vector<char*> argp = Pointers(args);
    std::vector<char*> envp = Pointers(envEntries);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
    return pid;
}

} // namespace

int WaitForChild(int pid) {
    if (pid < 0)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ProgramRun RunProgram(const std::vector<std::string>& argv,
                      const std::map<std::string, std::optional<std::string>>& env,
                      const std::string& workDir) {
    TempDir capture;
    const std::string outPath = capture.File("out");
    const std::string errPath = capture.File("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    ProgramRun run;
    run.exitCode = WaitForChild(Spawn(argv, env, workDir, actions));
    run.out = ReadFile(outPath);
    run.err = ReadFile(errPath);
    return run;
}

LoggedProcess::LoggedProcess(const std::vector<std::string>& argv,
                             const std::map<std::string, std::optional<std::string>>& env,
                             const std::string& workDir) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    // Standard error too: a child that outlives a crashed test must not hold the test runner's
    // output open (the runner would wait for it), and its next line then ends it.
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    try {
        m_pid = Spawn(argv, env, workDir, actions);
    } catch (const std::runtime_error&) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        throw;
    }
    ::close(pipeFds[1]);
    m_outFd = pipeFds[0];
    m_reader = std::thread([this] { ReadOutput(); });
}

LoggedProcess::~LoggedProcess() {
    Stop();
}

void LoggedProcess::ReadOutput() {
    std::string pending;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_outFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.push_back(pending.substr(0, end));
            pending.erase(0, end + 1);
            m_changed.notify_all();
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ended = true;
    m_changed.notify_all();
}

std::optional<std::string> LoggedProcess::WaitForLog(const std::string& text,
                                                     std::chrono::seconds limit) {
    std::unique_lock<std::mutex> lock(m_mutex);
    std::optional<std::string> found;
    m_changed.wait_for(lock, limit, [&] {
        for (const std::string& line : m_lines) {
            if (line.find(text) != std::string::npos) {
                found = line;
                return true;
            }
        }
        return m_ended;
    });
    return found;
}

std::vector<std::string> LoggedProcess::Log() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

int LoggedProcess::Stop() {
    if (m_pid > 0)
        ::kill(m_pid, SIGTERM);
    return Reap();
}

std::optional<int> LoggedProcess::End(int signal, std::chrono::milliseconds limit) {
    if (m_pid <= 0)
        return m_exitCode;
    // Readable once the child has ended, before it is reaped. (glibc's own declaration of
    // pidfd_open lacks C linkage in some releases.)
    const int ended = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));
    ::kill(m_pid, signal);
    pollfd wait{ended, POLLIN, 0};
    const bool inTime = ended >= 0 && ::poll(&wait, 1, static_cast<int>(limit.count())) == 1;
    if (ended >= 0)
        ::close(ended);
    if (!inTime) {
        ::kill(m_pid, SIGKILL);
        Reap();
        return std::nullopt;
    }
    return Reap();
}

int LoggedProcess::Reap() {
    if (m_pid > 0) {
        m_exitCode = WaitForChild(m_pid);
        m_pid = -1;
    }
    if (m_reader.joinable())
        m_reader.join();
    if (m_outFd >= 0) {
        ::close(m_outFd);
        m_outFd = -1;
    }
    return m_exitCode;
}

} // namespace qp::test
