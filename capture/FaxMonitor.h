#pragma once

#include "base/Job.h"
#include "platform/Clock.h"

#include <condition_variable>
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
class FaxMonitor {
public:
    // Receives a job on the watcher's thread; `leftOver` says it was waiting from an earlier run.
    // Whoever receives it calls JobClosed() once its dialog has closed.
    using Deliver = std::function<void(qp::Job job, bool leftOver)>;
    // Puts the next job that waits elsewhere into the port file's place when the port file is
    // free; true when it did.
    using Refill = std::function<bool()>;

    // How often the port file is looked at when its folder cannot be watched.
    static constexpr int kSlowPollMs = 2000;
    // A port file still being written is looked at again after this long.
    static constexpr int kWriterCheckMs = 250;
    static constexpr int kMoveRetryDelayMs = 5000;

    FaxMonitor(std::string portFile, qp::JobStore store, qp::Clock& clock, Deliver deliver,
               Refill refill = {});
    // Stops a started watcher and waits for its thread.
    ~FaxMonitor();
    FaxMonitor(const FaxMonitor&) = delete;
    FaxMonitor& operator=(const FaxMonitor&) = delete;

    // Starts the watching thread; false when it could not be started.
    bool Start();
    // Ends the thread at its next wake and waits for it. Jobs not handed on yet stay on disk.
    void Stop();
    // The dialog of the job handed on last has closed: the next one may be taken.
    void JobClosed();

    // One look on the calling thread (no thread started): hands on a left-over job, or the port
    // file's job when it is complete. True when a job was handed on.
    bool TakeWaitingJob();

    // True when the file is a regular file owned by the effective user and, as far as the system
    // can tell, nobody holds it open for writing.
    static bool IsOwnedByThisUser(std::string path);

private:
    enum class PortState { Absent, NotOurs, BeingWritten, Complete };
    static PortState StateOf(const std::string& path);
    PortState LookAtPortFile() const;
    bool TakePortFile();
    void Run();
    // Waits until the port file's folder changes, `timeoutMs` pass, or the watcher is woken.
    void WaitForChange(int timeoutMs);
    void Wake();

    const std::string m_portFile;
    const qp::JobStore m_store;
    qp::Clock& m_clock;
    const Deliver m_deliver;
    const Refill m_refill;

    std::deque<qp::Job> m_leftovers;
    bool m_leftoversLoaded = false;
    // The port file that could not be moved, by identity, so that it is not tried again (with a
    // message each time) until it changes.
    std::optional<std::uint64_t> m_failedIdentity;

    std::mutex m_mutex;
    std::condition_variable m_closed;
    bool m_awaitingClose = false; // guarded by m_mutex
    bool m_stop = false;          // guarded by m_mutex
    int m_wakeFd = -1;
    int m_watchFd = -1;
    int m_watch = -1;
    std::thread m_thread;
};
