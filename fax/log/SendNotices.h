#pragma once

#include "base/Job.h"
#include "fax/Recorded.h"
#include "fax/log/FaxLog.h"
#include "fax/log/SendRecording.h"

#include <string>

namespace qp::faxlog {

inline constexpr const char* kNoticeTitle = "Quill Post";

// Logs a send dialog's attempt with the files of its job, after the entry the job kept from an
// earlier end the log could not take. When the log cannot take this one either, its record is
// kept in the job folder, to be written at the next start, and the message says so. The notice is
// what the desktop notification says about a send; nothing for a dialog closed without one.
// Callable from any thread.
Recorded RecordJobAttempt(FaxLog& log, const SendAttempt& attempt, const Job& job);

// At the start, before a left-over job is offered: writes the entry it kept. A sent fax whose
// entry is written goes; one whose entry still cannot be written stays for the next start, never
// offered as unsent; any other fax is offered again. True when the job is to be offered; else it
// is done with. `message` tells of an entry that still cannot be written.
bool OfferAfterKeptEntry(FaxLog& log, Job& job, std::string& message);

} // namespace qp::faxlog
