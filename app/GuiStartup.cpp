#include "app/GuiStartup.h"

#include "app/QuillpostApp.h"
#include "capture/FaxMonitor.h"
#include "capture/FaxPrinterLookup.h"
#include "platform/Clock.h"
#include "platform/GuiThread.h"
#include "shell/InitialConfigDialog.h"
#include "shell/PreferencesDialog.h"
#include "shell/TrayDialog.h"

#include <QCoreApplication>

namespace qp {

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
    tray->SetSendDialogRunner([] {
        // The send dialog of the cover-only fax runs here.
    });
    tray->TrayIcon().SetIconById(130);
}

std::string GuiStartupServices::FindFaxPrinterPort() { return qp::FindFaxPrinterPort(); }

void GuiStartupServices::SetDefaultViewer(CQuillpostApp& app) {
    app.SetDefaultViewer();
}

void GuiStartupServices::RunPreferences(CQuillpostApp& app) {
    RunPreferencesDialog(app);
}

bool GuiStartupServices::StartWatcher(CQuillpostApp& app) {
    const WorkPaths paths{app.m_portFile, app.m_bodyFile, app.m_coverFile, app.m_faxImage};
    // Lives as long as the process; nothing stops or waits for it.
    app.m_pFaxMonitor = new FaxMonitor(paths, SystemClock(), [] {
        RunOnGuiThread([] {
            // The send dialog runs here, modally, while the watcher waits.
        });
    });
    return app.m_pFaxMonitor->Start();
}

} // namespace qp
