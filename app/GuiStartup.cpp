#include "app/GuiStartup.h"

#include "app/QuillpostApp.h"
#include "capture/FaxMonitor.h"
#include "capture/FaxPrinterLookup.h"
#include "platform/Clock.h"
#include "platform/GuiThread.h"

namespace qp {

// Each step below is wired to its subsystem as that subsystem lands; until then it does nothing.

void GuiStartupServices::RunUpdate(CQuillpostApp&) {
    // Filled by the self-update subsystem (update/).
}

void GuiStartupServices::RunInitialConfig(CQuillpostApp&) {
    // Filled by the configuration dialogs (shell/).
}

void GuiStartupServices::CreateTrayWindow(CQuillpostApp&) {
    // Filled by the tray window (shell/).
}

std::string GuiStartupServices::FindFaxPrinterPort() { return qp::FindFaxPrinterPort(); }

void GuiStartupServices::SetDefaultViewer(CQuillpostApp& app) {
    app.SetDefaultViewer();
}

void GuiStartupServices::RunPreferences(CQuillpostApp&) {
    // Filled by the configuration dialogs (shell/).
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
