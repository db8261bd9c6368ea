#pragma once

#include "app/StartupServices.h"
#include "base/Job.h"
#include "fax/gui/FaxDialog.h"
#include "fax/log/FaxLog.h"
#include "fax/log/gui/QuillPostWindow.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

class ContactsWindow;
class ManualWindow;
class QuillPostWindow;
class FaxMonitor;
class TrayDialog;

namespace qp {

class AccountStore;
class DesktopNotifications;
class NetworkState;
class ProcessRunner;
class SettingsWatch;
class SendDialogs;
class UpdateChecks;

namespace faxlog {
struct Entry;
struct SendAttempt;
} // namespace faxlog
namespace outbox {
class Outbox;
struct Event;
struct Item;
} // namespace outbox
namespace contacts {
class ContactBook;
}

// The running program's pieces, created, wired and owned here: the tray icon, the watcher, the
// send dialogs (one per job), the Quill Post window and the update checks. The orderly end stops
// and joins them in turn.
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
    QuillPostWindow* Window() const { return m_window.get(); }
    // The tray's "Send Cover Only Fax...": a job of its own with no body.
    void OpenCoverOnly();
    // The window's Send Again: the logged fax in a job of its own.
    void Resend(const faxlog::Entry& entry);
    // The Quill Post window on its sent faxes ("Fax Log...", "-log"), or as it was left.
    void ShowFaxLog();
    void ShowWindow();
    // The Quill Post window on the faxes waiting in the outbox.
    void ShowOutbox();
    void ShowContacts();
    // The faxes kept to be sent without a dialog; none before the watcher's start and in "-log".
    outbox::Outbox* Outbox() const { return m_outbox.get(); }
    bool RunContacts() override;
    bool TakeRequest(const ChannelRequest& request) override;
    // Where a "queue <job id>" request goes: true when the job was taken.
    void SetQueueRequestRunner(std::function<bool(const std::string& jobId)> runner) {
        m_queueRequest = std::move(runner);
    }

    // What runs when the network comes back, and when the account in the settings file changes
    // (by this program or any other); both on the GUI thread, from the watcher's start on.
    void SetNetworkBackRunner(std::function<void()> runner) { m_networkBack = std::move(runner); }
    void SetAccountChangedRunner(std::function<void()> runner) {
        m_accountChanged = std::move(runner);
    }
    // Tells the user `text`: through the desktop's notification service where it has one, else
    // the tray's balloon where a tray shows the icon, else on standard error; each notice goes
    // one way only. `clicked` runs on a click where the notification service offers that.
    void Notify(const std::string& text, std::function<void()> clicked = {});

private:
    // What the windows of tray mode, "-log" and "-contacts" share, made when the first opens.
    void StartGui();
    contacts::ContactBook& Contacts();
    bool AnyWindowOpen() const;
    SendDialogServices MakeSendServices();
    // The fax log's entry for a send, as dialogs and the outbox write it.
    std::function<faxlog::Recorded(const faxlog::SendAttempt&, const Job&)> MakeRecord();
    // The outbox, wired to the account, the log, the window and the notices; started with the
    // watcher, so only the tray client owns one.
    void StartOutbox();
    void OnOutboxEvent(const outbox::Event& event);
    // The fax's recipient as a notice names it: the contact's name, else the number.
    std::string RecipientOf(const outbox::Item& fax);
    // A send dialog's fax handed to the outbox (on the dialog's worker thread).
    Outcome KeepInOutbox(Job& job, const faxlog::SendAttempt& lastTry);
    // The tray's Quit, which asks first as the window's does while faxes wait.
    void QuitAsking();
    QuillPostWindow& EnsureWindow();
    QuillPostWindow::Services MakeWindowServices();
    // quillpost(1): the desktop's viewer for man: links, or the page's text in a window.
    void ShowManual();
    void ShowManualText();
    void OpenReport(const std::string& path);
    void StartDesktopWatches();
    void OnSendDialogClosed(bool printed);

    AccountStore& m_account;
    ProcessRunner& m_runner;
    bool m_started = false;
    faxlog::FaxLog m_log;
    std::unique_ptr<TrayDialog> m_tray;
    std::unique_ptr<SendDialogs> m_dialogs;
    std::unique_ptr<QuillPostWindow> m_window;
    std::unique_ptr<ManualWindow> m_manual;
    // The address book, read once and shared by the contacts window and the send dialogs.
    std::unique_ptr<contacts::ContactBook> m_contacts;
    std::unique_ptr<ContactsWindow> m_contactsWindow;
    std::unique_ptr<FaxMonitor> m_monitor;
    std::unique_ptr<outbox::Outbox> m_outbox;
    // What the outbox's events, posted from its thread, hold on to: gone with this object.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
    std::unique_ptr<UpdateChecks> m_updates;
    std::unique_ptr<DesktopNotifications> m_notifications;
    std::function<void()> m_networkBack;
    std::function<void()> m_accountChanged;
    std::unique_ptr<NetworkState> m_network;
    std::unique_ptr<SettingsWatch> m_accountWatch;
    std::atomic<bool> m_ending{false};
    // "-log" and "-contacts": the program ends once its window and the faxes sent from it have
    // closed.
    bool m_logMode = false;
    std::function<bool(const std::string&)> m_queueRequest;
    bool m_preferencesOpen = false;
};

} // namespace qp
