#pragma once

#include "fax/outbox/OutboxItem.h"

#include <cstdint>
#include <optional>
#include <string>

// The small file beside a fax's job files that says where the fax stands in the outbox. It is
// written whole (a new file, flushed, renamed over the old one, the folder synced), so a client
// killed at any moment finds either the old record or the new one.
namespace qp::outbox {

// Larger files are not records of ours.
inline constexpr std::size_t kMaxRecordBytes = 64 * 1024;

struct Record {
    Item item;                 // its `id` and `bytes` are the folder's, not the file's
    std::int64_t firstTry = 0; // seconds since the epoch: the first try, for giving up
    int streak = 0;            // failures of `item.lastKind` in a row, for the next wait
    // Every image byte of the try under way reached the server: that try must not be repeated.
    bool allBytesSent = false;
    // The server's words on the fax it took, kept for the fax's transmission report.
    std::string answer;
};

std::string FormatRecord(const Record& record);
// Nothing for text that is not a whole record of ours: unknown keys are passed over, a value
// that does not read as its key's kind rejects the record.
std::optional<Record> ParseRecord(const std::string& text);

// Reads the record file without following a link and at most kMaxRecordBytes of it.
std::optional<Record> ReadRecord(const std::string& path);
bool WriteRecord(const std::string& path, const Record& record);

} // namespace qp::outbox
