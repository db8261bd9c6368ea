#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
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

// Moves a job under its name into the open folder; 0, EEXIST when the name is taken, else errno.
using PublishAs = std::function<int(const std::string& name)>;

// Parks job `jobId` in the open waiting folder `folder` through `publish`, after every job parked
// there before it, whatever its job id: its name carries the next number of the folder's count.
// Backends of one user that park at the same moment take turns. A name that is taken never
// refuses the job: it gets the next number. 0 with the name in `parked`, else errno.
int ParkJob(int folder, std::uint64_t jobId, const PublishAs& publish, std::string& parked);

} // namespace qp::backend
