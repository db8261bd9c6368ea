#pragma once

#include <string>

namespace qp {

// The four files a fax passes through, shared by all users of the machine.
struct WorkPaths {
    std::string portFile;
    std::string bodyFile;
    std::string coverFile;
    std::string faxImage;
};

WorkPaths WorkPathsIn(const std::string& folder);

// The Ghostscript console program.
inline constexpr const char* kGhostscriptPath = "/usr/bin/gs";

} // namespace qp
