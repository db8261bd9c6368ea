#include "app/GuiStartup.h"

#include "app/QuillpostApp.h"
#include "capture/FaxMonitor.h"
#include "capture/FaxPrinterLookup.h"
#include "fax/FaxDialog.h"
#include "fax/log/FaxLogWindow.h"
#include "fax/log/SendNotices.h"
#include "platform/Clock.h"
#include "res/Resources.h"
#include "shell/InitialConfigDialog.h"
#include "shell/PreferencesDialog.h"
#include "shell/TrayDialog.h"

#include <QCoreApplication>

namespace qp {

GuiStartupServices::GuiStartupServices() {
    // The send dialog's "Configure..." opens the account dialog of the tray shell.
    FaxDialog::SetConfigureRunner(RunConfigurationFromSendDialog);
    // Every send from the dialog is logged and announced at the tray icon.
    FaxDialog::SetAttemptRecorder([](CQuillpostApp& app, const faxlog::SendAttempt& attempt) {
        faxlog::FaxLog log;
        faxlog::RecordDialogAttempt(
            app, attempt, app.m_pTrayDialog ? &app.m_pTrayDialog->TrayIcon() : nullptr, log);
    });
}

// Each step below is wired to its subsystem as that subsystem lands; until then it does nothing.

void GuiStartupServices::RunUpdate(CQuillpostApp&) {
    // Filled by the self-update subsystem (update/).
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
}

std::string GuiStartupServices::FindFaxPrinterPort() {
    return qp::FindFaxPrinterPort();
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
