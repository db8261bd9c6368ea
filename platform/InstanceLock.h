#pragma once

#include "platform/UniqueFd.h"

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qp {

// Where a user's locks live. Only the account decides it, never the environment: each session may
// set its environment differently, and a lock must be the same file in all of them. A lock is
// taken in both places that can hold it: the runtime folder <runtimeRoot>/<uid> when it is the
// user's own and nobody else may write to it, and the private folder `fallback`, made with access
// for the user alone when it is missing. The runtime folder comes and goes with the user's
// sessions, so a process that started without it still keeps out one that starts with it.
struct LockFolders {
    std::string runtimeRoot;
    std::optional<std::string> fallback; // nothing when the account has no home
    uid_t uid = 0;
    // The machine's name, part of the lock's name in `fallback`: a home shared between machines
    // holds one lock for each. Empty: the lock's name alone.
    std::string host;
};

// "quillpost.lock" on host "desk" is "quillpost-desk.lock": the name a file of one machine has in a
// folder that several may share.
std::string HostQualifiedName(const std::string& name, const std::string& host);

// /run/user and ~/.cache/quillpost of the user the process runs as, home taken from the account,
// and this machine's name.
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
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    Outcome Acquire();
    // True only when this object holds the lock: never go on without one.
    bool TryAcquire() { return Acquire() == Outcome::Acquired; }
    // Gives the lock up before the object goes.
    void Release() {
        m_fds.clear();
        m_paths.clear();
    }
    // The lock files held, once acquired: the runtime folder's first.
    const std::vector<std::string>& Paths() const { return m_paths; }

private:
    std::string m_name;
    LockFolders m_folders;
    std::vector<std::string> m_paths;
    std::vector<UniqueFd> m_fds;
};

} // namespace qp
