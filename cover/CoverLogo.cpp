#include "cover/CoverLogo.h"

#include "platform/FileOps.h"
#include "platform/MessageBox.h"
#include "platform/UniqueFd.h"
#include "platform/UserFolders.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace qp {
namespace {

constexpr std::size_t kMaxErrorTextLength = 255;
constexpr mode_t kLogoFileMode = 0644;
// Far more than any banner picture; a file that keeps on growing is not one.
constexpr std::size_t kMaxLogoBytes = 64u << 20;

std::string SystemText(int error) {
    return std::strerror(error);
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Copies the chosen file over the logo: nothing once done, else the reason it was not.
std::optional<std::string> CopyOverLogo(const std::string& chosen, const std::string& logo) {
    if (logo.empty())
        return SystemText(ENOENT);
    // Links are followed, as the user chose what they lead to; that must be a plain file. Not
    // blocking: a pipe or device under the name must not hold up the dialog.
    UniqueFd source(::open(chosen.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (source.Get() < 0)
        return SystemText(errno);
    struct stat chosenStat {};
    if (::fstat(source.Get(), &chosenStat) != 0)
        return SystemText(errno);
    if (S_ISDIR(chosenStat.st_mode))
        return SystemText(EISDIR);
    if (!S_ISREG(chosenStat.st_mode))
        return std::string("Not a regular file");
    // The logo itself, under any name, is already in place.
    struct stat logoStat {};
    if (::stat(logo.c_str(), &logoStat) == 0 && SameFile(chosenStat, logoStat))
        return std::string("The file is the current logo");
    // The new logo replaces the old one whole or not at all.
    if (!ReplaceWithCopy(source.Get(), logo, kLogoFileMode, kMaxLogoBytes))
        return SystemText(errno);
    return std::nullopt;
}

} // namespace

CoverLogoPaths LogoPathsIn(const std::optional<std::string>& folder) {
    if (!folder || folder->empty())
        return {};
    return {*folder + "/" + kLogoFileName, *folder + "/" + kLogoBackupFileName};
}

CoverLogoPaths UserLogoPaths() {
    return LogoPathsIn(UserProfileFolder());
}

void CopyLogoFile(const std::string& chosen, const std::string& logo) {
    if (const std::optional<std::string> reason = CopyOverLogo(chosen, logo))
        ShowMessage("Error copying cover header logo: " + reason->substr(0, kMaxErrorTextLength));
}

bool ClearLogo(const CoverLogoPaths& paths) {
    if (paths.logo.empty() || !FileExists(paths.logo))
        return true;
    RemoveFile(paths.backup);
    if (MoveFileNoReplace(paths.logo, paths.backup))
        return true;
    ShowMessage("Failed to remove the fax cover sheet logo");
    return false;
}

} // namespace qp
