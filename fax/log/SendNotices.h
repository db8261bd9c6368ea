#pragma once

#include "fax/log/FaxLog.h"
#include "fax/log/SendRecording.h"

#include <string>

class CQuillpostApp;

namespace qp {
class CTrayIcon;
}

namespace qp::faxlog {

inline constexpr const char* kNoticeTitle = "Quill Post";
inline constexpr const char* kWaitingJobText = "A printed fax is waiting to be sent.";

// Logs a send dialog's attempt with the work files it was made from, and announces a send (not a
// dialog closed without one) through the tray icon, when there is one. Callable from any thread.
void RecordDialogAttempt(CQuillpostApp& app, const SendAttempt& attempt, CTrayIcon* tray,
                         FaxLog& log);

// At start-up: a print job of this user already waiting in the port file is announced, as the
// send dialog only opens once the watcher has seen it settle. True when one was announced.
bool AnnounceWaitingJob(const std::string& portFile, CTrayIcon& tray);

} // namespace qp::faxlog
