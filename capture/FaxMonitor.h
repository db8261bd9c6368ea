#pragma once

#include "base/Job.h"
#include "platform/Clock.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// The print-job watcher. It takes each print job of this user out of the port file into a job
// folder of its own and hands the job on to be sent; the next printed job is taken once the
// previous one's send dialog has closed. Jobs left over from an earlier run come first, oldest
// first. It wakes when the port file's folder changes and looks again now and then in any case.
// A port file it could not take is tried again, each time after a longer wait.
class FaxMonitor {
public:
    // Receives a job on the watcher's thread; `leftOver` says it was waiting from an earlier run.
    // Whoever receives it calls JobClosed() once its dialog has closed.
    using Deliver = std::function<void(qp::Job job, bool leftOver)>;
    // The jobs that wait elsewhere while the port file is taken.
    struct Parked {
        // Puts the oldest into the port file's place when the port file is free; true when it did.
        std::function<bool()> refill;
        // How many wait there.
        std::function<std::size_t()> count;
    };
    // What the watcher has to tell the user, handed on as a value on the watcher's thread: a port
    // file it could not take (once per cause), or how many jobs wait once one has waited behind
    // an open dialog for kWaitingNoticeAfter. The program decides how it is shown.
    struct Report {
        enum class Kind { CannotTakeJob, JobsWaiting };
        Kind kind = Kind::JobsWaiting;
        std::size_t waiting = 0;
        std::string Text() const;
    };
    using Tell = std::function<void(const Report& report)>;

    // How often the port file is looked at when its folder cannot be watched.
    static constexpr int kSlowPollMs = 2000;
    // A port file still being written is looked at again after this long.
    static constexpr int kWriterCheckMs = 250;
    // The wait before a port file that could not be taken is tried again doubles from the first
    // to the longest.
    static constexpr std::chrono::milliseconds kFirstRetry{1000};
    static constexpr std::chrono::milliseconds kLongestRetry{30000};
    static constexpr std::chrono::milliseconds kWaitingNoticeAfter{60000};

    FaxMonitor(std::string portFile, qp::JobStore store, qp::Clock& clock, Deliver deliver,
               Parked parked = {}, Tell tell = {});
    // Stops a started watcher and waits for its thread.
    ~FaxMonitor();
    FaxMonitor(const FaxMonitor&) = delete;
    FaxMonitor& operator=(const FaxMonitor&) = delete;

    // Starts the watching thread; false when it could not be started.
    bool Start();
    // Ends the thread at once, whatever it waits for, and waits for it. Jobs not handed on yet
    // stay on disk.
    void Stop();
    // The dialog of the job handed on last has closed: the next one may be taken.
    void JobClosed();

    // One look on the calling thread (no thread started): hands on a left-over job, or the port
    // file's job when it is complete and not waiting to be tried again. True when a job was
    // handed on.
    bool TakeWaitingJob();
    // One look on the calling thread while the dialog of the job handed on last is open: counts
    // the jobs that wait behind it and announces them once per dialog, when the first has waited
    // long enough.
    void LookAtWaitingJobs();

    // True when the file is a regular file owned by the effective user and, as far as the system
    // can tell, nobody holds it open for writing.
    static bool IsOwnedByThisUser(std::string path);

private:
    enum class PortState { Absent, NotOurs, BeingWritten, Complete };
    // A file, by device and inode.
    struct FileKey {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        bool operator==(const FileKey&) const = default;
    };
    enum class TakeStep { MakeJob, Move };
    // Why a port file could not be taken: it is told once, not at each try.
    struct TakeFailure {
        FileKey file;
        TakeStep step = TakeStep::MakeJob;
        int error = 0;
        bool operator==(const TakeFailure&) const = default;
    };
    // The port file that could not be taken, and when it is tried again.
    struct Retry {
        FileKey file;
        qp::Clock::TimePoint due;
        std::chrono::milliseconds wait;
    };

    static PortState StateOf(const std::string& path);
    PortState LookAtPortFile() const;
    std::optional<FileKey> PortFileKey() const;
    bool TakePortFile();
    void TakeFailed(const TakeFailure& failure);
    void HandOn(qp::Job job, bool leftOver);
    void Run();
    // How long the thread may wait before it looks again.
    int NextLookMs() const;
    // Waits until the port file's folder changes, `timeoutMs` pass, or the watcher is woken.
    void WaitForChange(int timeoutMs);
    void Wake();

    const std::string m_portFile;
    const qp::JobStore m_store;
    qp::Clock& m_clock;
    const Deliver m_deliver;
    const Parked m_parked;
    const Tell m_tell;

    std::deque<qp::Job> m_leftovers;
    bool m_leftoversLoaded = false;
    std::optional<Retry> m_retry;
    std::optional<TakeFailure> m_toldFailure;
    // Since when jobs wait behind the open dialog, and whether that was announced.
    std::optional<qp::Clock::TimePoint> m_waitingSince;
    bool m_waitingAnnounced = false;

    std::mutex m_mutex;
    std::condition_variable m_closed;
    bool m_awaitingClose = false; // guarded by m_mutex
    bool m_stop = false;          // guarded by m_mutex
    int m_wakeFd = -1;
    int m_watchFd = -1;
    int m_watch = -1;
    std::thread m_thread;
};

namespace qp {

// What the desktop notification says of `count` printed jobs that wait to be sent.
std::string WaitingJobsText(std::size_t count);

} // namespace qp
