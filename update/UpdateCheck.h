#pragma once

#include "platform/Clock.h"
#include "platform/ProcessRunner.h"
#include "update/HttpFetch.h"
#include "update/InstallFolder.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace qp {

inline constexpr const char* kProgramFile = "quillpost";
inline constexpr const char* kProgramCopy = "quillpost-cpy";

// The number a failed file operation reports in messages: 2 not found, 3 bad path, 4 too many
// open files, 5 access denied, 6 bad handle, 10 I/O error, 13 disk full, 1 anything else.
int FileErrorCause(int error);

// Shows "<headline>\n\n<what>\n\nError code: <cause of error>".
void ShowFileFailure(const std::string& headline, const std::string& what, int error);

// Whether the server's manifest has an entry that the local one in `folder` lacks. `fetch` says
// why there is no answer when the server's manifest was not taken.
struct UpdateAvailability {
    FetchOutcome fetch;
    bool available = false;
};
UpdateAvailability IsUpdateAvailable(const std::string& host, const InstallFolder& folder);

// Offers an available update and, when the user takes it, copies the program in `folder` and
// starts the copy in update mode in place of this process. The silent check says nothing when it
// has no update to offer. Before the start `waitUntilReplaceable` (none: go ahead) waits until
// nothing under way would be cut off, and answers false when the program is ending: then nothing is
// started. A start that fails is reported, and `restoreTrayIcon` undoes `removeTrayIcon`. A started
// update never returns, so this returns only when none was started, and then false.
bool CheckForUpdate(const std::string& host, bool silent, ProcessRunner& runner,
                    const std::function<void()>& removeTrayIcon,
                    const std::function<void()>& restoreTrayIcon = {},
                    const std::function<bool()>& waitUntilReplaceable = {},
                    const InstallFolder& folder = RunningProgramFolder());

inline constexpr int kAutoCheckDelayMs = 15000;
inline constexpr int kAutoCheckIntervalMs = 24 * 60 * 60 * 1000;

// The automatic check's thread body: waits, runs `check`, then again once a day until `stop`.
unsigned AutoUpdateCheckProc(Clock& clock, const std::atomic<bool>& stop,
                             const std::function<void()>& check);

// Runs AutoUpdateCheckProc on a thread of its own, which the owner joins.
class AutoUpdateCheck {
public:
    explicit AutoUpdateCheck(std::function<void()> check);
    // Stops the thread, calling off its fetches, and waits for it: nothing it uses may go first.
    // A question the check waits to ask must be answered without the GUI thread by then (the
    // program abandons its GUI requests before it ends the check).
    ~AutoUpdateCheck();
    AutoUpdateCheck(const AutoUpdateCheck&) = delete;
    AutoUpdateCheck& operator=(const AutoUpdateCheck&) = delete;
    bool Start();

private:
    std::function<void()> m_check;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace qp
