#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace qp {

// Turns SIGTERM, SIGINT and SIGHUP (logout, shutdown, Ctrl+C, a closed terminal) into a call of
// `onSignal` on the thread that made this object, from its event loop (when there is an
// application object), where an orderly end can run. One at a time per process; the signals'
// earlier handling comes back when it goes.
class QuitSignals final {
public:
    explicit QuitSignals(std::function<void()> onSignal);
    ~QuitSignals();
    // A quit signal has come since this object was made, whether or not an event loop has run
    // since: work that runs between event loops (start-up) asks before each step.
    bool Requested() const;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

private:
    std::function<void()> m_onSignal;
    int m_readFd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace qp
