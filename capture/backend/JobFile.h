#pragma once

#include <csignal>
#include <string>
#include <sys/types.h>

namespace qp::backend {

// One print job on its way to the port file: written into a hidden temporary file beside it, then
// published under the port file's name in one step, so the port file is never seen half-written.
// Every name is taken relative to the open folder, which the caller has verified, so no link or
// renamed folder on the way can send the job elsewhere.
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
    void Discard();
    // Another process now looks after the temporary file; this object leaves it alone.
    void HandOver() { m_tempName.clear(); }

    int Folder() const { return m_folder; }
    const std::string& TempName() const { return m_tempName; }

private:
    int m_folder;
    std::string m_portName;
    std::string m_tempName;
    int m_fd = -1;
    bool m_published = false;
};

// How many hidden temporary files of the port `portName` lie in the folder.
int CountWaitingJobs(int folder, const std::string& portName);

} // namespace qp::backend
