#pragma once

#include <string>

class CQuillpostApp;

namespace qp {

// The pieces of other subsystems that start-up calls, in one place. The program wires the real
// pieces; tests record the order of the calls.
class StartupServices {
public:
    virtual ~StartupServices() = default;

    // "-update": the self-update run on the main thread, with the host from the command line.
    virtual void RunUpdate(CQuillpostApp& app) = 0;
    // "-configure": the message box configuration dialog.
    virtual void RunInitialConfig(CQuillpostApp& app) = 0;
    // "-log": shows the fax log window, from which a logged fax can be sent again. True when the
    // event loop must run until it and the faxes sent from it have closed.
    virtual bool RunFaxLog(CQuillpostApp& app) = 0;
    // "-contacts": shows the address book; true when the event loop must run until it closes.
    virtual bool RunContacts(CQuillpostApp& app) {
        (void)app;
        return false;
    }
    // The hidden tray window and its icon.
    virtual void CreateTrayWindow(CQuillpostApp& app) = 0;
    // The port file of the "Quill Post" printer, or empty when there is none.
    virtual std::string FindFaxPrinterPort() = 0;
    // Stores a preview program when none is stored.
    virtual void SetDefaultViewer(CQuillpostApp& app) = 0;
    // The preferences dialog, shown on first use before any job can be captured.
    virtual void RunPreferences(CQuillpostApp& app) = 0;
    // The print-job watcher; false when it could not be started.
    virtual bool StartWatcher(CQuillpostApp& app) = 0;
    // The orderly end once the event loop has returned: work in flight stopped and logged, jobs
    // kept, threads joined, windows closed.
    virtual void Shutdown(CQuillpostApp& app) { (void)app; }
};

} // namespace qp
