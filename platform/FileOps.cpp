#include "platform/FileOps.h"

#include <cerrno>
#include <cstdio>
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

// Fills a temporary file beside `path` with `fill`, flushes it and renames it over `path`.
template <typename Fill> bool ReplaceAtomically(const std::string& path, unsigned mode, Fill fill) {
    std::string temp = path + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, static_cast<mode_t>(mode)) == 0 && fill(fd);
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0)
        return true;
    int saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
    return false;
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
    if (::renameat2(fromFolder, from, toFolder, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // File systems without no-replace renames: a hard link fails just as well when the name is
    // taken.
    if (::linkat(fromFolder, from, toFolder, to, 0) != 0)
        return errno;
    ::unlinkat(fromFolder, from, 0);
    return 0;
}

bool MoveFileNoReplace(const std::string& from, const std::string& to) {
    const int error = RenameNoReplace(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str());
    if (error == EXDEV)
        return CopyThenUnlink(from, to);
    errno = error;
    return error == 0;
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
