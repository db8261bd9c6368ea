#include "capture/backend/JobFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qp::backend {

namespace {

constexpr int kNameAttempts = 100;

std::string TempPrefix(const std::string& portName) {
    return "." + portName + ".";
}

std::string RandomSuffix() {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[8] = {};
    if (::getrandom(bytes, sizeof(bytes), 0) != static_cast<ssize_t>(sizeof(bytes))) {
        // Uniqueness comes from O_EXCL; the randomness only makes clashes rare.
        const unsigned long seed =
            static_cast<unsigned long>(::getpid()) ^ static_cast<unsigned long>(::time(nullptr));
        for (std::size_t i = 0; i < sizeof(bytes); ++i)
            bytes[i] = static_cast<unsigned char>(seed >> (i * 5));
    }
    std::string suffix;
    for (unsigned char byte : bytes)
        suffix += kLetters[byte % (sizeof(kLetters) - 1)];
    return suffix;
}

} // namespace

JobFile::JobFile(int folder, std::string portName)
    : m_folder(folder), m_portName(std::move(portName)) {}

JobFile::~JobFile() {
    Discard();
}

int JobFile::Create() {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = TempPrefix(m_portName) + RandomSuffix();
        // O_EXCL never follows or reuses anything that lies there already.
        m_fd = ::openat(m_folder, name.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_fd >= 0) {
            m_tempName = name;
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
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
    if (::renameat2(m_folder, m_tempName.c_str(), m_folder, m_portName.c_str(), RENAME_NOREPLACE) ==
        0) {
        m_published = true;
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // File systems without no-replace renames: a hard link fails just as well when the name is
    // taken.
    if (::linkat(m_folder, m_tempName.c_str(), m_folder, m_portName.c_str(), 0) != 0)
        return errno;
    m_published = true;
    ::unlinkat(m_folder, m_tempName.c_str(), 0);
    return 0;
}

void JobFile::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_published && !m_tempName.empty())
        ::unlinkat(m_folder, m_tempName.c_str(), 0);
    m_tempName.clear();
}

int CountWaitingJobs(int folder, const std::string& portName) {
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return 0;
    }
    const std::string prefix = TempPrefix(portName);
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::string(entry->d_name).rfind(prefix, 0) == 0)
            ++count;
    }
    ::closedir(dir);
    return count;
}

} // namespace qp::backend
