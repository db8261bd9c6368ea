#pragma once

#include <optional>
#include <string>

namespace qp {

// The folder shared by all users through which print jobs and fax images pass:
// $QUILLPOST_COMMON_DIR when set, else /var/spool/quillpost. It holds one private folder per user,
// named by login name.
std::string CommonFolderPath();

// The folder when it exists as a directory, else nothing.
std::optional<std::string> ExistingCommonFolder();

// The login name of the user the process runs as (its user number when it has no name).
std::string CurrentLoginName();

// Creates the user's own folder with access for the user alone when it is missing and the common
// folder lets the user create it; the print backend does so otherwise. False when it is not there.
bool EnsurePrivateFolder(const std::string& folder);

} // namespace qp
