#include "cover/CoverLogo.h"

#include "fax/RecipientHistory.h"
#include "platform/FileOps.h"
#include "platform/MessageBox.h"
#include "platform/UniqueFd.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace qp {
namespace {

constexpr std::size_t kCopyBlockSize = 4096;
constexpr std::size_t kMaxErrorTextLength = 255;
constexpr mode_t kLogoFileMode = 0644;

// 0, or the errno of the first step that failed.
int CopyBytes(const std::string& chosen, const std::string& logo) {
    UniqueFd source(::open(chosen.c_str(), O_RDONLY | O_CLOEXEC));
    if (source.Get() < 0)
        return errno;
    UniqueFd target(::open(logo.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kLogoFileMode));
    if (target.Get() < 0)
        return errno;
    std::array<char, kCopyBlockSize> block{};
    for (;;) {
        const ssize_t got = ::read(source.Get(), block.data(), block.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno;
        if (got == 0)
            break;
        if (!WriteAllToFd(target.Get(),
                          std::string_view(block.data(), static_cast<std::size_t>(got))))
            return errno != 0 ? errno : EIO;
    }
    return target.Close();
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
    if (const int error = CopyBytes(chosen, logo); error != 0)
        ShowMessage("Error copying cover header logo: " +
                    std::string(std::strerror(error)).substr(0, kMaxErrorTextLength));
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
