#pragma once

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

// Starts a program as `user`, in /, with this process's environment (CUPS_SERVER included) and
// its standard output discarded; returns the child's pid for WaitForChild, or -1.
pid_t SpawnAsUser(const TestUser& user, const std::vector<std::string>& argv);
int RunAsUser(const TestUser& user, const std::vector<std::string>& argv);

} // namespace qp::test
