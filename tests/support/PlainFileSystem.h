#pragma once

#include <string>

// Links into a test program a file system that behaves like NFS, ecryptfs or a FUSE mount where
// the test asks for it: renameat2 answers EINVAL to any flag and hard links are refused (EPERM).
// Every fsync is noted, so a test can tell which folders were synced.
namespace qp::test {

// What the file system refuses.
struct Refusals {
    bool renameFlags = true; // renameat2 with flags: EINVAL
    bool links = true;       // linkat: EPERM
    bool unlinks = false;    // unlinkat: EBUSY, as for a file another client holds on some mounts
};

// While it lives, the calls named fail as on such a file system.
class ScopedPlainFileSystem {
public:
    explicit ScopedPlainFileSystem(Refusals refusals = {});
    ~ScopedPlainFileSystem();
    ScopedPlainFileSystem(const ScopedPlainFileSystem&) = delete;
    ScopedPlainFileSystem& operator=(const ScopedPlainFileSystem&) = delete;
};

// Forgets the fsyncs noted so far.
void ForgetSyncs();
// Whether the file or folder at `path` was fsynced since the last ForgetSyncs().
bool WasSynced(const std::string& path);

} // namespace qp::test
