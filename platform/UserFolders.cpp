#include "platform/UserFolders.h"

#include "platform/UserAccounts.h"

#include <cstdlib>
#include <unistd.h>

namespace qp {

std::optional<std::string> UserProfileFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        return std::string(home);
    return AccountHomeFolder(::getuid());
}

std::optional<std::string> AccountHomeFolder(uid_t uid) {
    const std::optional<UserAccount> account = AccountOf(uid).account;
    if (account && account->home.starts_with('/'))
        return account->home;
    return std::nullopt;
}

std::optional<std::string> XdgBaseFolder(const char* variable, const char* inHome) {
    if (const char* set = std::getenv(variable); set != nullptr && set[0] == '/')
        return std::string(set);
    if (std::optional<std::string> home = UserProfileFolder())
        return *home + "/" + inHome;
    return std::nullopt;
}

std::optional<std::string> UserDataFolder() {
    if (std::optional<std::string> data = XdgBaseFolder("XDG_DATA_HOME", ".local/share"))
        return *data + "/Quillpost";
    return std::nullopt;
}

} // namespace qp
