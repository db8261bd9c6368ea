#include "update/UpdateChecks.h"

#include "platform/MessageBox.h"
#include "update/HttpFetch.h"

#include <system_error>

namespace qp {

UpdateChecks::UpdateChecks(ProcessRunner& runner, Parts parts)
    : m_runner(runner), m_parts(std::move(parts)) {}

UpdateChecks::~UpdateChecks() {
    Stop();
}

void UpdateChecks::StartDaily() {
    if (m_daily)
        return;
    m_daily = std::make_unique<AutoUpdateCheck>([this] { Check(true); });
    m_daily->Start();
}

void UpdateChecks::Check(bool silent) {
    // The daily check and the menu's may meet; one question and one copy at a time.
    if (m_checking.exchange(true))
        return;
    const auto showIcon = [this](bool shown) {
        return [this, shown] {
            if (m_parts.showTrayIcon)
                m_parts.showTrayIcon(shown);
        };
    };
    // The copy replaces this process once nothing would be cut off; the jobs that arrive
    // meanwhile wait in their folders for the new client.
    CheckForUpdate(m_parts.host(), silent, m_runner, showIcon(false), showIcon(true),
                   m_parts.waitUntilReplaceable);
    m_checking = false;
}

void UpdateChecks::CheckNow() {
    if (m_checking || m_stopping)
        return;
    if (m_menuCheck.joinable())
        m_menuCheck.join();
    try {
        m_menuCheck = std::thread([this] {
            const CancelFetchesWhen cancel(m_stopping);
            Check(false);
        });
    } catch (const std::system_error&) {
        ShowMessage("Unable to check for updates: no thread to run the check");
    }
}

void UpdateChecks::Stop() {
    m_stopping = true;
    m_daily.reset();
    if (m_menuCheck.joinable())
        m_menuCheck.join();
}

} // namespace qp
