#include "platform/UserAccounts.h"

#include <cerrno>
#include <unistd.h>
#include <vector>

namespace qp {
namespace {

constexpr std::size_t kFirstBufferBytes = 16384;
constexpr std::size_t kMaxBufferBytes = 1024 * 1024;

template <typename Key, typename Read> AccountLookup LookUp(Key key, Read read) {
    const long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : kFirstBufferBytes);
    passwd entry{};
    passwd* found = nullptr;
    int error = 0;
    while ((error = read(key, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < kMaxBufferBytes)
        buffer.resize(buffer.size() * 2);
    // Some account sources say "no such user" with these.
    if (error == ENOENT || error == ESRCH || error == EBADF || error == EPERM)
        return {};
    if (error != 0)
        return {std::nullopt, error};
    if (found == nullptr)
        return {};
    return {UserAccount{found->pw_name != nullptr ? found->pw_name : "", found->pw_uid,
                        found->pw_gid, found->pw_dir != nullptr ? found->pw_dir : ""},
            0};
}

} // namespace

AccountLookup AccountNamed(const std::string& login, PasswdByName read) {
    return LookUp(login.c_str(), read);
}

AccountLookup AccountOf(uid_t uid, PasswdById read) {
    return LookUp(uid, read);
}

} // namespace qp
