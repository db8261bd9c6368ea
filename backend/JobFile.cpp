#include "backend/JobFile.h"

#include "base/JobPhone.h"
#include "base/ParkedJobs.h"
#include "platform/FileOps.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace qp::backend {

namespace {

constexpr int kNameAttempts = 100;
constexpr std::size_t kChunk = 64 * 1024;

std::string RandomSuffix() {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[8] = {};
    if (::getrandom(bytes, sizeof(bytes), 0) != static_cast<ssize_t>(sizeof(bytes))) {
        // Uniqueness comes from O_EXCL; the randomness only makes clashes rare.
        const unsigned long seed =
            static_cast<unsigned long>(::getpid()) ^ static_cast<unsigned long>(::time(nullptr));
        for (std::size_t i = 0; i < sizeof(bytes); ++i)
            bytes[i] = static_cast<unsigned char>(seed >> (i * 5));
    }
    std::string suffix;
    for (unsigned char byte : bytes)
        suffix += kLetters[byte % (sizeof(kLetters) - 1)];
    return suffix;
}

// Whether the file system keeps `bytes` more, and a chunk for its own bookkeeping, free for
// unprivileged users. The backend writes as root, which the kernel would let into the reserve
// that keeps the machine running when the disk is full.
int CheckSpace(int fd, std::size_t bytes) {
    struct statvfs vfs {};
    if (::fstatvfs(fd, &vfs) != 0)
        return errno;
    const auto available = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    return available >= bytes + kChunk ? 0 : ENOSPC;
}

} // namespace

JobFile::JobFile(int folder, std::uint64_t jobId) : m_folder(folder), m_jobId(jobId) {}

JobFile::~JobFile() {
    Discard();
}

int JobFile::Create(uid_t owner, gid_t group) {
    const std::string stem = kPartialJobPrefix + EarlierParkedJobName(m_jobId) + ".";
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = stem + RandomSuffix();
        // O_EXCL never follows or reuses anything that lies there already.
        m_fd = ::openat(m_folder, name.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_fd >= 0) {
            m_tempName = name;
            if (::fchown(m_fd, owner, group) != 0 || ::fchmod(m_fd, 0600) != 0)
                return errno;
            // Only another backend's test of the lock can hold it for a moment. Where the file
            // system has no such locks the job still goes through.
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int JobFile::CopyFrom(int input, const volatile std::sig_atomic_t& cancelled, std::uint64_t limit,
                      const std::string& phone) {
    std::vector<char> buffer(kChunk);
    std::uint64_t written = 0;
    // The document's first bytes decide the job's first line, so a pipe's short reads are
    // gathered until there are enough of them to tell.
    std::size_t gathered = 0;
    bool led = false;
    for (;;) {
        if (cancelled)
            return EINTR;
        const ssize_t got = ::read(input, buffer.data() + gathered, buffer.size() - gathered);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno;
        // A signal that came just before the read blocked is only seen here.
        if (got == 0 && cancelled)
            return EINTR;
        gathered += static_cast<std::size_t>(got);
        std::string block;
        if (!led) {
            if (got > 0 && gathered < kJobPhoneMarker.size())
                continue;
            block = JobPhoneLine(phone, std::string_view(buffer.data(), gathered));
            led = true;
        }
        block.append(buffer.data(), gathered);
        gathered = 0;
        if (block.empty())
            return 0;
        if (written + block.size() > limit)
            return EFBIG;
        if (const int error = CheckSpace(m_fd, block.size()))
            return error;
        if (!WriteAllToFd(m_fd, block))
            return errno;
        written += block.size();
    }
}

int JobFile::Seal() {
    return ::fsync(m_fd) == 0 ? 0 : errno;
}

int JobFile::Publish(int folder, const std::string& name) {
    const int error = RenameNoReplace(m_folder, m_tempName.c_str(), folder, name.c_str());
    if (error != 0)
        return error;
    m_published = true;
    // Closed at once: the user's client takes no file that is still open for writing.
    Discard();
    return 0;
}

void JobFile::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_published && !m_tempName.empty())
        ::unlinkat(m_folder, m_tempName.c_str(), 0);
    m_tempName.clear();
}

} // namespace qp::backend
