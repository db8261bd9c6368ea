#include "tests/support/cups/TestUsers.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <optional>
#include <pwd.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace qp::test {

namespace {

std::optional<TestUser> LookUp(const std::string& name) {
    const passwd* entry = ::getpwnam(name.c_str());
    if (entry == nullptr)
        return std::nullopt;
    return TestUser{name, entry->pw_uid, entry->pw_gid};
}

// The program's path along PATH, found before forking (the child may only exec).
std::string FindProgram(const std::string& name) {
    if (name.find('/') != std::string::npos)
        return name;
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin:/usr/sbin:/sbin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = dirs.find(':', start);
        const std::string dir = dirs.substr(start, end - start);
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return name;
}

std::vector<char*> ArgvOf(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    return argv;
}

} // namespace

TestUser EnsureTestUser(const std::string& name) {
    // Tests running side by side may add the same account at once; useradd then meets a locked
    // passwd file, so try again and look.
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (std::optional<TestUser> user = LookUp(name))
            return *user;
        RunProgram({"useradd", "-r", "-M", "-s", "/usr/sbin/nologin", name});
        if (std::optional<TestUser> user = LookUp(name))
            return *user;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    throw std::runtime_error("cannot create the system user " + name);
}

pid_t SpawnAsUser(const TestUser& user, const std::vector<std::string>& command) {
    std::vector<std::string> args = command;
    args[0] = FindProgram(args[0]);
    std::vector<char*> argv = ArgvOf(args);
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
    }
    if (::setgroups(0, nullptr) != 0 || ::setgid(user.gid) != 0 || ::setuid(user.uid) != 0)
        ::_exit(126);
    if (::chdir("/") != 0)
        ::_exit(126);
    ::execve(argv[0], argv.data(), environ);
    ::_exit(127);
}

int WaitForChild(pid_t pid) {
    if (pid < 0)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunAsUser(const TestUser& user, const std::vector<std::string>& argv) {
    return WaitForChild(SpawnAsUser(user, argv));
}

int RunProgram(const std::vector<std::string>& command, std::string* output,
               const std::string& workDir) {
    std::vector<std::string> args = command;
    args[0] = FindProgram(args[0]);
    std::vector<char*> argv = ArgvOf(args);
    int pipeFds[2] = {-1, -1};
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0)
            ::dup2(null, 0);
        ::dup2(output != nullptr ? pipeFds[1] : (null >= 0 ? null : 1), 1);
        if (!workDir.empty() && ::chdir(workDir.c_str()) != 0)
            ::_exit(126);
        ::execve(argv[0], argv.data(), environ);
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    if (output != nullptr)
        *output = text;
    return WaitForChild(pid);
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace qp::test
