#include "platform/FileOps.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qp {

std::optional<std::uint64_t> FileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

bool FileExists(const std::string& path) {
    return FileSize(path).has_value();
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

namespace {

constexpr std::size_t kKernelCopyBytes = std::size_t{1} << 30;
constexpr std::size_t kCopyBufferBytes = 64 * 1024;

// At most `chunk` bytes, and one more than is left of `maxBytes`, to tell a source of exactly
// `maxBytes` from a longer one.
std::size_t NextCopyBytes(std::uint64_t copied, std::uint64_t maxBytes, std::size_t chunk) {
    const std::uint64_t left = maxBytes - copied;
    return left < chunk ? static_cast<std::size_t>(left) + 1 : chunk;
}

// The folder that holds `name` (relative to the open folder `at`), synced, so that a name made
// or removed in it lasts through a crash.
bool SyncFolderHolding(int at, const char* name) {
    const char* slash = std::strrchr(name, '/');
    if (slash == nullptr && at != AT_FDCWD)
        return ::fsync(at) == 0;
    const std::string folder = slash == nullptr ? std::string(".")
                               : slash == name  ? std::string("/")
                                                : std::string(name, slash);
    const int fd = ::openat(at, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}

// Flushes a file or folder about to be published: 0, or the error of a flush that failed. What
// cannot be opened for it (a link, a file of another user's) is published as it stands.
int SyncEntry(int at, const char* name) {
    // Only files and folders are opened: opening a device or a pipe put there could do anything.
    struct stat st {};
    if (::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)))
        return 0;
    const int fd = ::openat(at, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    int error = 0;
    if (::fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) && ::fsync(fd) != 0)
        error = errno;
    ::close(fd);
    return error;
}

// The no-replace rename of a file system that has none (NFS, ecryptfs, some FUSE): the new name
// is first claimed with something only a free name allows (an empty folder for a folder, a file
// created exclusively for anything else), and the rename then takes the empty claim's place.
// Another writer claiming the same name fails on the claim, never on the rename.
int RenameOverReservation(int fromFolder, const char* from, int toFolder, const char* to) {
    struct stat source {};
    if (::fstatat(fromFolder, from, &source, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    const bool folder = S_ISDIR(source.st_mode);
    struct stat claim {};
    if (folder) {
        if (::mkdirat(toFolder, to, 0700) != 0)
            return errno;
        if (::fstatat(toFolder, to, &claim, AT_SYMLINK_NOFOLLOW) != 0)
            return errno;
    } else {
        const int fd = ::openat(
            toFolder, to, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
        if (fd < 0)
            return errno;
        const bool known = ::fstat(fd, &claim) == 0;
        const int error = errno;
        ::close(fd);
        if (!known) {
            ::unlinkat(toFolder, to, 0);
            return error;
        }
    }
    // The claim must still be the empty one just made: anything else under the name is not ours
    // to replace, nor to remove.
    struct stat now {};
    if (::fstatat(toFolder, to, &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_dev != claim.st_dev ||
        now.st_ino != claim.st_ino || (!folder && now.st_size != 0))
        return EEXIST;
    if (::renameat(fromFolder, from, toFolder, to) == 0)
        return 0;
    const int error = errno;
    ::unlinkat(toFolder, to, folder ? AT_REMOVEDIR : 0);
    // A claim someone filled meanwhile is a taken name, as it would have been for the flag.
    return error == ENOTEMPTY ? EEXIST : error;
}

// Fills a temporary file beside `path` with `fill`, flushes it, renames it over `path` and syncs
// the folder.
template <typename Fill> bool ReplaceAtomically(const std::string& path, unsigned mode, Fill fill) {
    std::string temp = path + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, static_cast<mode_t>(mode)) == 0 && fill(fd);
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0) {
        SyncFolderHolding(AT_FDCWD, path.c_str());
        return true;
    }
    int saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
    return false;
}

// A move across file systems: a new file that must not exist yet, with the source's permission
// bits, filled, flushed, its name synced, and only then the source removed. On failure the new
// file goes again: the source is never gone without its copy nor there beside a reported move.
bool CopyThenUnlink(const std::string& from, const std::string& to) {
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0)
        return false;
    if (!CopyFileNew(from, to, st.st_mode & 0777))
        return false;
    if (SyncFolderHolding(AT_FDCWD, to.c_str()) && ::unlink(from.c_str()) == 0) {
        SyncFolderHolding(AT_FDCWD, from.c_str());
        return true;
    }
    const int error = errno;
    ::unlink(to.c_str());
    errno = error;
    return false;
}

} // namespace

bool CopyFileNew(const std::string& from, const std::string& to, unsigned mode) {
    // O_NONBLOCK: a pipe under the name must not stall the copy; a file reads as it always does.
    const int in = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        errno = EINVAL;
        return false;
    }
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           static_cast<mode_t>(mode));
    if (out < 0) {
        const int error = errno;
        ::close(in);
        errno = error;
        return false;
    }
    bool ok = CopyBetweenFds(in, out) == CopyOutcome::Copied;
    int error = errno;
    ok = ok && ::fsync(out) == 0;
    if (!ok)
        error = errno;
    ok = ::close(out) == 0 && ok;
    ::close(in);
    if (ok)
        return true;
    ::unlink(to.c_str());
    errno = error;
    return false;
}

int RenameNoReplace(int fromFolder, const char* from, int toFolder, const char* to) {
    // Whatever is published must be whole on disk before its name appears.
    if (const int error = SyncEntry(fromFolder, from))
        return error;
    int error = 0;
    if (::renameat2(fromFolder, from, toFolder, to, RENAME_NOREPLACE) != 0)
        error = errno;
    if (error == EINVAL || error == ENOSYS)
        error = RenameOverReservation(fromFolder, from, toFolder, to);
    if (error != 0)
        return error;
    // The move has happened and the source is gone whatever the sync says; a folder that cannot
    // be synced is a failing disk, which the next write will tell of.
    SyncFolderHolding(toFolder, to);
    return 0;
}

bool MoveFileNoReplace(const std::string& from, const std::string& to) {
    const int error = RenameNoReplace(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str());
    if (error == EXDEV)
        return CopyThenUnlink(from, to);
    errno = error;
    return error == 0;
}

bool SyncFileAndFolder(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!synced) {
        errno = error;
        return false;
    }
    return SyncFolderHolding(AT_FDCWD, path.c_str());
}

CopyOutcome CopyBetweenFds(int in, int out, std::uint64_t maxBytes) {
    std::uint64_t copied = 0;
    bool kernelCopy = true;
    char buffer[kCopyBufferBytes];
    for (;;) {
        ssize_t n = 0;
        if (kernelCopy) {
            n = ::copy_file_range(in, nullptr, out, nullptr,
                                  NextCopyBytes(copied, maxBytes, kKernelCopyBytes), 0);
            // File systems and kernels that cannot copy between these two take the long way, and
            // so does any other failure: only the long way tells which end failed.
            if (n < 0 && errno != EINTR) {
                kernelCopy = false;
                continue;
            }
        } else {
            n = ::read(in, buffer, NextCopyBytes(copied, maxBytes, sizeof(buffer)));
            if (n < 0 && errno != EINTR)
                return CopyOutcome::ReadFailed;
        }
        if (n < 0)
            continue;
        if (n == 0)
            return CopyOutcome::Copied;
        if (static_cast<std::uint64_t>(n) > maxBytes - copied) {
            errno = EFBIG;
            return CopyOutcome::ReadFailed;
        }
        if (!kernelCopy &&
            !WriteAllToFd(out, std::string_view(buffer, static_cast<std::size_t>(n))))
            return CopyOutcome::WriteFailed;
        copied += static_cast<std::uint64_t>(n);
    }
}

bool WriteFileAtomically(const std::string& path, const std::string& contents, unsigned mode) {
    return ReplaceAtomically(path, mode, [&](int fd) { return WriteAllToFd(fd, contents); });
}

bool ReplaceWithCopy(int in, const std::string& path, unsigned mode, std::uint64_t maxBytes) {
    return ReplaceAtomically(path, mode, [&](int fd) {
        return CopyBetweenFds(in, fd, maxBytes) == CopyOutcome::Copied;
    });
}

ssize_t WriteSome(int fd, const void* data, std::size_t size) {
    return ::write(fd, data, size);
}

bool WriteAllToFd(int fd, std::string_view data, SomeWriter writeSome) {
    while (!data.empty()) {
        const ssize_t n = writeSome(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    // Only a file can be read whole: a pipe or device under the name would never end.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    std::optional<std::string> contents;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        contents = ReadAllFromFd(fd);
    ::close(fd);
    return contents;
}

std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t maxBytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    std::optional<std::string> contents;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        contents = ReadAllFromFd(fd, maxBytes);
    ::close(fd);
    return contents;
}

std::uint64_t FolderFileBytes(const std::string& folder) {
    std::uint64_t bytes = 0;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return 0;
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode))
            bytes += static_cast<std::uint64_t>(st.st_size);
    }
    ::closedir(dir);
    return bytes;
}

std::optional<std::string> ReadAllFromFd(int fd, std::size_t maxBytes) {
    std::string contents;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return contents;
        if (static_cast<std::size_t>(n) > maxBytes - contents.size()) {
            errno = EFBIG;
            return std::nullopt;
        }
        contents.append(buffer, static_cast<std::size_t>(n));
    }
}

} // namespace qp
