#include "capture/backend/JobFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
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

// The time the job began, fixed-width so that names sort in the order the jobs were printed.
std::string CreationStamp() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const auto nanoseconds = static_cast<unsigned long long>(now.tv_sec) * 1000000000ULL +
                             static_cast<unsigned long long>(now.tv_nsec);
    char text[17];
    std::snprintf(text, sizeof(text), "%016llx", nanoseconds);
    return text;
}

// Whether a process holds the temporary file `name` open as a job that waits. It is opened only
// to test its lock, and only when it is a file of its own: never through a link, never a pipe or
// device, never a second name of a file elsewhere.
bool IsHeld(int folder, const char* name) {
    struct stat before {};
    if (::fstatat(folder, name, &before, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(before.st_mode) ||
        before.st_nlink != 1)
        return false;
    const int fd =
        ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool held = ::fstat(fd, &st) == 0 && st.st_dev == before.st_dev &&
                      st.st_ino == before.st_ino && ::flock(fd, LOCK_SH | LOCK_NB) != 0 &&
                      errno == EWOULDBLOCK;
    // Closing gives up a lock this test may have taken.
    ::close(fd);
    return held;
}

// The temporary files of the port `portName` in the folder that a process holds.
std::vector<std::string> WaitingJobs(int folder, const std::string& portName) {
    std::vector<std::string> names;
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return names;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return names;
    }
    const std::string prefix = TempPrefix(portName);
    while (const dirent* entry = ::readdir(dir)) {
        if (std::string(entry->d_name).rfind(prefix, 0) == 0 && IsHeld(fd, entry->d_name))
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    return names;
}

} // namespace

JobFile::JobFile(int folder, std::string portName)
    : m_folder(folder), m_portName(std::move(portName)) {}

JobFile::~JobFile() {
    Discard();
}

int JobFile::Create() {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = TempPrefix(m_portName) + CreationStamp() + RandomSuffix();
        // O_EXCL never follows or reuses anything that lies there already.
        m_fd = ::openat(m_folder, name.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_fd >= 0) {
            m_tempName = name;
            // Only another backend's test of the lock can hold it for a moment. Where the file
            // system has no such locks the job still goes through, only not in turn.
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
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
    return 0;
}

int JobFile::Publish() {
    if (::renameat2(m_folder, m_tempName.c_str(), m_folder, m_portName.c_str(), RENAME_NOREPLACE) ==
        0) {
        m_published = true;
        // Closed at once: the user's client takes no file that is still open for writing.
        Discard();
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
    Discard();
    return 0;
}

int JobFile::PublishInTurn() {
    struct stat st {};
    if (::fstatat(m_folder, m_portName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    for (const std::string& name : WaitingJobs(m_folder, m_portName)) {
        if (name < m_tempName)
            return EEXIST;
    }
    return Publish();
}

void JobFile::HandOver() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_tempName.clear();
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
    return static_cast<int>(WaitingJobs(folder, portName).size());
}

} // namespace qp::backend
