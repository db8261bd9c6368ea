#pragma once

// Jobs printed while their user's port file is still untaken wait on disk, in the folder "waiting"
// of the user's own folder, one file per job. A job's name leads with a number the backend counts
// up for each job it parks there, then its CUPS job id: the print service's own counter starts
// again after some restarts, so only the folder's own count keeps print order, and names never
// clash. The backend parks them there as root; the user's client takes them back one at a time as
// that user. Plain C++ and libc only: the backend links it too.
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace qp {

inline constexpr const char* kParkedFolderName = "waiting";
// What one user may keep waiting; the backend refuses a job beyond either.
inline constexpr std::size_t kMaxParkedJobs = 100;
inline constexpr std::uint64_t kMaxParkedBytes = std::uint64_t{1} << 30;

// The job id CUPS gives a backend as its first argument: 1 to 10 digits.
std::optional<std::uint64_t> ParseJobId(const std::string& text);
// "0000000007-0000000042.ps" for job 42 parked as the folder's 7th: ten digits hold every job id
// CUPS hands out, and as many parks as a folder will see.
std::string ParkedJobName(std::uint64_t sequence, std::uint64_t jobId);
// "0000000042.ps": the name an earlier release gave job 42, by its job id alone.
std::string EarlierParkedJobName(std::uint64_t jobId);

// Where a parked job comes in the order they are taken: jobs under earlier names first, by job
// id, then the others by their sequence number.
struct ParkedJobOrder {
    // 0 for an earlier name, 1 for a current one.
    int generation = 1;
    std::uint64_t sequence = 0;
    std::uint64_t jobId = 0;
    auto operator<=>(const ParkedJobOrder&) const = default;
};
// The largest sequence number a name can carry.
inline constexpr std::uint64_t kMaxParkedSequence = 9'999'999'999'999'999'999u;
// The order of a parked job's name, either form; nothing for any other name.
std::optional<ParkedJobOrder> OrderOfParkedJob(const std::string& name);
bool IsParkedJobName(const std::string& name);

// Calls `visit` with the names in the open folder `folder` except "." and "..", reading at most
// `limit` + 1 of them, so that a folder of any size costs the same. 0 when all were visited,
// E2BIG when the folder holds more than `limit`, else the errno of the listing.
int ForEachEntry(int folder, std::size_t limit, const std::function<void(const char*)>& visit);

// When `portFile` is free, moves the oldest parked job (by its name's order, which is print order)
// of `userFolder` into its place and returns true. Only regular files are taken: a link, pipe or
// folder under a job's name stays where it is. Reads a bounded number of entries; a folder that
// holds more than that is left alone (false), since its oldest job cannot be told.
bool TakeOldestParkedJob(const std::string& userFolder, const std::string& portFile);

// How many parked jobs `TakeOldestParkedJob` could take, within the same bound.
std::size_t CountParkedJobs(const std::string& userFolder);

} // namespace qp
