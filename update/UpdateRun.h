#pragma once

#include "platform/Clock.h"
#include "platform/ProcessRunner.h"
#include "update/InstallFolder.h"

#include <cstdint>
#include <string>

namespace qp {

// The progress window as the update run drives it; the run does all its work on one thread and
// lets the window paint through PumpPendingMessages.
class UpdateProgressView {
public:
    virtual ~UpdateProgressView() = default;
    virtual void SetStateText(const std::string& text) = 0; // the overall state
    virtual void SetFileText(const std::string& text) = 0;  // the file being fetched
    // Files done out of `count`; `fraction` is how far the next file has come (0 to 1).
    virtual void SetRange(int count) = 0;
    virtual void SetProgress(int filesDone, double fraction) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual void PumpPendingMessages() = 0;
};

inline constexpr int kUpdatePauseMs = 3000;
inline constexpr const char* kRelaunchName = "quillpost";

// Fetches into `folder` every file whose manifest entry is new and, once all have arrived and
// passed their checks, puts them in place together with the server's manifest as the local one.
// A failure at any step leaves the folder as it was. Every failure but an unreachable server has
// been shown when it returns.
void ApplyUpdate(const std::string& host, const InstallFolder& folder, UpdateProgressView& view);

// The whole update mode: window, pause, apply, then the client in `folder` started anew in place
// of this process. Returns 0 only when that start failed, which has then been reported.
int RunUpdate(const std::string& host, const InstallFolder& folder, UpdateProgressView& view,
              Clock& clock, ProcessRunner& runner);

} // namespace qp
