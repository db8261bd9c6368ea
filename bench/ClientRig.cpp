#include "bench/ClientRig.h"

#include "app/SendDialogs.h"
#include "platform/CommonFolder.h"

#include <QCoreApplication>
#include <QTimer>
#include <filesystem>
#include <sys/stat.h>

namespace qp::bench {
namespace {

// The user's folder in the spool folder, as the printer's backend makes it.
std::string MakeUserSpool(const qp::test::TempDir& home) {
    const std::string folder = home.File("spool/" + CurrentLoginName());
    std::filesystem::create_directories(folder);
    ::chmod(folder.c_str(), 0700);
    return folder;
}

} // namespace

ClientRig::ClientRig(int faxPort)
    : m_userSpool(MakeUserSpool(m_home)), m_homeEnv("HOME", m_home.Path()),
      m_config("XDG_CONFIG_HOME", m_home.File("config")),
      m_data("XDG_DATA_HOME", m_home.File("data")),
      m_spool("QUILLPOST_COMMON_DIR", m_home.File("spool")) {
    m_app.Account().Set({"127.0.0.1", faxPort, "5550100", "2468", ""});
}

ClientRig::~ClientRig() {
    m_services.Shutdown();
}

std::chrono::steady_clock::time_point ClientRig::Print(const std::string& postScript) const {
    qp::test::WriteFile(m_app.PortFile() + ".new", postScript);
    const auto published = std::chrono::steady_clock::now();
    std::filesystem::rename(m_app.PortFile() + ".new", m_app.PortFile());
    return published;
}

FaxDialog* ClientRig::OpenDialog() {
    const auto& open = m_services.Dialogs().Dialogs();
    return open.empty() ? nullptr : open.front().get();
}

std::size_t ClientRig::OpenDialogs() {
    return m_services.Dialogs().OpenCount();
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    // Only bounds each sleep; the client's own events end it sooner.
    QTimer wake;
    wake.start(50);
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace qp::bench
