#include "base/BackgroundWork.h"

#include <QMetaObject>
#include <QPointer>
#include <exception>
#include <system_error>

namespace qp {

BackgroundWork::BackgroundWork(QObject* context) : m_context(context) {}

BackgroundWork::~BackgroundWork() {
    StopAndWait();
}

bool BackgroundWork::Start(Work work, Done done) {
    if (m_busy)
        return false;
    if (m_thread.joinable())
        m_thread.join();
    m_stop = std::stop_source();
    m_done = std::move(done);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_outcome.reset();
    }
    const unsigned run = ++m_run;
    try {
        m_thread = std::thread([this, run, work = std::move(work), token = m_stop.get_token()] {
            Outcome outcome;
            try {
                outcome = work(token);
            } catch (const std::exception& error) {
                outcome = Outcome::Failure(error.what());
            }
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_outcome = std::move(outcome);
            }
            // Dropped unrun when the context has gone; the destructor has collected it then.
            QMetaObject::invokeMethod(
                m_context, [this, run] { Deliver(run); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        m_done = nullptr;
        return false;
    }
    m_busy = true;
    return true;
}

void BackgroundWork::RequestStop() {
    if (m_busy)
        m_stop.request_stop();
}

bool BackgroundWork::StopRequested() const {
    return m_stop.stop_requested();
}

std::optional<Outcome> BackgroundWork::Collect() {
    if (m_thread.joinable())
        m_thread.join();
    if (!m_busy)
        return std::nullopt;
    m_busy = false;
    m_done = nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::exchange(m_outcome, std::nullopt);
}

std::optional<Outcome> BackgroundWork::StopAndWait() {
    RequestStop();
    return Collect();
}

std::optional<Outcome> BackgroundWork::Wait() {
    return Collect();
}

void BackgroundWork::Deliver(unsigned run) {
    // A run already collected by a wait, or one before the current, has nothing to hand on.
    if (run != m_run || !m_busy)
        return;
    Done done = std::move(m_done);
    std::optional<Outcome> outcome = Collect();
    if (done && outcome)
        done(std::move(*outcome));
}

} // namespace qp
