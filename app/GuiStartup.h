#pragma once

#include "app/StartupServices.h"

#include <memory>

namespace qp {

class AutoUpdateCheck;

// The real pieces that start-up calls in the running program.
class GuiStartupServices final : public StartupServices {
public:
    GuiStartupServices();
    ~GuiStartupServices() override;
    void RunUpdate(CQuillpostApp& app) override;
    void RunInitialConfig(CQuillpostApp& app) override;
    void RunFaxLog(CQuillpostApp& app) override;
    void CreateTrayWindow(CQuillpostApp& app) override;
    std::string FindFaxPrinterPort() override;
    void SetDefaultViewer(CQuillpostApp& app) override;
    void RunPreferences(CQuillpostApp& app) override;
    bool StartWatcher(CQuillpostApp& app) override;

private:
    std::unique_ptr<AutoUpdateCheck> m_autoUpdateCheck;
};

} // namespace qp
