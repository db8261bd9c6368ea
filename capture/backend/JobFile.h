#pragma once

#include <csignal>
#include <string>
#include <sys/types.h>

namespace qp::backend {

// One print job on its way to the port file: written into a hidden temporary file beside it, then
// published under the port file's name in one step, so the port file is never seen half-written.
class JobFile {
public:
    explicit JobFile(std::string portFile);
    // Removes the temporary file unless the job was published.
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

    const std::string& TempPath() const { return m_tempPath; }

private:
    std::string m_portFile;
    std::string m_tempPath;
    int m_fd = -1;
    bool m_published = false;
};

} // namespace qp::backend
