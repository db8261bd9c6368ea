#include "platform/CommonFolder.h"

#include "platform/UserAccounts.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace qp {

std::string CommonFolderPath() {
    const char* configured = std::getenv("QUILLPOST_COMMON_DIR");
    if (configured != nullptr && configured[0] != '\0') {
        std::string folder = configured;
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        return folder;
    }
    return "/var/spool/quillpost";
}

std::optional<std::string> ExistingCommonFolder() {
    std::string folder = CommonFolderPath();
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return std::nullopt;
    return folder;
}

std::string CurrentLoginName() {
    const uid_t uid = ::geteuid();
    // Only when the account cannot be found: a number in place of the name would look for the
    // jobs in a folder the backend never uses.
    if (const std::optional<UserAccount> account = AccountOf(uid).account)
        return account->login;
    return std::to_string(uid);
}

bool EnsurePrivateFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) == 0)
        return true;
    struct stat st {};
    return errno == EEXIST && ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace qp
