#pragma once

#include "fax/SendSettings.h"
#include "fax/log/FaxLog.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qp::faxlog {

// One press of Send (or the command-line send), or a send dialog closed without sending.
struct SendAttempt {
    std::string typed;
    std::string dialled;
    SendChoices choices;
    Outcome outcome = Outcome::NotSent;
    std::string message;
    // Whether the fax image belongs to this attempt (it was converted for it and offered).
    bool imageMade = false;
    // How many times Send was pressed for this fax, this attempt included.
    int tries = 0;
};

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
