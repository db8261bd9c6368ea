#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qp::test {

// An account to print as someone other than the test process.
struct TestUser {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
};

// The system account `name`, created (useradd -r) when missing; throws when that fails.
TestUser EnsureTestUser(const std::string& name);

// Starts a program as `user` with this process's environment (CUPS_SERVER included) and its
// standard output discarded; returns the child's pid, or -1.
pid_t SpawnAsUser(const TestUser& user, const std::vector<std::string>& argv);
// Waits for a child; its exit code, or -1 when it did not exit normally.
int WaitForChild(pid_t pid);
int RunAsUser(const TestUser& user, const std::vector<std::string>& argv);

// Runs a program as this process and returns its exit code; its standard output goes to `output`
// when given.
int RunProgram(const std::vector<std::string>& argv, std::string* output = nullptr,
               const std::string& workDir = "");

// Checks `done` every 20 ms of real time until it holds or `timeout` has passed.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

} // namespace qp::test
