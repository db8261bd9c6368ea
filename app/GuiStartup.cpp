#include "app/GuiStartup.h"

#include "app/QuillpostApp.h"
#include "capture/Diagnostics.h"
#include "capture/FaxMonitor.h"
#include "capture/FaxPrinterLookup.h"
#include "cover/CoverSheetDialog.h"
#include "fax/FaxDialog.h"
#include "platform/Clock.h"
#include "res/Resources.h"
#include "shell/InitialConfigDialog.h"
#include "shell/PreferencesDialog.h"
#include "shell/TrayDialog.h"

#include <QCoreApplication>
#include <iostream>
#include <sstream>

namespace qp {

GuiStartupServices::GuiStartupServices() {
    // The send dialog's "Configure..." opens the account dialog of the tray shell.
    FaxDialog::SetConfigureRunner(RunConfigurationFromSendDialog);
    // "Add Cover Sheet..." prints the cover page through the fax printer.
    FaxDialog::SetCoverSheetRunner(RunCoverSheetDialog);
}

// Each step below is wired to its subsystem as that subsystem lands; until then it does nothing.

void GuiStartupServices::RunUpdate(CQuillpostApp&) {
    // Filled by the self-update subsystem (update/).
}

void GuiStartupServices::RunInitialConfig(CQuillpostApp& app) {
    RunInitialConfigDialog(app);
}

void GuiStartupServices::CreateTrayWindow(CQuillpostApp& app) {
    auto* tray = new TrayDialog(app);
    app.m_pTrayDialog = tray;
    // Tray mode lasts as long as the tray window.
    QObject::connect(tray, &QObject::destroyed, QCoreApplication::instance(),
                     [] { QCoreApplication::quit(); });
    tray->SetSendDialogRunner([&app] { RunFaxDialog(app); });
    tray->TrayIcon().SetIconById(res::kIcon130);
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
    const WorkPaths paths{app.m_portFile, app.m_bodyFile, app.m_coverFile, app.m_faxImage};
    // Lives as long as the process; nothing stops or waits for it.
    // The send dialog runs modally on the GUI thread while the watcher waits for it.
    app.m_pFaxMonitor = new FaxMonitor(paths, SystemClock(), [&app] { RunFaxDialog(app); });
    return app.m_pFaxMonitor->Start();
}

} // namespace qp
