#include "platform/FileOps.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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

// Copies what `in` holds into `out` in the kernel where it can (copy_file_range), else through a
// buffer; false (errno set) on a failure.
bool CopyDescriptor(int in, int out) {
    bool kernelCopy = true;
    for (;;) {
        if (kernelCopy) {
            const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
            if (n > 0)
                continue;
            if (n == 0)
                return true;
            if (errno == EINTR)
                continue;
            // File systems and kernels that cannot copy between these two take the long way.
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
                return false;
            kernelCopy = false;
        }
        char buffer[64 * 1024];
        const ssize_t n = ::read(in, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        if (!WriteAllToFd(out, std::string_view(buffer, static_cast<std::size_t>(n))))
            return false;
    }
}

// A move across file systems: a new file that must not exist yet, with the source's permission
// bits, filled, flushed, and only then the source removed. On failure the new file goes again.
bool CopyThenUnlink(const std::string& from, const std::string& to) {
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0)
        return false;
    if (!CopyFileNew(from, to, st.st_mode & 0777))
        return false;
    if (::unlink(from.c_str()) == 0)
        return true;
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
    bool ok = CopyDescriptor(in, out);
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

bool MoveFileNoReplace(const std::string& from, const std::string& to) {
#ifdef SYS_renameat2
    constexpr unsigned kRenameNoReplace = 1; // RENAME_NOREPLACE
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), kRenameNoReplace) ==
        0)
        return true;
    if (errno == EXDEV)
        return CopyThenUnlink(from, to);
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    // File systems without renameat2 flags: a hard link fails when the name is taken.
    if (::link(from.c_str(), to.c_str()) != 0)
        return errno == EXDEV && CopyThenUnlink(from, to);
    ::unlink(from.c_str());
    return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& contents, unsigned mode) {
    std::string temp = path + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, static_cast<mode_t>(mode)) == 0 && WriteAllToFd(fd, contents);
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0)
        return true;
    int saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
    return false;
}

bool WriteAllToFd(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
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
