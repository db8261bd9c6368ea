#include "platform/gui/GuiThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <utility>
#include <vector>

namespace qp {
namespace {

// Touched only on the GUI thread, apart from the count that others may read.
int g_workScopes = 0;
std::vector<std::function<void()>> g_deferred;
std::atomic<std::size_t> g_deferredCount{0};
std::atomic<bool> g_abandoned{false};
constexpr auto kAbandonCheck = std::chrono::milliseconds(50);

void PostToGuiThread(std::function<void()> work) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
}

} // namespace

bool IsGuiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

void RunOnGuiThread(const std::function<void()>& work) {
    if (IsGuiThread()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), work, Qt::BlockingQueuedConnection);
}

GuiWorkScope::GuiWorkScope() {
    ++g_workScopes;
}

GuiWorkScope::~GuiWorkScope() {
    if (--g_workScopes > 0 || g_deferred.empty())
        return;
    // Posted rather than run here, so the window whose work has just ended reports its result
    // before anything opens above it.
    std::vector<std::function<void()>> ready = std::exchange(g_deferred, {});
    g_deferredCount -= ready.size();
    for (std::function<void()>& work : ready)
        PostToGuiThread([work = std::move(work)] { RunOnGuiThreadWhenIdle(work); });
}

bool RunOnGuiThreadWhenIdle(std::function<void()> work) {
    if (g_abandoned)
        return false;
    if (QCoreApplication::instance() == nullptr) {
        work();
        return true;
    }
    if (IsGuiThread()) {
        if (g_workScopes == 0) {
            work();
            return true;
        }
        g_deferred.push_back(std::move(work));
        ++g_deferredCount;
        return true;
    }
    // The promise goes with the request: a request dropped unrun (the application ending) breaks
    // it, which still wakes this thread.
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    PostToGuiThread([done, work = std::move(work)] {
        RunOnGuiThreadWhenIdle([done, work] {
            struct Finish {
                std::promise<void>& promise;
                ~Finish() { promise.set_value(); }
            } finish{*done};
            work();
        });
    });
    // Once the GUI thread has stopped taking requests, nothing will run this one.
    while (finished.wait_for(kAbandonCheck) != std::future_status::ready) {
        if (g_abandoned)
            return false;
    }
    return true;
}

void AbandonGuiRequests() {
    g_abandoned = true;
    g_deferred.clear();
    g_deferredCount = 0;
}

void AcceptGuiRequests() {
    g_abandoned = false;
}

bool GuiRequestsAbandoned() {
    return g_abandoned;
}

void PostToGuiThreadWhenIdle(std::function<void()> work) {
    if (QCoreApplication::instance() == nullptr) {
        work();
        return;
    }
    PostToGuiThread([work = std::move(work)] { RunOnGuiThreadWhenIdle(work); });
}

std::size_t DeferredGuiRequests() {
    return g_deferredCount;
}

} // namespace qp
