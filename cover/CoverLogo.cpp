#include "cover/CoverLogo.h"

#include "fax/RecipientHistory.h"
#include "platform/FileOps.h"
#include "platform/MessageBox.h"

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

// Closes a descriptor at the end of the scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return m_fd; }
    // The close of a written file can be where a full disk shows; 0 or errno.
    int Close() {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// 0, or the errno of the first step that failed.
int CopyBytes(const std::string& chosen, const std::string& logo) {
    Descriptor source(::open(chosen.c_str(), O_RDONLY | O_CLOEXEC));
    if (source.Get() < 0)
        return errno;
    Descriptor target(
        ::open(logo.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kLogoFileMode));
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
        if (!WriteAll(target.Get(), block.data(), static_cast<std::size_t>(got)))
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
