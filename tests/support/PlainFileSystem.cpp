#include "tests/support/PlainFileSystem.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

namespace {

std::atomic<bool> g_refuseFlags{false};
std::atomic<bool> g_refuseLinks{false};
std::atomic<bool> g_refuseUnlinks{false};
std::mutex g_mutex;
std::set<std::pair<dev_t, ino_t>> g_synced; // guarded by g_mutex

} // namespace

// These stand in for the C library's own, for the code linked into this program.
extern "C" int renameat2(int fromFolder, const char* from, int toFolder, const char* to,
                         unsigned int flags) noexcept {
    if (g_refuseFlags && flags != 0) {
        errno = EINVAL;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_renameat2, fromFolder, from, toFolder, to, flags));
}

extern "C" int linkat(int fromFolder, const char* from, int toFolder, const char* to,
                      int flags) noexcept {
    if (g_refuseLinks) {
        errno = EPERM;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_linkat, fromFolder, from, toFolder, to, flags));
}

extern "C" int unlinkat(int folder, const char* name, int flags) noexcept {
    if (g_refuseUnlinks) {
        errno = EBUSY;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_unlinkat, folder, name, flags));
}

extern "C" int fsync(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) == 0) {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_synced.emplace(st.st_dev, st.st_ino);
    }
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

namespace qp::test {

ScopedPlainFileSystem::ScopedPlainFileSystem(Refusals refusals) {
    g_refuseFlags = refusals.renameFlags;
    g_refuseLinks = refusals.links;
    g_refuseUnlinks = refusals.unlinks;
}

ScopedPlainFileSystem::~ScopedPlainFileSystem() {
    g_refuseFlags = false;
    g_refuseLinks = false;
    g_refuseUnlinks = false;
}

void ForgetSyncs() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_synced.clear();
}

bool WasSynced(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_synced.count({st.st_dev, st.st_ino}) > 0;
}

} // namespace qp::test
