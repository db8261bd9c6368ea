#include "backend/WaitingFolder.h"

#include "backend/JobFile.h"
#include "base/ParkedJobs.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qp::backend {

namespace {

// A backend writes steadily; one whose file has not changed for this long is gone.
constexpr std::time_t kLeftoverAge = 60;

// Whether a backend holds the temporary file `name` (known to be a lone regular file) locked
// while it writes. It is opened only to test the lock: never through a link, never blocking on
// a pipe put there meanwhile, and only when it is still the file that was looked at.
bool IsHeld(int folder, const char* name, const struct stat& before) {
    const int fd =
        ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return true;
    struct stat st {};
    const bool held = ::fstat(fd, &st) != 0 || st.st_dev != before.st_dev ||
                      st.st_ino != before.st_ino ||
                      (::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK);
    // Closing gives up a lock this test may have taken.
    ::close(fd);
    return held;
}

void RemoveIfLeftover(int folder, const char* name, uid_t owner, std::time_t now) {
    struct stat st {};
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        st.st_nlink != 1 || (st.st_uid != 0 && st.st_uid != owner) ||
        now - st.st_mtime < kLeftoverAge || IsHeld(folder, name, st))
        return;
    ::unlinkat(folder, name, 0);
}

} // namespace

WaitingFolderState ScanWaitingFolder(int folder, uid_t owner, std::time_t now) {
    WaitingFolderState state;
    const std::size_t prefixLength = std::strlen(kPartialJobPrefix);
    state.error = ForEachEntry(folder, kMaxParkedJobs, [&](const char* name) {
        if (std::strncmp(name, kPartialJobPrefix, prefixLength) == 0) {
            RemoveIfLeftover(folder, name, owner, now);
            return;
        }
        if (!IsParkedJobName(name))
            return;
        ++state.parked;
        struct stat st {};
        if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            state.parkedBytes += static_cast<std::uint64_t>(st.st_size);
    });
    return state;
}

} // namespace qp::backend
