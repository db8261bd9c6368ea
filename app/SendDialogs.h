#pragma once

#include "base/Job.h"
#include "fax/gui/FaxDialog.h"

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace qp {

// The open send dialogs, one per job, owned here. They open side by side and close on their own;
// at the end of the program they are ended in order.
class SendDialogs {
public:
    using ServicesFactory = std::function<SendDialogServices()>;

    explicit SendDialogs(ServicesFactory services);
    ~SendDialogs();
    SendDialogs(const SendDialogs&) = delete;
    SendDialogs& operator=(const SendDialogs&) = delete;

    // Shows a send dialog for the job. `closed` runs on the GUI thread once it has closed.
    FaxDialog& Open(Job job, std::function<void()> closed = {});
    std::size_t OpenCount() const;
    const std::vector<std::unique_ptr<FaxDialog>>& Dialogs() const { return m_dialogs; }

    // Blocks the calling thread (never the GUI thread) until no send dialog is open; false when
    // the program is ending instead.
    bool WaitUntilNoneOpen();

    // The orderly end: each open dialog's work is stopped and waited for, its fax logged and its
    // job kept to be offered again (a fax already uploaded is logged as sent). GUI thread.
    void EndAll();

private:
    void Closed(FaxDialog* dialog, const std::function<void()>& closed);

    ServicesFactory m_services;
    std::vector<std::unique_ptr<FaxDialog>> m_dialogs; // GUI thread only
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_open = 0; // guarded by m_mutex
    bool m_ending = false;  // guarded by m_mutex
};

} // namespace qp
