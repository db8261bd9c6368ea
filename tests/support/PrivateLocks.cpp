// Linked into every test program: its clients keep their locks in a folder of its own. Test
// programs run side by side as one user, and must not take each other for a client that is
// already running, nor a client the user runs meanwhile.
#include "platform/InstanceLock.h"
#include "tests/support/TestSupport.h"

#include <unistd.h>

namespace {

struct PrivateLocks {
    qp::test::TempDir folder;
    PrivateLocks() {
        qp::SetUserLockFoldersForTesting(
            qp::LockFolders{folder.File("run"), folder.File("cache"), ::geteuid(), "test"});
    }
};

const PrivateLocks g_privateLocks;

} // namespace
