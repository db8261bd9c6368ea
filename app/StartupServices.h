#pragma once

#include <string>

namespace qp {

struct ChannelRequest;

// The pieces of other subsystems that start-up calls, in one place. The program wires the real
// pieces, made with the account and the process runner they use; tests record the order of the
// calls.
class StartupServices {
public:
    virtual ~StartupServices() = default;

    // "-update": the self-update run on the main thread, from the host the command line names.
    virtual void RunUpdate(const std::string& host) = 0;
    // "-configure": the message box configuration dialog.
    virtual void RunInitialConfig() = 0;
    // "-log": shows the fax log window, from which a logged fax can be sent again. True when the
    // event loop must run until it and the faxes sent from it have closed.
    virtual bool RunFaxLog() = 0;
    // "-contacts": shows the address book; true when the event loop must run until it closes.
    virtual bool RunContacts() { return false; }
    // The tray icon and its menu.
    virtual void CreateTrayWindow() = 0;
    // The port file of the "Quill Post" printer, or empty when there is none.
    virtual std::string FindFaxPrinterPort() = 0;
    // Stores a preview program when none is stored.
    virtual void SetDefaultViewer() = 0;
    // The preferences dialog, shown on first use before any job can be captured.
    virtual void RunPreferences() = 0;
    // The print-job watcher on this user's port file; false when it could not be started.
    virtual bool StartWatcher(const std::string& portFile) = 0;
    // A request that another start of the program handed to this running client; true when it was
    // taken. Answered at once: what it opens opens later, on the GUI thread.
    virtual bool TakeRequest(const ChannelRequest& /*request*/) { return false; }
    // The orderly end once the event loop has returned: work in flight stopped and logged, jobs
    // kept, threads joined, windows closed.
    virtual void Shutdown() {}
};

} // namespace qp
