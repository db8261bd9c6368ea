#pragma once

#include <string>

namespace qp {

// The port file of `login` for the printer's port "<common folder>/<port file name>": the file of
// that name in the user's private folder, <common folder>/<login>/, which nobody else may enter.
std::string UserPortFile(const std::string& port, const std::string& login);

// The Ghostscript console program.
inline constexpr const char* kGhostscriptPath = "/usr/bin/gs";

} // namespace qp
