#include "update/InstallFolder.h"

#include <filesystem>
#include <system_error>

namespace qp {

InstallFolder RunningProgramFolder() {
    std::error_code ec;
    // The link names the program even after a newer one took its name (" (deleted)" is appended
    // to the file's name only), so its folder stays right.
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || !program.has_parent_path())
        return {"."};
    return {program.parent_path().string()};
}

} // namespace qp
