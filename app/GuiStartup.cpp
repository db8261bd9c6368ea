#include "app/GuiStartup.h"

#include "app/SendDialogs.h"
#include "base/AccountStore.h"
#include "base/ParkedJobs.h"
#include "base/Settings.h"
#include "base/WorkPaths.h"
#include "capture/Diagnostics.h"
#include "capture/FaxMonitor.h"
#include "capture/FaxPrinterLookup.h"
#include "contacts/Completion.h"
#include "contacts/ContactBook.h"
#include "contacts/gui/ContactsWindow.h"
#include "cover/ReportFile.h"
#include "cover/gui/CoverSheetDialog.h"
#include "fax/Conversion.h"
#include "fax/Upload.h"
#include "fax/Viewer.h"
#include "fax/log/Resend.h"
#include "fax/log/SendNotices.h"
#include "fax/log/gui/ManualWindow.h"
#include "fax/log/gui/QuillPostWindow.h"
#include "fax/outbox/Outbox.h"
#include "platform/ClientChannel.h"
#include "platform/Clock.h"
#include "platform/DesktopNotifications.h"
#include "platform/MessageBox.h"
#include "platform/NetworkState.h"
#include "platform/SettingsWatch.h"
#include "platform/gui/GuiThread.h"
#include "res/Features.h"
#include "res/Resources.h"
#include "shell/gui/AboutDlg.h"
#include "shell/gui/InitialConfigDialog.h"
#include "shell/gui/PreferencesDialog.h"
#include "shell/gui/TrayDialog.h"
#include "update/UpdateChecks.h"
#include "update/gui/Update.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QProcess>
#include <QTimer>
#include <iostream>
#include <sstream>
#include <utility>

namespace qp {
namespace {

constexpr const char* kCannotMakeJob = "Unable to prepare a fax: ";
constexpr const char* kNoReportViewer = "Could not open the transmission report: ";
constexpr const char* kManualTitle = "quillpost(1)";
constexpr const char* kNoManual = "The manual page quillpost(1) is not installed.";
// An answer about the manual that never comes is given up after this long; the page's text, or
// the word that it is missing, is shown instead.
constexpr int kManualWaitMs = 10000;

// Ends the event loop outright: quit() would first ask every window to close, and an open send
// dialog takes that as Cancel, which discards its fax; the orderly end keeps it instead.
void QuitEventLoop() {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

// The log as dialogs and left-over jobs write it: a sent fax keeps its transmission report, which
// names the sender as the account and the cover sheet have it when the fax is logged.
faxlog::FaxLog ReportingLog(const std::string& folder, AccountStore& account) {
    faxlog::FaxLog log(folder);
    log.KeepReports([&account](const TransmissionFacts& facts) {
        return TransmissionReportPdf(facts, account.Get().login, account.Settings());
    });
    return log;
}

// The desktop's token lets the window that `open` shows take the focus: Qt's Wayland connection
// takes it from the environment when a window asks to be activated. (X11 reads its startup id only
// once, when the program starts.)
void WithActivationToken(const std::string& token, const std::function<void()>& open) {
    if (!token.empty())
        qputenv("XDG_ACTIVATION_TOKEN", QByteArray::fromStdString(token));
    open();
    qunsetenv("XDG_ACTIVATION_TOKEN");
}

} // namespace

GuiStartupServices::GuiStartupServices(AccountStore& account, ProcessRunner& runner)
    : m_account(account), m_runner(runner) {}

GuiStartupServices::~GuiStartupServices() {
    if (m_started)
        Shutdown();
}

void GuiStartupServices::StartGui() {
    if (m_started)
        return;
    m_started = true;
    AcceptGuiRequests();
    m_dialogs = std::make_unique<SendDialogs>([this] { return MakeSendServices(); });
}

SendDialogServices GuiStartupServices::MakeSendServices() {
    AccountStore& account = m_account;
    ProcessRunner& runner = m_runner;
    SendDialogServices services;
    services.profile = &account.Settings();
    services.convert = [&runner](const Job& job, const ConversionParams& params,
                                 std::stop_token stop) {
        return CreateFaxImage(kGhostscriptPath, job.CoverInput(), job.BodyFile(), job.FaxImage(),
                              params, runner, std::move(stop));
    };
    services.upload = [&account](const std::string& number, const std::string& email,
                                 const std::string& image, const UploadProgress& progress,
                                 std::stop_token stop) {
        return UploadFax(account, number, email, image, progress, DefaultFaxConnector(),
                         std::move(stop));
    };
    services.preview = [&account, &runner](const std::string& image) {
        LaunchViewer(account.Settings(), image, runner);
    };
    services.configure = [&account](QWidget* parent) {
        RunConfigurationFromSendDialog(account, parent);
    };
    services.coverSheet = [&account](QWidget* parent, const std::string& coverFile) -> QDialog* {
        return new CCoverSheetDialog(account.Settings(), coverFile, parent);
    };
    services.record = MakeRecord();
    // Without an outbox ("-log") a fax lives as long as its dialog.
    if (m_outbox)
        services.keep = [this](Job& job, const faxlog::SendAttempt& lastTry) {
            return KeepInOutbox(job, lastTry);
        };
    services.notify = [this](const std::string& text) { Notify(text); };
    services.suggest = [this](const std::string& typed, const std::vector<std::string>& history) {
        return contacts::CompleteRecipient(typed, Contacts().Contacts(), history,
                                           m_account.Get().dialRules);
    };
    return services;
}

std::function<faxlog::Recorded(const faxlog::SendAttempt&, const Job&)>
GuiStartupServices::MakeRecord() {
    return [folder = m_log.Folder(), &account = m_account](const faxlog::SendAttempt& attempt,
                                                           const Job& job) {
        // One log object per entry: dialogs of several jobs and the outbox may write at once.
        faxlog::FaxLog log = ReportingLog(folder, account);
        return faxlog::RecordJobAttempt(log, attempt, job);
    };
}

void GuiStartupServices::Notify(const std::string& text, std::function<void()> clicked) {
    // A click runs as the tray's commands do: from the event loop, once no dialog's work waits.
    if (clicked)
        clicked = [clicked = std::move(clicked)] { RunOnGuiThreadWhenIdle(clicked); };
    // The tray balloon and the terminal only where the service did not take it, so nothing is
    // told twice; a tray that has come since the start shows the balloon.
    auto unseen = [this, text, clicked] {
        if (m_tray && m_tray->ShowNotification(faxlog::kNoticeTitle, text, clicked))
            return;
        std::cerr << faxlog::kNoticeTitle << ": " << text << std::endl;
    };
    if (m_ending) {
        unseen();
        return;
    }
    if (!m_notifications)
        m_notifications = std::make_unique<DesktopNotifications>(
            DesktopNotifications::Sender{res::kTooltip130, "quillpost", "quillpost"});
    m_notifications->Notify(faxlog::kNoticeTitle, text, std::move(clicked), std::move(unseen));
}

contacts::ContactBook& GuiStartupServices::Contacts() {
    if (!m_contacts) {
        m_contacts = std::make_unique<contacts::ContactBook>();
        m_contacts->Load();
    }
    return *m_contacts;
}

bool GuiStartupServices::AnyWindowOpen() const {
    return (m_window && m_window->isVisible()) ||
           (m_contactsWindow && m_contactsWindow->isVisible()) || m_dialogs->OpenCount() > 0;
}

void GuiStartupServices::OnSendDialogClosed(bool printed) {
    if (printed && m_monitor)
        m_monitor->JobClosed();
    if (m_window && m_window->isVisible())
        m_window->Refresh();
    if (m_logMode && !AnyWindowOpen())
        QuitEventLoop();
}

void GuiStartupServices::ShowContacts() {
    if (!m_contactsWindow) {
        m_contactsWindow = std::make_unique<ContactsWindow>(Contacts());
        QObject::connect(m_contactsWindow.get(), &QDialog::finished, m_contactsWindow.get(),
                         [this] { OnSendDialogClosed(false); });
    }
    m_contactsWindow->Reload();
    m_contactsWindow->show();
    m_contactsWindow->raise();
    m_contactsWindow->activateWindow();
}

bool GuiStartupServices::RunContacts() {
    StartGui();
    m_logMode = true;
    ShowContacts();
    return true;
}

void GuiStartupServices::OpenCoverOnly() {
    std::string error;
    std::optional<Job> job = JobStore::ForUser().Create(&error);
    if (!job) {
        ShowMessage(kCannotMakeJob + error);
        return;
    }
    m_dialogs->Open(std::move(*job), [this] { OnSendDialogClosed(false); });
}

void GuiStartupServices::Resend(const faxlog::Entry& entry) {
    std::string error;
    std::optional<Job> job = JobStore::ForUser().Create(&error);
    if (!job) {
        ShowMessage(kCannotMakeJob + error);
        return;
    }
    FaxDialog& dialog = m_dialogs->Open(std::move(*job), [this] { OnSendDialogClosed(false); });
    dialog.PrepareResend(faxlog::ResendRecipient(entry.record),
                         SendChoices{entry.record.resolution, entry.record.legal}, entry.hasImage,
                         [entry](const Job& into, std::stop_token stop) {
                             return faxlog::RestoreIntoJob(entry, into, std::move(stop));
                         });
}

QuillPostWindow::Services GuiStartupServices::MakeWindowServices() {
    QuillPostWindow::Services services;
    services.view = [this](const std::string& image) {
        LaunchViewer(m_account.Settings(), image, m_runner);
    };
    services.openReport = [this](const std::string& path) { OpenReport(path); };
    services.sendAgain = [this](const faxlog::Entry& entry) { Resend(entry); };
    // Asked at each call: a window shown before the watcher's start has no outbox yet.
    services.outbox = [this] { return m_outbox ? m_outbox->Items() : std::vector<outbox::Item>{}; };
    services.retryNow = [this](const std::string& id) {
        if (m_outbox)
            m_outbox->RetryNow(id);
    };
    services.discard = [this](const std::string& id) {
        if (m_outbox)
            m_outbox->Discard(id);
    };
    services.viewQueued = [this](const std::string& id) {
        const std::string image = JobStore::ForUser().Root() + "/" + id + "/" + kJobImageFile;
        LaunchViewer(m_account.Settings(), image, m_runner);
    };
    services.coverOnly = [this] { OpenCoverOnly(); };
    services.configuration = [this] { RunPreferencesDialog(m_account); };
    services.about = [] {
        CAboutDlg about;
        about.exec();
    };
    services.contacts = [this] { ShowContacts(); };
    if (m_updates)
        services.checkForUpdates = [this] { m_updates->CheckNow(); };
    services.quit = [] { QuitEventLoop(); };
    services.help = [this] { ShowManual(); };
    services.account = [this] {
        const AccountSettings account = m_account.Get();
        return std::pair<std::string, std::string>{account.login, account.host};
    };
    services.closed = [this] { OnSendDialogClosed(false); };
    return services;
}

QuillPostWindow& GuiStartupServices::EnsureWindow() {
    if (!m_window)
        m_window = std::make_unique<QuillPostWindow>(m_log, MakeWindowServices());
    return *m_window;
}

void GuiStartupServices::ShowWindow() {
    QuillPostWindow& window = EnsureWindow();
    window.Refresh();
    window.show();
    window.raise();
    window.activateWindow();
}

void GuiStartupServices::ShowFaxLog() {
    EnsureWindow().ShowList(window::List::Sent);
    ShowWindow();
}

void GuiStartupServices::OpenReport(const std::string& path) {
    // The desktop's opener picks the user's PDF viewer.
    if (!m_runner.StartDetached({kDefaultViewerPath, path}))
        ShowMessage(kNoReportViewer + std::string(kDefaultViewerPath));
}

void GuiStartupServices::ShowManual() {
    // Asked each time: a viewer for man: links may have been installed meanwhile.
    auto* query = new QProcess(m_window.get());
    auto answered = [this, query](bool handled) {
        query->deleteLater();
        if (!handled || !m_runner.StartDetached({kDefaultViewerPath, "man:quillpost(1)"}))
            ShowManualText();
    };
    QObject::connect(query, &QProcess::finished, query, [query, answered] {
        answered(!query->readAllStandardOutput().trimmed().isEmpty());
    });
    QObject::connect(query, &QProcess::errorOccurred, query, [answered](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            answered(false);
    });
    QTimer::singleShot(kManualWaitMs, query, [query] { query->kill(); });
    query->start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                              QStringLiteral("x-scheme-handler/man")});
}

void GuiStartupServices::ShowManualText() {
    if (!m_manual)
        m_manual = std::make_unique<ManualWindow>();
    auto* man = new QProcess(m_manual.get());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
    environment.remove(QStringLiteral("MAN_KEEP_FORMATTING"));
    man->setProcessEnvironment(environment);
    auto shown = [this, man](const std::string& text) {
        man->deleteLater();
        m_manual->SetPage(kManualTitle, text.empty() ? kNoManual : text);
        m_manual->show();
        m_manual->raise();
        m_manual->activateWindow();
    };
    QObject::connect(man, &QProcess::finished, man,
                     [man, shown] { shown(man->readAllStandardOutput().toStdString()); });
    QObject::connect(man, &QProcess::errorOccurred, man, [shown](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            shown({});
    });
    QTimer::singleShot(kManualWaitMs, man, [man] { man->kill(); });
    man->start(QStringLiteral("man"),
               {QStringLiteral("-P"), QStringLiteral("cat"), QStringLiteral("quillpost")});
}

bool GuiStartupServices::TakeRequest(const ChannelRequest& request) {
    if (m_ending || !m_dialogs)
        return false;
    if (request.command == "queue")
        return m_queueRequest && !request.job.empty() && m_queueRequest(request.job);
    std::function<void()> open;
    if (request.command == "show")
        open = [this] { ShowWindow(); };
    else if (request.command == "log")
        open = [this] { ShowFaxLog(); };
    else if (request.command == "contacts")
        open = [this] { ShowContacts(); };
    else if (request.command == "cover")
        open = [this] { OpenCoverOnly(); };
    else if (request.command == "configure")
        open = [this] {
            // A second request while it is open finds the one already shown.
            if (std::exchange(m_preferencesOpen, true))
                return;
            RunPreferences();
            m_preferencesOpen = false;
        };
    if (!open)
        return false;
    // The answer goes back first: a modal dialog would hold it until it closes.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this, open, token = request.activationToken] {
            if (!m_ending)
                WithActivationToken(token, open);
        },
        Qt::QueuedConnection);
    return true;
}

void GuiStartupServices::RunUpdate(const std::string& host) {
    Update(host, SystemClock(), m_runner).Run();
}

void GuiStartupServices::RunInitialConfig() {
    RunInitialConfigDialog(m_account);
}

bool GuiStartupServices::RunFaxLog() {
    StartGui();
    m_logMode = true;
    ShowFaxLog();
    return true;
}

void GuiStartupServices::CreateTrayWindow() {
    StartGui();
    m_tray = std::make_unique<TrayDialog>();
    m_tray->SetSendDialogRunner([this] { OpenCoverOnly(); });
    m_tray->SetConfigurationRunner([this] { RunPreferencesDialog(m_account); });
    m_tray->SetFaxLogRunner([this] { ShowFaxLog(); });
    m_tray->SetContactsRunner([this] { ShowContacts(); });
    m_tray->SetQuitRunner([this] { QuitAsking(); });
#if QUILLPOST_SELF_UPDATE
    m_updates = std::make_unique<UpdateChecks>(
        m_runner, UpdateChecks::Parts{[this] { return m_account.Get().host; },
                                      [this](bool shown) {
                                          RunOnGuiThreadWhenIdle([this, shown] {
                                              if (m_tray)
                                                  m_tray->SetIconShown(shown);
                                          });
                                      },
                                      // No fax is cut off by the new program.
                                      [this] { return m_dialogs->WaitUntilNoneOpen(); }});
    m_tray->SetUpdateCheckRunner([this] { m_updates->CheckNow(); });
    m_updates->StartDaily();
#endif
}

std::string GuiStartupServices::FindFaxPrinterPort() {
    // The lookup's failure line has no line end; whatever the terminal shows next needs its own.
    std::ostringstream lines;
    std::string port = qp::FindFaxPrinterPort(lines);
    WriteEndedLines(std::cout, lines.str());
    return port;
}

void GuiStartupServices::SetDefaultViewer() {
    SetInstalledDefaultViewer(m_account.Settings());
}

void GuiStartupServices::RunPreferences() {
    RunPreferencesDialog(m_account);
}

bool GuiStartupServices::StartWatcher(const std::string& portFile) {
    StartGui();
    // The watcher hands each job over from its thread; the dialog opens on the GUI thread once no
    // other dialog's work is waiting to show its result.
    // Jobs printed while an earlier one was untaken wait, parked by the backend, in the port
    // file's folder; the oldest comes into the port file's place once that is free.
    const std::string userFolder = portFile.substr(0, portFile.rfind('/'));
    m_monitor = std::make_unique<FaxMonitor>(
        portFile, JobStore::ForUser(), SystemClock(),
        [this](Job job, bool leftOver) {
            // A fax the log could not take when it ended gets its entry first, here off the GUI
            // thread; a sent one then goes instead of being offered again.
            std::string problem;
            faxlog::FaxLog log = ReportingLog(m_log.Folder(), m_account);
            const bool offer = !leftOver || faxlog::OfferAfterKeptEntry(log, job, problem);
            if (!problem.empty())
                ShowMessage(problem);
            if (!offer) {
                m_monitor->JobClosed();
                return;
            }
            auto taken = std::make_shared<Job>(std::move(job));
            PostToGuiThreadWhenIdle([this, taken, leftOver] {
                if (leftOver)
                    Notify(WaitingJobsText(1));
                m_dialogs->Open(std::move(*taken), [this] { OnSendDialogClosed(true); });
            });
        },
        FaxMonitor::Parked{
            [userFolder, portFile] { return TakeOldestParkedJob(userFolder, portFile); },
            [userFolder] { return CountParkedJobs(userFolder); }},
        [this](const FaxMonitor::Report& report) {
            PostToGuiThreadWhenIdle([this, report] {
                if (report.kind == FaxMonitor::Report::Kind::CannotTakeJob)
                    ShowMessage(report.Text());
                else
                    Notify(report.Text());
            });
        });
    StartOutbox();
    StartDesktopWatches();
    return m_monitor->Start();
}

void GuiStartupServices::StartDesktopWatches() {
    // Read at the call, so runners set after the start still count.
    m_network = std::make_unique<NetworkState>([this] {
        if (m_networkBack)
            m_networkBack();
    });
    m_accountWatch = std::make_unique<SettingsWatch>(
        m_account.Settings().FilePath(), settings::kSection,
        std::vector<std::string>{settings::kLogin.key, settings::kPin.key, settings::kHost.key,
                                 settings::kPort.key, settings::kPortWritten.key,
                                 settings::kNotifyEmail.key},
        [this] {
            if (m_accountChanged)
                m_accountChanged();
        });
}

void GuiStartupServices::Shutdown() {
    if (m_ending.exchange(true))
        return;
    // No window opens from here on; threads that wait for one go on without it.
    AbandonGuiRequests();
    // A try under way is cut and made again at the next start; a dialog that hands its fax over
    // meanwhile still leaves it on disk for then.
    if (m_outbox)
        m_outbox->Stop();
    if (m_dialogs)
        m_dialogs->EndAll();
    if (m_monitor)
        m_monitor->Stop();
    if (m_updates)
        m_updates->Stop();
    m_network.reset();
    m_accountWatch.reset();
    m_notifications.reset();
    m_window.reset();
    m_manual.reset();
    m_contactsWindow.reset();
    m_tray.reset();
    m_monitor.reset();
    m_outbox.reset();
}

} // namespace qp
