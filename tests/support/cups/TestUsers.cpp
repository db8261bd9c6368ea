#include "tests/support/cups/TestUsers.h"

#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <optional>
#include <pwd.h>
#include <spawn.h>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace qp::test {

namespace {

std::optional<TestUser> LookUp(const std::string& name) {
    const passwd* entry = ::getpwnam(name.c_str());
    if (entry == nullptr)
        return std::nullopt;
    return TestUser{name, entry->pw_uid, entry->pw_gid};
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
    std::vector<std::string> args{"setpriv", "--reuid=" + std::to_string(user.uid),
                                  "--regid=" + std::to_string(user.gid), "--clear-groups"};
    args.insert(args.end(), command.begin(), command.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, "/");
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

int RunAsUser(const TestUser& user, const std::vector<std::string>& argv) {
    return WaitForChild(SpawnAsUser(user, argv));
}

} // namespace qp::test
