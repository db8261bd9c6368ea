#include "app/GuiStartup.h"

#include "app/QuillpostApp.h"

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

std::string GuiStartupServices::FindFaxPrinterPort() {
    // Filled by the printer lookup (capture/).
    return {};
}

void GuiStartupServices::SetDefaultViewer(CQuillpostApp& app) {
    app.SetDefaultViewer();
}

void GuiStartupServices::RunPreferences(CQuillpostApp&) {
    // Filled by the configuration dialogs (shell/).
}

bool GuiStartupServices::StartWatcher(CQuillpostApp&) {
    // Filled by the print-job watcher (capture/).
    return false;
}

} // namespace qp
