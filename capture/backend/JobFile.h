#pragma once

#include <csignal>
#include <string>
#include <sys/types.h>

namespace qp::backend {

// One print job on its way to the port file: written into a hidden temporary file beside it, then
// published under the port file's name in one step, so the port file is never seen half-written.
// Every name is taken relative to the open folder, which the caller has verified, so no link or
// renamed folder on the way can send the job elsewhere. The temporary file stays open and locked
// until the job is published or discarded: a temporary file that nobody holds is a leftover of a
// process that died, and neither counts as waiting nor holds up the jobs after it.
class JobFile {
public:
    // `folder` stays open and owned by the caller for the life of the object.
    JobFile(int folder, std::string portName);
    // Removes the temporary file unless the job was published or handed over.
    ~JobFile();
    JobFile(const JobFile&) = delete;
    JobFile& operator=(const JobFile&) = delete;

    // Each step returns 0 or errno.
    int Create();
    // Copies everything from `input` to its end; gives up with EINTR once `cancelled` is set.
    int CopyFrom(int input, const volatile std::sig_atomic_t& cancelled);
    // Flushes the job to disk and hands it to its owner, readable by nobody else.
    int Seal(uid_t owner, gid_t group);
    // Publishes the job as the port file unless one is there already (EEXIST): a job that waits
    // to be taken is never replaced.
    int Publish();
    // Publishes the job only when no job of the same port created before it still waits, so a
    // user's jobs come out in the order they were printed; EEXIST until then.
    int PublishInTurn();
    void Discard();
    // Another process now looks after the temporary file; this object closes its copy and leaves
    // the file alone.
    void HandOver();

    int Folder() const { return m_folder; }
    // The open temporary file, or -1.
    int Descriptor() const { return m_fd; }
    const std::string& TempName() const { return m_tempName; }

private:
    int m_folder;
    std::string m_portName;
    std::string m_tempName;
    int m_fd = -1;
    bool m_published = false;
};

// How many jobs of the port `portName` wait in the folder: temporary files that a process holds.
int CountWaitingJobs(int folder, const std::string& portName);

} // namespace qp::backend
