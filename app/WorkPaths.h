#pragma once

#include <string>

namespace qp {

// The four files a fax passes through. They lie in the private folder of the user who runs the
// client, <common folder>/<login>/, which nobody else may enter.
struct WorkPaths {
    std::string portFile;
    std::string bodyFile;
    std::string coverFile;
    std::string faxImage;
};

WorkPaths WorkPathsIn(const std::string& folder);

// The work files of `login` for the printer's port "<common folder>/<port file name>": the port
// file keeps the port's name, in the user's folder beside the three others.
WorkPaths UserWorkPaths(const std::string& port, const std::string& login);

// The Ghostscript console program.
inline constexpr const char* kGhostscriptPath = "/usr/bin/gs";

} // namespace qp
