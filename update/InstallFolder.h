#pragma once

#include <string>

namespace qp {

// The folder whose release the update keeps current: the local manifest, the trusted key, the
// program, its copy and every release file lie there, whatever folder the process runs in.
struct InstallFolder {
    std::string path;
    std::string File(const std::string& name) const { return path + "/" + name; }
};

// The folder of the running program; the current folder when the system does not say.
InstallFolder RunningProgramFolder();

} // namespace qp
