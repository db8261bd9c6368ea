#include "platform/ProcessRunner.h"

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qp {
namespace {

std::vector<char*> ArgvPointers(const std::vector<std::string>& argv) {
    std::vector<char*> pointers;
    pointers.reserve(argv.size() + 1);
    for (const std::string& arg : argv)
        pointers.push_back(const_cast<char*>(arg.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

// Ends a running child when its waiter is asked to stop. The child is killed only until it has
// been reaped, so its process id can never name another process by then.
class ChildStopper {
public:
    ChildStopper(pid_t pid, std::stop_token stop)
        : m_pid(pid), m_callback(std::move(stop), [this] { Kill(); }) {}
    // Marks the child as reaped; call right before reaping it.
    void Reaping() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reaped = true;
    }

private:
    void Kill() {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_reaped)
            ::kill(m_pid, SIGKILL);
    }

    pid_t m_pid;
    std::mutex m_mutex;
    bool m_reaped = false;
    std::stop_callback<std::function<void()>> m_callback;
};

class PosixProcessRunner final : public ProcessRunner {
public:
    using ProcessRunner::RunAndWait;

    explicit PosixProcessRunner(bool quiet) : m_quiet(quiet) {}

    ProcessResult RunAndWait(const std::vector<std::string>& argv, std::stop_token stop) override {
        ProcessResult result;
        if (argv.empty()) {
            result.error = EINVAL;
            return result;
        }
        if (stop.stop_requested()) {
            result.error = ECANCELED;
            return result;
        }
        std::vector<char*> args = ArgvPointers(argv);
        // We ignore SIGPIPE for our sockets; an ignored signal would stay ignored in the child.
        posix_spawnattr_t attributes;
        ::posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        ::posix_spawnattr_setsigdefault(&attributes, &defaults);
        ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        if (m_quiet) {
            ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
            ::posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        }
        pid_t pid = 0;
        int rc = ::posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ);
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attributes);
        if (rc != 0) {
            result.error = rc;
            return result;
        }
        result.started = true;
        ChildStopper stopper(pid, std::move(stop));
        // Waits without reaping, so the stopper may still kill the child meanwhile.
        siginfo_t info{};
        while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 &&
               errno == EINTR) {
        }
        stopper.Reaping();
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0) {
            if (errno != EINTR) {
                result.error = errno;
                return result;
            }
        }
        if (WIFEXITED(status)) {
            result.exited = true;
            result.exitCode = WEXITSTATUS(status);
        }
        return result;
    }

    bool StartDetached(const std::vector<std::string>& argv, const std::string& workDir) override {
        if (argv.empty())
            return false;
        std::vector<char*> args = ArgvPointers(argv);
        // The grandchild is re-parented to init, so nothing is left for us to reap later; the
        // pipe tells us whether exec succeeded.
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0)
            return false;
        pid_t child = ::fork();
        if (child < 0) {
            ::close(pipeFds[0]);
            ::close(pipeFds[1]);
            return false;
        }
        if (child == 0) {
            ::close(pipeFds[0]);
            ::setsid();
            pid_t grandchild = ::fork();
            if (grandchild != 0)
                ::_exit(grandchild < 0 ? 1 : 0);
            if (!workDir.empty() && ::chdir(workDir.c_str()) != 0) {
                int err = errno;
                (void)!::write(pipeFds[1], &err, sizeof err);
                ::_exit(127);
            }
            ::signal(SIGPIPE, SIG_DFL);
            ::execv(args[0], args.data());
            int err = errno;
            (void)!::write(pipeFds[1], &err, sizeof err);
            ::_exit(127);
        }
        ::close(pipeFds[1]);
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        int err = 0;
        ssize_t n;
        do {
            n = ::read(pipeFds[0], &err, sizeof err);
        } while (n < 0 && errno == EINTR);
        ::close(pipeFds[0]);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
    }

    void ReplaceProcess(const std::string& path, const std::vector<std::string>& argv) override {
        std::vector<char*> args = ArgvPointers(argv);
        struct sigaction defaults {};
        defaults.sa_handler = SIG_DFL;
        struct sigaction previous {};
        ::sigaction(SIGPIPE, &defaults, &previous);
        ::execv(path.c_str(), args.data());
        // Still here: the start failed, and our sockets want their SIGPIPE setting back.
        ::sigaction(SIGPIPE, &previous, nullptr);
    }

private:
    bool m_quiet;
};

} // namespace

ProcessRunner& SystemProcessRunner() {
    static PosixProcessRunner runner(false);
    return runner;
}

ProcessRunner& QuietProcessRunner() {
    static PosixProcessRunner runner(true);
    return runner;
}

} // namespace qp
