#pragma once

#include "base/Job.h"
#include "fax/outbox/OutboxItem.h"

#include <optional>
#include <string>

namespace qp::outbox {

// A fax handed to the outbox while no client runs: its image (made already; the outbox never
// converts), and the document and cover page it was made from, which the log keeps with it.
struct QueuedFax {
    Item fax; // whom to send to and how; the rest is the outbox's
    std::string image;
    std::string body;               // empty for none
    std::string cover;              // empty for none
    bool coverIsPostScript = false; // else the cover is a PDF
};

// Puts the fax into a new job folder of the store with its outbox record, which the next client
// takes up (or the running one, told its id). The job's id; nothing, with the reason in `error`,
// when the fax could not be kept whole (nothing of it is left behind then).
std::optional<std::string> WriteQueuedJob(const JobStore& store, const QueuedFax& queued,
                                          std::string* error = nullptr);

} // namespace qp::outbox
