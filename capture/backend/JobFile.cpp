#include "capture/backend/JobFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qp::backend {

JobFile::JobFile(std::string portFile) : m_portFile(std::move(portFile)) {}

JobFile::~JobFile() {
    Discard();
}

int JobFile::Create() {
    const std::size_t slash = m_portFile.find_last_of('/');
    const std::string folder = m_portFile.substr(0, slash + 1);
    const std::string name = m_portFile.substr(slash + 1);
    std::string pattern = folder + "." + name + ".XXXXXX";
    // mkstemp creates a new file of its own (O_EXCL), so nothing planted in the shared folder is
    // ever followed or reused.
    m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (m_fd < 0)
        return errno;
    m_tempPath = pattern;
    return 0;
}

int JobFile::CopyFrom(int input, const volatile std::sig_atomic_t& cancelled) {
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        if (cancelled)
            return EINTR;
        const ssize_t got = ::read(input, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno;
        // A signal that came just before the read blocked is only seen here.
        if (got == 0)
            return cancelled ? EINTR : 0;
        ssize_t done = 0;
        while (done < got) {
            const ssize_t put =
                ::write(m_fd, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0)
                return errno;
            done += put;
        }
    }
}

int JobFile::Seal(uid_t owner, gid_t group) {
    if (::fsync(m_fd) != 0)
        return errno;
    if (::fchown(m_fd, owner, group) != 0)
        return errno;
    if (::fchmod(m_fd, 0600) != 0)
        return errno;
    const int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0 ? 0 : errno;
}

int JobFile::Publish() {
    if (::renameat2(AT_FDCWD, m_tempPath.c_str(), AT_FDCWD, m_portFile.c_str(), RENAME_NOREPLACE) ==
        0) {
        m_published = true;
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // File systems without no-replace renames: a hard link fails just as well when the name is
    // taken.
    if (::link(m_tempPath.c_str(), m_portFile.c_str()) != 0)
        return errno;
    m_published = true;
    ::unlink(m_tempPath.c_str());
    return 0;
}

void JobFile::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_published && !m_tempPath.empty())
        ::unlink(m_tempPath.c_str());
    m_tempPath.clear();
}

} // namespace qp::backend
