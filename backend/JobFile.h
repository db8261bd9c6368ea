#pragma once

#include <csignal>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace qp::backend {

// What the name of a job's temporary file begins with; the rest is the job id and a random part.
inline constexpr const char* kPartialJobPrefix = ".part-";

// One print job on its way to its user: written into a hidden temporary file, then published
// under its final name in one step, so no job is ever seen half-written. Every name is taken
// relative to an open folder, which the caller has verified, so no link or renamed folder on the
// way can send the job elsewhere. The temporary file is locked while this object holds it: a
// temporary file that nobody holds is a leftover of a backend that was killed.
class JobFile {
public:
    // `folder` stays open and owned by the caller for the life of the object.
    JobFile(int folder, std::uint64_t jobId);
    // Removes the temporary file unless the job was published.
    ~JobFile();
    JobFile(const JobFile&) = delete;
    JobFile& operator=(const JobFile&) = delete;

    // Each step returns 0 or errno.
    // Creates the temporary file as the user's own, readable by nobody else, so that it is
    // counted against the user from the first byte.
    int Create(uid_t owner, gid_t group);
    // Copies everything from `input` to its end: EINTR once `cancelled` is set, EFBIG when the
    // job grows beyond `limit` bytes, ENOSPC before a write that would reach into the space the
    // file system keeps for root. A job that names the recipient `phone` (a cleaned number, or
    // empty) begins with its line (JobPhoneLine).
    int CopyFrom(int input, const volatile std::sig_atomic_t& cancelled, std::uint64_t limit,
                 const std::string& phone = {});
    // Flushes the job to disk.
    int Seal();
    // Publishes the job as `name` in the open folder `folder` unless that name is taken (EEXIST):
    // a job that waits to be taken is never replaced.
    int Publish(int folder, const std::string& name);
    void Discard();

private:
    int m_folder;
    std::uint64_t m_jobId;
    std::string m_tempName;
    int m_fd = -1;
    bool m_published = false;
};

} // namespace qp::backend
