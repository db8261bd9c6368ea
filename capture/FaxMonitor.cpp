#include "capture/FaxMonitor.h"

#include "platform/FileOps.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr const char* kCannotTakeJob = "Unable to process fax message body.";

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

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

FaxMonitor::FaxMonitor(std::string portFile, qp::JobStore store, qp::Clock& clock, Deliver deliver,
                       Parked parked, Tell tell)
    : m_portFile(std::move(portFile)), m_store(std::move(store)), m_clock(clock),
      m_deliver(std::move(deliver)), m_parked(std::move(parked)), m_tell(std::move(tell)) {
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_watchFd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
}

FaxMonitor::~FaxMonitor() {
    Stop();
    for (int fd : {m_wakeFd, m_watchFd}) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool FaxMonitor::Start() {
    if (m_thread.joinable())
        return false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = false;
    }
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void FaxMonitor::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_closed.notify_all();
    Wake();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

void FaxMonitor::JobClosed() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_awaitingClose = false;
    }
    m_closed.notify_all();
    Wake();
}

void FaxMonitor::Wake() {
    if (m_wakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
    }
}

void FaxMonitor::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop) {
        if (m_awaitingClose) {
            lock.unlock();
            LookAtWaitingJobs();
            lock.lock();
            m_closed.wait_for(lock, std::chrono::milliseconds(kSlowPollMs),
                              [this] { return m_stop || !m_awaitingClose; });
            continue;
        }
        lock.unlock();
        if (!TakeWaitingJob())
            WaitForChange(NextLookMs());
        lock.lock();
    }
}

bool FaxMonitor::TakeWaitingJob() {
    if (!m_leftoversLoaded) {
        m_leftoversLoaded = true;
        for (qp::Job& job : m_store.TakeLeftovers())
            m_leftovers.push_back(std::move(job));
    }
    if (!m_leftovers.empty()) {
        qp::Job job = std::move(m_leftovers.front());
        m_leftovers.pop_front();
        HandOn(std::move(job), true);
        return true;
    }
    if (LookAtPortFile() == PortState::Absent && m_parked.refill)
        m_parked.refill();
    return TakePortFile();
}

void FaxMonitor::HandOn(qp::Job job, bool leftOver) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_awaitingClose = true;
    }
    m_waitingSince.reset();
    m_waitingAnnounced = false;
    m_deliver(std::move(job), leftOver);
}

void FaxMonitor::LookAtWaitingJobs() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_awaitingClose)
            return;
    }
    const std::size_t waiting = (LookAtPortFile() == PortState::Complete ? 1u : 0u) +
                                (m_parked.count ? m_parked.count() : 0u);
    if (waiting == 0) {
        m_waitingSince.reset();
        return;
    }
    const qp::Clock::TimePoint now = m_clock.Now();
    if (!m_waitingSince)
        m_waitingSince = now;
    if (m_waitingAnnounced || now - *m_waitingSince < kWaitingNoticeAfter)
        return;
    m_waitingAnnounced = true;
    if (m_tell)
        m_tell(Report{Report::Kind::JobsWaiting, waiting});
}

FaxMonitor::PortState FaxMonitor::LookAtPortFile() const {
    return StateOf(m_portFile);
}

FaxMonitor::PortState FaxMonitor::StateOf(const std::string& path) {
    // O_NONBLOCK: a file under someone else's lease, or a FIFO, must not stall the watcher.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? PortState::Absent : PortState::NotOurs;
    struct stat st {};
    PortState state = PortState::NotOurs;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
        state = IsOpenForWriting(fd) ? PortState::BeingWritten : PortState::Complete;
    ::close(fd);
    return state;
}

bool FaxMonitor::IsOwnedByThisUser(std::string path) {
    return StateOf(path) == PortState::Complete;
}

std::optional<FaxMonitor::FileKey> FaxMonitor::PortFileKey() const {
    struct stat st {};
    if (::lstat(m_portFile.c_str(), &st) != 0)
        return std::nullopt;
    return FileKey{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

bool FaxMonitor::TakePortFile() {
    const PortState state = LookAtPortFile();
    if (state == PortState::Absent)
        m_retry.reset();
    if (state != PortState::Complete)
        return false;
    const std::optional<FileKey> file = PortFileKey();
    if (!file)
        return false;
    // Another file in its place is tried at once.
    if (m_retry && m_retry->file == *file && m_clock.Now() < m_retry->due)
        return false;

    errno = 0;
    std::optional<qp::Job> job = m_store.Create();
    if (!job) {
        TakeFailed({*file, TakeStep::MakeJob, errno});
        return false;
    }
    if (!qp::MoveFileNoReplace(m_portFile, job->BodyFile())) {
        const int error = errno;
        qp::JobStore::Remove(std::move(*job));
        TakeFailed({*file, TakeStep::Move, error});
        return false;
    }
    m_retry.reset();
    m_toldFailure.reset();
    HandOn(std::move(*job), false);
    return true;
}

void FaxMonitor::TakeFailed(const TakeFailure& failure) {
    const std::chrono::milliseconds wait = m_retry && m_retry->file == failure.file
                                               ? std::min(m_retry->wait * 2, kLongestRetry)
                                               : kFirstRetry;
    m_retry = Retry{failure.file, m_clock.Now() + wait, wait};
    if (m_toldFailure == failure)
        return;
    m_toldFailure = failure;
    if (m_tell)
        m_tell(Report{Report::Kind::CannotTakeJob, 0});
}

int FaxMonitor::NextLookMs() const {
    int timeout = LookAtPortFile() == PortState::BeingWritten ? kWriterCheckMs : kSlowPollMs;
    if (m_retry) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(m_retry->due - m_clock.Now()).count();
        if (left > 0 && left < timeout)
            timeout = static_cast<int>(left);
    }
    return timeout;
}

void FaxMonitor::WaitForChange(int timeoutMs) {
    // The folder may appear later (the backend makes it on the user's first job), so the watch is
    // set up again whenever there is none.
    if (m_watchFd >= 0 && m_watch < 0)
        m_watch = ::inotify_add_watch(m_watchFd, FolderOf(m_portFile).c_str(),
                                      IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_ATTRIB |
                                          IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
    pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {m_watch >= 0 ? m_watchFd : -1, POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) <= 0)
        return;
    std::uint64_t count = 0;
    if (fds[0].revents & POLLIN) [[maybe_unused]]
        const ssize_t got = ::read(m_wakeFd, &count, sizeof count);
    if (fds[1].revents & POLLIN) {
        alignas(inotify_event) char events[4096];
        ssize_t got = 0;
        while ((got = ::read(m_watchFd, events, sizeof events)) > 0) {
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
                    ::inotify_rm_watch(m_watchFd, m_watch);
                    m_watch = -1;
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }
}

std::string FaxMonitor::Report::Text() const {
    return kind == Kind::CannotTakeJob ? kCannotTakeJob : qp::WaitingJobsText(waiting);
}

namespace qp {

std::string WaitingJobsText(std::size_t count) {
    if (count == 1)
        return "A printed fax is waiting to be sent.";
    return std::to_string(count) + " printed faxes are waiting to be sent.";
}

} // namespace qp
