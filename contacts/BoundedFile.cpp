#include "contacts/BoundedFile.h"

#include "platform/FileOps.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace qp::contacts {

BoundedFile ReadBoundedFile(const std::string& path, std::size_t maxBytes) {
    BoundedFile file;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) {
            file.state = BoundedFile::State::Unreadable;
            file.problem = std::strerror(errno);
        }
        return file;
    }
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const bool small = regular && static_cast<std::uint64_t>(st.st_size) <= maxBytes;
    std::optional<std::string> text;
    if (small)
        text = ReadAllFromFd(fd, maxBytes);
    const int error = errno;
    ::close(fd);
    if (!regular) {
        file.state = BoundedFile::State::Unreadable;
        file.problem = "it is not a file";
    } else if (!small || (!text && error == EFBIG)) {
        // A file that grew while it was read counts as one too large from the start.
        file.state = BoundedFile::State::TooLarge;
    } else if (!text) {
        file.state = BoundedFile::State::Unreadable;
        file.problem = std::strerror(error);
    } else {
        file.state = BoundedFile::State::Read;
        file.text = std::move(*text);
    }
    return file;
}

} // namespace qp::contacts
