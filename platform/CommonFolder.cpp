#include "platform/CommonFolder.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    // The size is only a hint: a long entry (a directory service's, say) needs more, and a number
    // in place of the name would look for the jobs in a folder the backend never uses.
    int error = 0;
    while ((error = ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < 1024 * 1024)
        buffer.resize(buffer.size() * 2);
    if (error == 0 && found != nullptr)
        return found->pw_name;
    return std::to_string(uid);
}

bool EnsurePrivateFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) == 0)
        return true;
    struct stat st {};
    return errno == EEXIST && ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace qp
