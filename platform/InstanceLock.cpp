#include "platform/InstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qp {

std::optional<std::string> UserRuntimeFolder() {
    const char* configured = std::getenv("XDG_RUNTIME_DIR");
    if (configured != nullptr && configured[0] == '/')
        return std::string(configured);
    const std::string fallback = "/run/user/" + std::to_string(::geteuid());
    struct stat st {};
    if (::stat(fallback.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid())
        return fallback;
    return std::nullopt;
}

InstanceLock::~InstanceLock() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool InstanceLock::TryAcquire() {
    if (m_fd >= 0)
        return true;
    const std::optional<std::string> folder = UserRuntimeFolder();
    if (!folder)
        return true;
    const std::string path = *folder + "/" + m_name;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return !held;
    }
    m_fd = fd;
    return true;
}

} // namespace qp
