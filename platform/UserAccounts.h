#pragma once

#include <cstddef>
#include <optional>
#include <pwd.h>
#include <string>
#include <sys/types.h>

namespace qp {

// An entry of the user database, as much of it as the program uses.
struct UserAccount {
    std::string login;
    uid_t uid = 0;
    gid_t gid = 0;
    std::string home;
};

// What the user database answered: the account; none with `error` 0 when there is no such user;
// none with an errno when the database could not be asked (guessing then could hand one user's
// jobs to another).
struct AccountLookup {
    std::optional<UserAccount> account;
    int error = 0;
};

// The reentrant lookups of libc; tests stand in for the database through them.
using PasswdByName = int (*)(const char* name, passwd* entry, char* buffer, std::size_t size,
                             passwd** found);
using PasswdById = int (*)(uid_t uid, passwd* entry, char* buffer, std::size_t size,
                           passwd** found);

// Looks up an account by login name or by user number. An entry can be longer than any fixed
// buffer (a directory service's, say): the buffer grows until it fits, up to a megabyte.
AccountLookup AccountNamed(const std::string& login, PasswdByName read = ::getpwnam_r);
AccountLookup AccountOf(uid_t uid, PasswdById read = ::getpwuid_r);

} // namespace qp
