#pragma once

#include "base/Job.h"
#include "fax/log/FaxLog.h"
#include "fax/log/SendRecording.h"

#include <string>

namespace qp::faxlog {

inline constexpr const char* kNoticeTitle = "Quill Post";

// Logs a send dialog's attempt with the files of its job. Returns what the desktop notification
// says about a send; nothing for a dialog closed without one. Callable from any thread.
std::string RecordJobAttempt(FaxLog& log, const SendAttempt& attempt, const Job& job);

} // namespace qp::faxlog
