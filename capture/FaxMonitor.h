#pragma once

#include "app/WorkPaths.h"
#include "platform/Clock.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

// The print-job watcher: polls the port file every 4 seconds and, once a job of this user has
// stopped growing, moves it to the body file and runs the send step; afterwards it removes the
// fax's work files and goes back to polling.
class FaxMonitor {
public:
    // Runs the send dialog for the body file; returns when the dialog has closed.
    using SendStep = std::function<void()>;

    static constexpr int kPollIntervalMs = 4000;
    static constexpr int kCleanUpDelayMs = 2000;
    static constexpr int kMoveRetryDelayMs = 5000;

    FaxMonitor(qp::WorkPaths paths, qp::Clock& clock, SendStep sendStep);
    // Stops a started watcher and waits for its thread.
    ~FaxMonitor();
    FaxMonitor(const FaxMonitor&) = delete;
    FaxMonitor& operator=(const FaxMonitor&) = delete;

    // Starts the watching thread, which polls until Stop; false when it could not be started.
    bool Start();
    // Asks the thread to end after its current sleep and waits for it.
    void Stop();
    // Runs `count` polls on the calling thread; only while no thread was started.
    void RunPolls(int count);

    // True when the file is a regular file owned by the effective user and, as far as the system
    // can tell, nobody holds it open for writing.
    static bool IsOwnedByThisUser(std::string path);

    // Moves the port file to the body file (one retry after 5 s) and runs the send step.
    void ProcessPrintJob();

private:
    void Run();
    void PollOnce();

    const qp::WorkPaths m_paths;
    qp::Clock& m_clock;
    const SendStep m_sendStep;

    // Sizes of the port file at the last poll that passed the existence and owner checks, and at
    // the poll before it.
    std::uint64_t m_lastSize = 0;
    std::uint64_t m_sizeBefore = 0;

    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
