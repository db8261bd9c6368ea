#include "capture/FaxMonitor.h"

#include "capture/PortFileHold.h"
#include "platform/FileOps.h"
#include "platform/MessageBox.h"
#include "platform/Sockets.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

FaxMonitor::FaxMonitor(qp::WorkPaths paths, qp::Clock& clock, SendStep sendStep)
    : m_paths(std::move(paths)), m_clock(clock), m_sendStep(std::move(sendStep)) {}

FaxMonitor::~FaxMonitor() {
    Stop();
}

bool FaxMonitor::Start() {
    if (m_thread.joinable())
        return false;
    m_stop = false;
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void FaxMonitor::Stop() {
    m_stop = true;
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

void FaxMonitor::RunPolls(int count) {
    for (int i = 0; i < count && !m_stop; ++i)
        PollOnce();
}

void FaxMonitor::Run() {
    // The send dialog uploads from this thread.
    if (!qp::StartSockets()) {
        qp::ShowMessage("Windows sockets initialization failed.");
        return;
    }
    m_lastSize = 0;
    m_sizeBefore = 0;
    while (!m_stop)
        PollOnce();
}

void FaxMonitor::PollOnce() {
    m_clock.SleepMs(kPollIntervalMs);
    // The program's own cover page is passing through the port file.
    if (m_stop || qp::PortFileHold::IsHeld())
        return;
    const std::optional<std::uint64_t> size = qp::FileSize(m_paths.portFile);
    if (!size)
        return;
    if (!IsOwnedByThisUser(m_paths.portFile))
        return;
    m_sizeBefore = m_lastSize;
    m_lastSize = *size;
    // Still growing, or the first poll that saw it.
    if (m_lastSize != m_sizeBefore)
        return;

    ProcessPrintJob();

    m_clock.SleepMs(kCleanUpDelayMs);
    qp::RemoveFile(m_paths.coverFile);
    // When the body file could not be removed the sizes stay, so an equal-sized file is taken at
    // the next poll: after a failed move that is the same job again.
    if (qp::RemoveFile(m_paths.bodyFile)) {
        m_lastSize = 0;
        m_sizeBefore = 0;
    }
    qp::RemoveFile(m_paths.faxImage);
}

void FaxMonitor::ProcessPrintJob() {
    if (qp::FileExists(m_paths.bodyFile))
        qp::RemoveFile(m_paths.bodyFile);
    if (!qp::MoveFileNoReplace(m_paths.portFile, m_paths.bodyFile)) {
        m_clock.SleepMs(kMoveRetryDelayMs);
        if (!qp::MoveFileNoReplace(m_paths.portFile, m_paths.bodyFile)) {
            qp::ShowMessage("Unable to process fax message body.");
            return;
        }
    }
    if (m_sendStep)
        m_sendStep();
}

namespace {

// A read lease can only be granted while no one has the file open for writing, so asking for one
// tells whether a writer is still at work. The kernel grants leases only to the file's owner (or
// CAP_LEASE), which the caller has checked. Should a writer open the file during the moment the
// lease is held, the lease-break signal is SIGURG, whose default action is to ignore it, instead
// of SIGIO, which would end the process; the lease is released at once either way. File systems
// without leases cannot tell, and their files count as not being written.
bool IsOpenForWriting(int fd) {
    if (::fcntl(fd, F_SETSIG, SIGURG) != 0)
        return false;
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) != 0)
        return errno == EAGAIN;
    ::fcntl(fd, F_SETLEASE, F_UNLCK);
    return false;
}

} // namespace

bool FaxMonitor::IsOwnedByThisUser(std::string path) {
    // O_NONBLOCK: a file under someone else's lease must not stall the watcher.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool owned = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
    if (owned && IsOpenForWriting(fd))
        owned = false;
    ::close(fd);
    return owned;
}
