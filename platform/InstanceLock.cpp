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

enum class Taken { Held, HeldElsewhere, Failed };

// Locks `name` in the open folder; a lock file that is not the user's plain file is not used.
Taken LockIn(int folder, const std::string& name, uid_t uid, UniqueFd& lock) {
    UniqueFd fd(::openat(folder, name.c_str(),
                         O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (fd.Get() < 0)
        return Taken::Failed;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != uid)
        return Taken::Failed;
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? Taken::HeldElsewhere : Taken::Failed;
    lock = std::move(fd);
    return Taken::Held;
}

std::string MachineName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

} // namespace

// "quillpost.lock" on host "desk" is "quillpost-desk.lock"; what a file name cannot hold becomes
// "_".
std::string HostQualifiedName(const std::string& name, const std::string& host) {
    if (host.empty())
        return name;
    std::string safe;
    for (const char c : host) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
        safe += plain ? c : '_';
    }
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return name + "-" + safe;
    return name.substr(0, dot) + "-" + safe + name.substr(dot);
}

LockFolders UserLockFolders() {
    if (const std::optional<LockFolders>& testing = TestingFolders())
        return *testing;
    const uid_t uid = ::geteuid();
    const std::optional<std::string> home = AccountHomeFolder(uid);
    return {"/run/user", home ? std::optional(*home + "/.cache/quillpost") : std::nullopt, uid,
            MachineName()};
}

void SetUserLockFoldersForTesting(std::optional<LockFolders> folders) {
    TestingFolders() = std::move(folders);
}

InstanceLock::Outcome InstanceLock::Acquire() {
    if (!m_fds.empty())
        return Outcome::Acquired;
    struct Place {
        int (*open)(const LockFolders&, std::string&);
        std::string name;
    };
    const Place places[] = {{OpenRuntimeFolder, m_name},
                            {OpenFallbackFolder, HostQualifiedName(m_name, m_folders.host)}};
    std::vector<UniqueFd> held;
    std::vector<std::string> paths;
    for (const Place& place : places) {
        std::string folderPath;
        const UniqueFd folder(place.open(m_folders, folderPath));
        if (folder.Get() < 0)
            continue;
        UniqueFd lock(-1);
        switch (LockIn(folder.Get(), place.name, m_folders.uid, lock)) {
        case Taken::HeldElsewhere:
            return Outcome::HeldElsewhere;
        case Taken::Failed:
            // A place that cannot hold the lock (a full or read-only home) is left to the other.
            continue;
        case Taken::Held:
            held.push_back(std::move(lock));
            paths.push_back(folderPath + "/" + place.name);
            break;
        }
    }
    if (held.empty())
        return Outcome::NoPlace;
    m_fds = std::move(held);
    m_paths = std::move(paths);
    return Outcome::Acquired;
}

} // namespace qp
