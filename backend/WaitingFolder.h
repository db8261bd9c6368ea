#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <sys/types.h>

namespace qp::backend {

// A user's waiting folder as one job of that user finds it.
struct WaitingFolderState {
    // Entries named as parked jobs, whatever they are: a planted link counts, and is never opened.
    std::size_t parked = 0;
    // The sizes of those that are files.
    std::uint64_t parkedBytes = 0;
    // E2BIG when the folder holds more entries than a full folder of parked jobs; errno when it
    // could not be read; 0 otherwise.
    int error = 0;
};

// Reads the open waiting folder of the user `owner` once, looking at no more entries than a full
// folder holds, whatever the user keeps there. On the way it removes the temporary files that
// backends killed while writing left: a file of root or the user, no link, older than a minute
// at `now`, and held by no backend that still writes it.
WaitingFolderState ScanWaitingFolder(int folder, uid_t owner, std::time_t now);

} // namespace qp::backend
