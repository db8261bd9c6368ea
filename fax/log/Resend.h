#pragma once

#include "base/Job.h"
#include "base/Outcome.h"
#include "fax/log/FaxLog.h"

#include <stop_token>
#include <string>

namespace qp::faxlog {

// Copies the entry's body, cover and image into a new job, so that the normal send dialog sends
// it again. Each file is written beside its place and renamed in, so the job never holds half a
// file. A stop request ends it early, as a failure without words.
qp::Outcome RestoreIntoJob(const Entry& entry, const Job& job, std::stop_token stop = {});

// What the send dialog's recipient box starts with: the number as it was sent, in the history's
// form; the typed text when no valid number was sent.
std::string ResendRecipient(const Record& record);

} // namespace qp::faxlog
