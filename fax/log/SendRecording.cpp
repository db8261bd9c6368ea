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
    record.answer = attempt.answer;
    if (attempt.imageMade) {
        record.pages = CountTiffPages(imagePath);
        record.size = FileSize(imagePath).value_or(0);
    }
    return record;
}

LoggedAttempt RecordAttempt(FaxLog& log, const SendAttempt& attempt, const EntryFiles& files,
                            std::int64_t time) {
    return StoreRecord(log, RecordFor(attempt, files.image, time), files, attempt.imageMade);
}

LoggedAttempt StoreRecord(FaxLog& log, const Record& record, EntryFiles files, bool withImage) {
    if (!withImage)
        files.image.clear();
    LoggedAttempt logged{record, false, {}};
    logged.onDisk = log.Add(record, files, &logged.failure).has_value();
    return logged;
}

std::string LogFailureText(Outcome outcome, const std::string& reason) {
    const std::string text = "could not be written to the fax log: " + reason + ".";
    return WasSent(outcome) ? "The fax was sent, but it " + text : "The fax " + text;
}

std::string NotificationText(const Record& record) {
    if (record.outcome == Outcome::Sent)
        return "Fax sent to " + HistoryEntryFor(record.dialled) + ": " + PagesText(record.pages);
    return record.message.empty() ? kFailedWithoutMessage : record.message;
}

} // namespace qp::faxlog
