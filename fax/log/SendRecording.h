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

// An attempt as the log took it: its record, and why it is not on disk when it is not.
struct LoggedAttempt {
    Record record;
    bool onDisk = false;
    std::string failure;
};

// Stores the attempt with the files it was made from, the image only when it was made for it.
LoggedAttempt RecordAttempt(FaxLog& log, const SendAttempt& attempt, const EntryFiles& files,
                            std::int64_t time = NowSeconds());
// The same for a record made earlier; `withImage` when the image belongs to it.
LoggedAttempt StoreRecord(FaxLog& log, const Record& record, EntryFiles files, bool withImage);

// What the user is told of a fax the log could not take, with the reason the log gave.
std::string LogFailureText(Outcome outcome, const std::string& reason);

// What the desktop notification says about a send: "Fax sent to (555) 123-4567: 3 pages", or the
// message the failure showed.
std::string NotificationText(const Record& record);

} // namespace qp::faxlog
