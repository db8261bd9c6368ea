#include "fax/log/SendRecording.h"

#include "base/FaxNumber.h"
#include "fax/FaxImageInfo.h"
#include "platform/FileOps.h"

#include <chrono>

namespace qp::faxlog {
namespace {

constexpr const char* kFailedWithoutMessage = "Fax upload failed.";

} // namespace

std::int64_t NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

Record RecordFor(const SendAttempt& attempt, const std::string& imagePath, std::int64_t time) {
    Record record;
    record.time = time;
    record.typed = attempt.typed;
    record.dialled = attempt.dialled;
    record.resolution = attempt.choices.resolution;
    record.legal = attempt.choices.legal;
    record.outcome = attempt.outcome;
    record.message = attempt.message;
    record.tries = attempt.tries;
    if (attempt.imageMade) {
        record.pages = CountTiffPages(imagePath);
        record.size = FileSize(imagePath).value_or(0);
    }
    return record;
}

Record RecordAttempt(FaxLog& log, const SendAttempt& attempt, const EntryFiles& files,
                     std::int64_t time) {
    EntryFiles kept = files;
    if (!attempt.imageMade)
        kept.image.clear();
    Record record = RecordFor(attempt, files.image, time);
    log.Add(record, kept);
    return record;
}

std::string NotificationText(const Record& record) {
    if (record.outcome == Outcome::Sent)
        return "Fax sent to " + HistoryEntryFor(record.dialled) + ": " + PagesText(record.pages);
    return record.message.empty() ? kFailedWithoutMessage : record.message;
}

} // namespace qp::faxlog
