#include "platform/UserFolders.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace qp {

std::optional<std::string> UserProfileFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        return std::string(home);
    return AccountHomeFolder(::getuid());
}

std::optional<std::string> AccountHomeFolder(uid_t uid) {
    struct passwd entry {};
    struct passwd* found = nullptr;
    // An account entry can be longer than any fixed buffer: grow it until it fits.
    for (std::vector<char> buffer(4096); buffer.size() <= (1u << 20);
         buffer.resize(buffer.size() * 2)) {
        const int error = ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE)
            continue;
        if (error == 0 && found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/')
            return std::string(found->pw_dir);
        break;
    }
    return std::nullopt;
}

std::optional<std::string> UserDataFolder() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/')
        return std::string(xdg) + "/Quillpost";
    if (std::optional<std::string> home = UserProfileFolder())
        return *home + "/.local/share/Quillpost";
    return std::nullopt;
}

} // namespace qp
