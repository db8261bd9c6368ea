#pragma once

#include "base/Outcome.h"

#include <QObject>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

namespace qp {

// Runs one piece of work at a time on a thread of its own and hands its outcome back on the
// thread of `context` (the GUI thread for a window), through the event queue: the caller never
// waits for it. A stop request is passed to the work; the work decides how soon it ends.
class BackgroundWork {
public:
    using Work = std::function<Outcome(std::stop_token)>;
    using Done = std::function<void(Outcome)>;

    explicit BackgroundWork(QObject* context);
    // Stops the work and waits for its end: what it uses must not go before it.
    ~BackgroundWork();
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    // False (and nothing runs) while earlier work is still under way or its thread could not start.
    bool Start(Work work, Done done);
    bool Busy() const { return m_busy; }
    void RequestStop();
    bool StopRequested() const;
    // For an orderly end only: stops the work, waits for it and returns its outcome instead of
    // handing it on; nothing when no work was under way.
    std::optional<Outcome> StopAndWait();
    // Waits for the work without stopping it and returns its outcome instead of handing it on.
    std::optional<Outcome> Wait();

private:
    void Deliver(unsigned run);
    std::optional<Outcome> Collect();

    QObject* m_context;
    bool m_busy = false;
    unsigned m_run = 0;
    std::stop_source m_stop;
    std::thread m_thread;
    std::mutex m_mutex;
    std::optional<Outcome> m_outcome; // guarded by m_mutex
    Done m_done;
};

} // namespace qp
