#include "cover/CoverFileWait.h"

#include "capture/FaxMonitor.h"
#include "platform/FileOps.h"

namespace qp {

CoverFileOps RealCoverFileOps() {
    // Only a finished job of this user can be this user's cover page: a file of anyone else, or one
    // the backend is still writing, counts as not there.
    return CoverFileOps{
        [](const std::string& path) -> std::optional<std::uint64_t> {
            if (!FaxMonitor::IsOwnedByThisUser(path))
                return std::nullopt;
            return FileSize(path);
        },
        [](const std::string& path) { return RemoveFile(path); },
        [](const std::string& from, const std::string& to) { return MoveFileNoReplace(from, to); }};
}

bool CoverFileWait::TakePortFile(const std::string& portFile, const std::string& coverFile,
                                 Clock& clock, const CoverFileOps& ops) {
    // Starting at 0, a port file that is empty when first seen counts as complete at once.
    std::uint64_t previous = 0;
    std::uint64_t current = 0;
    bool complete = false;
    for (int poll = 0; poll < kPolls && !complete; ++poll) {
        clock.SleepMs(kPollIntervalMs);
        const std::optional<std::uint64_t> size = ops.size(portFile);
        if (!size)
            continue;
        previous = current;
        current = *size;
        complete = previous == current;
    }
    if (!complete)
        return false;

    ops.remove(coverFile);
    if (ops.move(portFile, coverFile))
        return true;
    clock.SleepMs(kMoveRetryDelayMs);
    return ops.move(portFile, coverFile);
}

} // namespace qp
