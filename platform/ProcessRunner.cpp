#include "platform/ProcessRunner.h"

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <signal.h>
#include <sys/prctl.h>
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

// Reports the errno of a failed start through `report` and ends the child. Only
// async-signal-safe calls from here on: the child of a threaded process.
[[noreturn]] void FailStart(int report) {
    const int error = errno;
    (void)!::write(report, &error, sizeof error);
    ::_exit(127);
}

// What FailStart wrote into the pipe's reading end `report`, which this closes: 0 when exec closed
// the pipe unwritten.
int ReportedStartError(int report) {
    int error = 0;
    ssize_t n;
    do {
        n = ::read(report, &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    ::close(report);
    if (n <= 0)
        return 0;
    return error != 0 ? error : ECHILD;
}

// Starts the program as a child that the kernel kills when the calling thread ends, the process
// included, however it ends (SIGKILL too): a conversion never outlives the client that wanted it.
// The caller waits for the child on this thread, so the thread outlives the child. posix_spawn
// cannot ask for that signal; hence fork. 0, or the errno of the failed start.
int StartBoundChild(std::vector<char*>& args, bool quiet, pid_t& pid) {
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return errno;
    const pid_t parent = ::getpid();
    pid = ::fork();
    if (pid < 0) {
        const int error = errno;
        ::close(report[0]);
        ::close(report[1]);
        return error;
    }
    if (pid == 0) {
        ::close(report[0]);
        // The parent may have ended before the signal was asked for.
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
            ::_exit(127);
        // We ignore SIGPIPE for our sockets; an ignored signal would stay ignored after exec.
        struct sigaction defaults {};
        defaults.sa_handler = SIG_DFL;
        ::sigaction(SIGPIPE, &defaults, nullptr);
        if (quiet) {
            const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
            if (null < 0 || ::dup2(null, STDOUT_FILENO) < 0 || ::dup2(null, STDERR_FILENO) < 0)
                FailStart(report[1]);
        }
        ::execve(args[0], args.data(), environ);
        FailStart(report[1]);
    }
    ::close(report[1]);
    const int error = ReportedStartError(report[0]);
    if (error == 0)
        return 0;
    // The child ended right after telling why; reaped here, since nobody waits for it.
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return error;
}

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
        pid_t pid = 0;
        if (const int error = StartBoundChild(args, m_quiet, pid); error != 0) {
            result.error = error;
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
            if (!workDir.empty() && ::chdir(workDir.c_str()) != 0)
                FailStart(pipeFds[1]);
            ::signal(SIGPIPE, SIG_DFL);
            ::execv(args[0], args.data());
            FailStart(pipeFds[1]);
        }
        ::close(pipeFds[1]);
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        const int error = ReportedStartError(pipeFds[0]);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0 && error == 0;
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
