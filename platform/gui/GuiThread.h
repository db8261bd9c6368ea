#pragma once

#include <cstddef>
#include <functional>

namespace qp {

// Runs work on the thread of the Qt application object and returns when it has finished. Widgets
// live only on that thread, so a worker that needs a dialog asks through here and blocks meanwhile.
// Without an application object, or when already on that thread, the work runs directly.
void RunOnGuiThread(const std::function<void()>& work);

bool IsGuiThread();

// Marks, for its lifetime, a stretch in which a window's work runs in the background and has not
// yet shown its result. Windows and message boxes that others ask for meanwhile (through the
// functions below) wait until the last such stretch has ended, so they never open on top of the
// work's own answer or hold it up. GUI thread only.
class GuiWorkScope {
public:
    GuiWorkScope();
    ~GuiWorkScope();
    GuiWorkScope(const GuiWorkScope&) = delete;
    GuiWorkScope& operator=(const GuiWorkScope&) = delete;
};

// Runs work (typically a modal dialog) on the GUI thread at a moment when no GuiWorkScope is open.
// From another thread it returns when the work has finished. On the GUI thread it runs the work
// at once when no scope is open; otherwise it queues it for when the last scope has closed and
// returns without waiting. Never call it from the work of a scope: that work would wait for its
// own end. False when the work was not run because the program is ending.
bool RunOnGuiThreadWhenIdle(std::function<void()> work);

// The program is ending and the GUI thread takes no more requests: waiting callers return (with
// false) and deferred requests are dropped. For the orderly end only.
void AbandonGuiRequests();
bool GuiRequestsAbandoned();
// Requests are taken again: a new set of windows has started on the GUI thread.
void AcceptGuiRequests();

// The same without waiting, from any thread: the work runs on the GUI thread once no scope is open.
void PostToGuiThreadWhenIdle(std::function<void()> work);

// How many requests of RunOnGuiThreadWhenIdle wait for a scope to close.
std::size_t DeferredGuiRequests();

} // namespace qp
