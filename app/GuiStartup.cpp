#include "app/GuiStartup.h"

#include "app/QuillpostApp.h"
#include "capture/Diagnostics.h"
#include "capture/FaxMonitor.h"
#include "capture/FaxPrinterLookup.h"
#include "cover/CoverSheetDialog.h"
#include "fax/FaxDialog.h"
#include "fax/log/FaxLogWindow.h"
#include "fax/log/SendNotices.h"
#include "platform/Clock.h"
#include "platform/GuiThread.h"
#include "res/Features.h"
#include "res/Resources.h"
#include "shell/InitialConfigDialog.h"
#include "shell/PreferencesDialog.h"
#include "shell/TrayDialog.h"
#include "update/Update.h"
#include "update/UpdateCheck.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <atomic>
#include <iostream>
#include <sstream>
#include <system_error>
#include <thread>

namespace qp {
namespace {

// The check from the tray, on whichever thread runs it; the copy's start ends this client.
void CheckForUpdateFromTray(CQuillpostApp& app, bool silent) {
    // The daily check and the menu's may meet; one question and one copy at a time.
    static std::atomic<bool> checking{false};
    if (checking.exchange(true))
        return;
    // The copy replaces this process as soon as the icon is gone; the daily check's thread waits
    // until no send dialog is converting or uploading, so no fax is cut off half-way.
    const bool ending = CheckForUpdate(app.Account().host, silent, app.Runner(), [&app] {
        RunOnGuiThreadWhenIdle([&app] {
            if (app.m_pTrayDialog != nullptr)
                app.m_pTrayDialog->TrayIcon().SetIconById(0);
        });
    });
    if (ending)
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
    else
        checking = false;
}

// The menu's check: the manifest comes from a server that may answer slowly or never, so the GUI
// thread does not wait for it. Like the daily check's thread, nothing joins this one.
void StartUpdateCheckFromMenu(CQuillpostApp& app) {
    try {
        std::thread([&app] { CheckForUpdateFromTray(app, false); }).detach();
    } catch (const std::system_error&) {
        CheckForUpdateFromTray(app, false);
    }
}

} // namespace

GuiStartupServices::GuiStartupServices() {
    // The send dialog's "Configure..." opens the account dialog of the tray shell.
    FaxDialog::SetConfigureRunner(RunConfigurationFromSendDialog);
    // "Add Cover Sheet..." draws the cover page into the cover file; the send dialog goes on
    // meanwhile and only the cover file counts.
    FaxDialog::SetCoverSheetRunner([](CQuillpostApp& app, QWidget* parent) {
        auto* dialog = new CCoverSheetDialog(app.Profile(), app.m_coverFile, parent);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    });
    // Every send from the dialog is logged and announced at the tray icon.
    FaxDialog::SetAttemptRecorder([](CQuillpostApp& app, const faxlog::SendAttempt& attempt) {
        faxlog::FaxLog log;
        faxlog::RecordDialogAttempt(
            app, attempt, app.m_pTrayDialog ? &app.m_pTrayDialog->TrayIcon() : nullptr, log);
    });
}

GuiStartupServices::~GuiStartupServices() = default;

void GuiStartupServices::RunUpdate(CQuillpostApp& app) {
    Update(app.Account().host, SystemClock(), app.Runner()).Run();
}

void GuiStartupServices::RunInitialConfig(CQuillpostApp& app) {
    RunInitialConfigDialog(app);
}

void GuiStartupServices::RunFaxLog(CQuillpostApp& app) {
    RunFaxLogWindow(app);
}

void GuiStartupServices::CreateTrayWindow(CQuillpostApp& app) {
    auto* tray = new TrayDialog(app);
    app.m_pTrayDialog = tray;
    // Tray mode lasts as long as the tray window.
    QObject::connect(tray, &QObject::destroyed, QCoreApplication::instance(),
                     [] { QCoreApplication::quit(); });
    tray->SetSendDialogRunner([&app] { RunFaxDialog(app); });
    tray->SetFaxLogRunner([&app] { RunFaxLogWindow(app); });
    tray->TrayIcon().SetIconById(res::kIcon130);
#if QUILLPOST_SELF_UPDATE
    tray->SetUpdateCheckRunner([&app] { StartUpdateCheckFromMenu(app); });
    // Ends, with its thread, before the application object that the check uses.
    m_autoUpdateCheck = std::make_unique<AutoUpdateCheck>(
        [&app] { CheckForUpdateFromTray(app, true); }, [] { QCoreApplication::processEvents(); });
    m_autoUpdateCheck->Start();
#endif
}

std::string GuiStartupServices::FindFaxPrinterPort() {
    // The lookup's failure line has no line end; whatever the terminal shows next needs its own.
    std::ostringstream lines;
    std::string port = qp::FindFaxPrinterPort(lines);
    WriteEndedLines(std::cout, lines.str());
    return port;
}

void GuiStartupServices::SetDefaultViewer(CQuillpostApp& app) {
    app.SetDefaultViewer();
}

void GuiStartupServices::RunPreferences(CQuillpostApp& app) {
    RunPreferencesDialog(app);
}

bool GuiStartupServices::StartWatcher(CQuillpostApp& app) {
    if (app.m_pTrayDialog != nullptr)
        faxlog::AnnounceWaitingJob(app.m_portFile, app.m_pTrayDialog->TrayIcon());
    const WorkPaths paths{app.m_portFile, app.m_bodyFile, app.m_coverFile, app.m_faxImage};
    // Lives as long as the process; nothing stops or waits for it.
    // The send dialog runs modally on the GUI thread while the watcher waits for it.
    app.m_pFaxMonitor = new FaxMonitor(paths, SystemClock(), [&app] { RunFaxDialog(app); });
    return app.m_pFaxMonitor->Start();
}

} // namespace qp
