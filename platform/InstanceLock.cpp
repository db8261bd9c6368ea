#include "platform/InstanceLock.h"

#include "platform/UserFolders.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qp {

namespace {

constexpr mode_t kPrivateMode = 0700;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::optional<LockFolders>& TestingFolders() {
    static std::optional<LockFolders> folders;
    return folders;
}

// A folder of the user's that nobody else can put a file into or take one out of.
bool Private(int fd, uid_t uid) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

int OpenRuntimeFolder(const LockFolders& folders, std::string& path) {
    path = folders.runtimeRoot + "/" + std::to_string(folders.uid);
    const int fd = ::open(path.c_str(), kFolderFlags);
    if (fd >= 0 && !Private(fd, folders.uid)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The fallback folder, made with its parent when missing; a link in its place is not followed.
int OpenFallbackFolder(const LockFolders& folders, std::string& path) {
    if (!folders.fallback || folders.fallback->empty() || folders.fallback->front() != '/')
        return -1;
    path = *folders.fallback;
    const std::size_t slash = path.find_last_of('/');
    const std::string parent = slash == 0 ? "/" : path.substr(0, slash);
    const std::string leaf = path.substr(slash + 1);
    if (::mkdir(parent.c_str(), kPrivateMode) != 0 && errno != EEXIST)
        return -1;
    const int parentFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0)
        return -1;
    const bool created = ::mkdirat(parentFd, leaf.c_str(), kPrivateMode) == 0;
    const int fd = ::openat(parentFd, leaf.c_str(), kFolderFlags);
    ::close(parentFd);
    if (fd < 0)
        return -1;
    struct stat st {};
    // The user's own folder: one left open to others by hand is closed again.
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == folders.uid &&
        (created || (st.st_mode & 07777) != kPrivateMode))
        ::fchmod(fd, kPrivateMode);
    if (!Private(fd, folders.uid)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

LockFolders UserLockFolders() {
    if (const std::optional<LockFolders>& testing = TestingFolders())
        return *testing;
    const uid_t uid = ::geteuid();
    const std::optional<std::string> home = AccountHomeFolder(uid);
    return {"/run/user", home ? std::optional(*home + "/.cache/quillpost") : std::nullopt, uid};
}

void SetUserLockFoldersForTesting(std::optional<LockFolders> folders) {
    TestingFolders() = std::move(folders);
}

InstanceLock::~InstanceLock() {
    if (m_fd >= 0)
        ::close(m_fd);
}

InstanceLock::Outcome InstanceLock::Acquire() {
    if (m_fd >= 0)
        return Outcome::Acquired;
    std::string folderPath;
    int folder = OpenRuntimeFolder(m_folders, folderPath);
    if (folder < 0)
        folder = OpenFallbackFolder(m_folders, folderPath);
    if (folder < 0)
        return Outcome::NoPlace;
    const int fd = ::openat(folder, m_name.c_str(),
                            O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    ::close(folder);
    if (fd < 0)
        return Outcome::NoPlace;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != m_folders.uid) {
        ::close(fd);
        return Outcome::NoPlace;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return held ? Outcome::HeldElsewhere : Outcome::NoPlace;
    }
    m_fd = fd;
    m_path = folderPath + "/" + m_name;
    return Outcome::Acquired;
}

} // namespace qp
