#pragma once

#include "app/StartupServices.h"
#include "base/Job.h"
#include "fax/gui/FaxDialog.h"
#include "fax/log/FaxLog.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

class ContactsWindow;
class FaxLogWindow;
class FaxMonitor;
class TrayDialog;

namespace qp {

class AccountStore;
class ProcessRunner;
class SendDialogs;
class UpdateChecks;

namespace faxlog {
struct Entry;
}
namespace contacts {
class ContactBook;
}

// The running program's pieces, created, wired and owned here: the tray icon, the watcher, the
// send dialogs (one per job), the fax log window and the update checks. The orderly end stops and
// joins them in turn.
class GuiStartupServices final : public StartupServices {
public:
    // The account the dialogs show and sends use, and what starts Ghostscript and the viewer.
    GuiStartupServices(AccountStore& account, ProcessRunner& runner);
    ~GuiStartupServices() override;
    void RunUpdate(const std::string& host) override;
    void RunInitialConfig() override;
    bool RunFaxLog() override;
    void CreateTrayWindow() override;
    std::string FindFaxPrinterPort() override;
    void SetDefaultViewer() override;
    void RunPreferences() override;
    bool StartWatcher(const std::string& portFile) override;
    void Shutdown() override;

    SendDialogs& Dialogs() { return *m_dialogs; }
    FaxLogWindow* LogWindow() const { return m_logWindow.get(); }
    // The tray's "Send Cover Only Fax...": a job of its own with no body.
    void OpenCoverOnly();
    // The log window's Resend: the logged fax in a job of its own.
    void Resend(const faxlog::Entry& entry);
    void ShowFaxLog();
    void ShowContacts();
    bool RunContacts() override;
    bool TakeRequest(const ChannelRequest& request) override;
    // Where a "queue <job id>" request goes: true when the job was taken.
    void SetQueueRequestRunner(std::function<bool(const std::string& jobId)> runner) {
        m_queueRequest = std::move(runner);
    }

private:
    // What the windows of tray mode, "-log" and "-contacts" share, made when the first opens.
    void StartGui();
    contacts::ContactBook& Contacts();
    bool AnyWindowOpen() const;
    SendDialogServices MakeSendServices();
    void Notify(const std::string& text);
    void OnSendDialogClosed(bool printed);

    AccountStore& m_account;
    ProcessRunner& m_runner;
    bool m_started = false;
    faxlog::FaxLog m_log;
    std::unique_ptr<TrayDialog> m_tray;
    std::unique_ptr<SendDialogs> m_dialogs;
    std::unique_ptr<FaxLogWindow> m_logWindow;
    // The address book, read once and shared by the contacts window and the send dialogs.
    std::unique_ptr<contacts::ContactBook> m_contacts;
    std::unique_ptr<ContactsWindow> m_contactsWindow;
    std::unique_ptr<FaxMonitor> m_monitor;
    std::unique_ptr<UpdateChecks> m_updates;
    std::atomic<bool> m_ending{false};
    // "-log" and "-contacts": the program ends once its window and the faxes sent from it have
    // closed.
    bool m_logMode = false;
    std::function<bool(const std::string&)> m_queueRequest;
    bool m_preferencesOpen = false;
};

} // namespace qp
