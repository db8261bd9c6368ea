#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace qp {

// Where a user's locks live. Only the account decides it, never the environment: each session may
// set its environment differently, and a lock must be the same file in all of them. The runtime
// folder <runtimeRoot>/<uid> when it is the user's own and nobody else may write to it; else the
// private folder `fallback`, made with access for the user alone when it is missing.
struct LockFolders {
    std::string runtimeRoot;
    std::optional<std::string> fallback; // nothing when the account has no home
    uid_t uid = 0;
};

// /run/user and ~/.cache/quillpost of the user the process runs as, home taken from the account.
LockFolders UserLockFolders();

// Makes UserLockFolders() answer `folders` in this process from now on (nothing: the user's own
// again). For tests only, which run side by side as one user and must not meet each other's locks.
void SetUserLockFoldersForTesting(std::optional<LockFolders> folders);

// A lock that one process of a user holds at a time, given up when the object goes (or the process
// ends, however it ends).
class InstanceLock {
public:
    enum class Outcome {
        Acquired,
        HeldElsewhere, // another process of the user holds it
        NoPlace,       // neither folder can hold it for the user alone
    };

    explicit InstanceLock(std::string name, LockFolders folders = UserLockFolders())
        : m_name(std::move(name)), m_folders(std::move(folders)) {}
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    Outcome Acquire();
    // True only when this object holds the lock: never go on without one.
    bool TryAcquire() { return Acquire() == Outcome::Acquired; }
    // The lock file, once acquired.
    const std::string& Path() const { return m_path; }

private:
    std::string m_name;
    LockFolders m_folders;
    std::string m_path;
    int m_fd = -1;
};

} // namespace qp
