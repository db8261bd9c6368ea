#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace qp {

// The user's home folder: $HOME when it is an absolute path, else the account's entry; nothing
// without either.
std::optional<std::string> UserProfileFolder();

// The home folder in the account entry of `uid`, whatever the environment says; nothing when the
// account has none (or no absolute one).
std::optional<std::string> AccountHomeFolder(uid_t uid);

// A base folder of the desktop's layout: $`variable` (XDG_DATA_HOME, XDG_CONFIG_HOME) when it is
// an absolute path, else `inHome` (".local/share", ".config") in the user's home folder; nothing
// without a home, so that nothing lands at the root.
std::optional<std::string> XdgBaseFolder(const char* variable, const char* inHome);

// The program's folder among the user's data: $XDG_DATA_HOME/Quillpost, else
// ~/.local/share/Quillpost; nothing without a home.
std::optional<std::string> UserDataFolder();

} // namespace qp
