#pragma once

#include <optional>
#include <string>

namespace qp {

// Why the file is not a fax image as the conversion makes it (a regular file that libtiff opens,
// every page CCITT Group 4, at least one page), or nothing when it is one.
std::optional<std::string> FaxImageProblem(const std::string& path);

} // namespace qp
