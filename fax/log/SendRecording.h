#pragma once

#include "fax/SendAttempt.h"
#include "fax/log/FaxLog.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qp::faxlog {

std::int64_t NowSeconds();

// The record of an attempt, with the pages and size of its image when it has one.
Record RecordFor(const SendAttempt& attempt, const std::string& imagePath, std::int64_t time);

// Stores the attempt with the files it was made from, the image only when it was made for it, and
// returns its record. A log that cannot be written loses the entry and nothing else.
Record RecordAttempt(FaxLog& log, const SendAttempt& attempt, const EntryFiles& files,
                     std::int64_t time = NowSeconds());

// What the desktop notification says about a send: "Fax sent to (555) 123-4567: 3 pages", or the
// message the failure showed.
std::string NotificationText(const Record& record);

} // namespace qp::faxlog
