#include "backend/WaitingFolder.h"

#include "backend/JobFile.h"
#include "base/ParkedJobs.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qp::backend {

namespace {

// A backend writes steadily; one whose file has not changed for this long is gone.
constexpr std::time_t kLeftoverAge = 60;

// All a waiting folder holds while its jobs keep within their limits, and the temporary files of
// backends that write at the same time.
constexpr std::size_t kSequenceScanLimit = 1024;
// Another backend holds the folder's turn only for a listing and a rename. Should the user's own
// process hold it longer, the job is parked without a turn rather than holding up the queue.
constexpr int kTurnAttempts = 200;
constexpr long kTurnPauseNs = 10 * 1000 * 1000;

// The turn of one backend to number and park a job in a waiting folder: a lock on the folder,
// held until the end of the scope.
class ParkingTurn {
public:
    explicit ParkingTurn(int folder) : m_folder(folder) {
        for (int attempt = 0; attempt < kTurnAttempts; ++attempt) {
            if (::flock(m_folder, LOCK_EX | LOCK_NB) == 0) {
                m_held = true;
                return;
            }
            if (errno != EWOULDBLOCK && errno != EINTR)
                return;
            const timespec pause{0, kTurnPauseNs};
            ::nanosleep(&pause, nullptr);
        }
    }
    ~ParkingTurn() {
        if (m_held)
            ::flock(m_folder, LOCK_UN);
    }
    ParkingTurn(const ParkingTurn&) = delete;
    ParkingTurn& operator=(const ParkingTurn&) = delete;

private:
    int m_folder;
    bool m_held = false;
};

// The number after the highest one a job's name in the folder carries: 1 in a folder without
// one. Jobs are taken lowest first, so the highest is the last to go, and a fresh count starts
// only in a folder with none left to come before it.
int NextSequence(int folder, std::uint64_t& next) {
    std::uint64_t highest = 0;
    const int error = ForEachEntry(folder, kSequenceScanLimit, [&](const char* name) {
        const std::optional<ParkedJobOrder> order = OrderOfParkedJob(name);
        if (order && order->generation == 1 && order->sequence > highest)
            highest = order->sequence;
    });
    if (error != 0)
        return error;
    if (highest >= kMaxParkedSequence)
        return ERANGE;
    next = highest + 1;
    return 0;
}

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

int ParkJob(int folder, std::uint64_t jobId, const PublishAs& publish, std::string& parked) {
    const ParkingTurn turn(folder);
    std::uint64_t sequence = 0;
    if (const int error = NextSequence(folder, sequence))
        return error;
    // A taken name was planted by the user, or parked by a backend that did not wait its turn.
    for (std::size_t attempt = 0; attempt <= kMaxParkedJobs; ++attempt) {
        const std::string name = ParkedJobName(sequence, jobId);
        const int error = publish(name);
        if (error != EEXIST) {
            if (error == 0)
                parked = name;
            return error;
        }
        if (sequence >= kMaxParkedSequence)
            return ERANGE;
        ++sequence;
    }
    return EEXIST;
}

} // namespace qp::backend
