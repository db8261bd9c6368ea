#pragma once

#include "update/UpdateCheck.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace qp {

class ProcessRunner;

// The tray client's update checks: the daily one and the one the menu asks for. Each runs on a
// thread of its own, since the update host may answer slowly or never; one check at a time asks
// its question and copies the program. The owner stops and joins them before it ends.
class UpdateChecks {
public:
    struct Parts {
        // The update host, as the account stands when a check starts.
        std::function<std::string()> host;
        // Hides and shows the tray icon round the start of the update.
        std::function<void(bool shown)> showTrayIcon;
        // Waits until the program may be replaced (no send dialog open); false when it is ending.
        std::function<bool()> waitUntilReplaceable;
    };

    UpdateChecks(ProcessRunner& runner, Parts parts);
    ~UpdateChecks();
    UpdateChecks(const UpdateChecks&) = delete;
    UpdateChecks& operator=(const UpdateChecks&) = delete;

    // The daily check, fifteen seconds from now and then once a day.
    void StartDaily();
    // "Check for Updates...": starts a check and returns at once; nothing when one is under way.
    void CheckNow();
    // Calls off the checks' fetches and waits for their threads.
    void Stop();

private:
    void Check(bool silent);

    ProcessRunner& m_runner;
    Parts m_parts;
    std::unique_ptr<AutoUpdateCheck> m_daily;
    std::thread m_menuCheck;
    std::atomic<bool> m_checking{false};
    std::atomic<bool> m_stopping{false};
};

} // namespace qp
