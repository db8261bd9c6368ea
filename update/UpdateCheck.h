#pragma once

#include "platform/Clock.h"
#include "platform/ProcessRunner.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace qp {

inline constexpr const char* kProgramFile = "quillpost";
inline constexpr const char* kProgramCopy = "quillpost-cpy";
inline constexpr const char* kProgramCopyPath = "./quillpost-cpy";
inline constexpr int kCopyBlockBytes = 1024;

// The number a failed file operation reports in messages: 2 not found, 3 bad path, 4 too many
// open files, 5 access denied, 6 bad handle, 10 I/O error, 13 disk full, 1 anything else.
int FileErrorCause(int error);

// True when the server's manifest has an entry that the local one lacks; an unreachable server
// counts as no update.
bool IsUpdateAvailable(const std::string& host);

// Offers an available update and, when the user takes it, copies the program and starts the copy
// in update mode in place of this process. True when this process must end because the copy was
// started (or its start failed after the tray icon was gone).
bool CheckForUpdate(const std::string& host, bool silent, ProcessRunner& runner,
                    const std::function<void()>& removeTrayIcon);

inline constexpr int kAutoCheckDelayMs = 15000;
inline constexpr int kAutoCheckIntervalMs = 24 * 60 * 60 * 1000;

// The automatic check's thread body: waits, runs `check`, then again once a day until `stop`.
unsigned AutoUpdateCheckProc(Clock& clock, const std::atomic<bool>& stop,
                             const std::function<void()>& check);

// Runs AutoUpdateCheckProc on a thread of its own.
class AutoUpdateCheck {
public:
    AutoUpdateCheck(Clock& clock, std::function<void()> check);
    // Stops the thread after its current wait and lets it end on its own.
    ~AutoUpdateCheck();
    AutoUpdateCheck(const AutoUpdateCheck&) = delete;
    AutoUpdateCheck& operator=(const AutoUpdateCheck&) = delete;
    bool Start();

private:
    // Shared with the thread, which may outlive this object by the rest of a wait.
    struct State {
        std::atomic<bool> stop{false};
        std::function<void()> check;
    };
    Clock& m_clock;
    std::shared_ptr<State> m_state;
    bool m_started = false;
};

} // namespace qp
