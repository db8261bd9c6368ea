#pragma once

#include <optional>
#include <string>

namespace qp {

// The folder shared by all users through which print jobs and fax images pass:
// $QUILLPOST_COMMON_DIR when set, else /var/spool/quillpost.
std::string CommonFolderPath();

// The folder when it exists as a directory, else nothing.
std::optional<std::string> ExistingCommonFolder();

} // namespace qp
