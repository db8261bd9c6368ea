#include "fax/log/SendNotices.h"

#include "platform/FileOps.h"

#include <optional>

namespace qp::faxlog {
namespace {

// Beside the record: whether the job's image belongs to the entry.
constexpr const char* kWithImageLine = "logimage=yes\n";
constexpr std::size_t kMaxKeptEntryBytes = 64 * 1024;

struct KeptEntry {
    Record record;
    bool withImage = false;
};

EntryFiles FilesOf(const Job& job) {
    return {job.BodyFile(), job.CoverInput(), job.FaxImage()};
}

std::optional<KeptEntry> ReadKeptEntry(const Job& job) {
    const std::optional<std::string> text =
        ReadSmallFile(job.PendingEntryFile(), kMaxKeptEntryBytes);
    std::optional<Record> record = text ? ParseRecord(*text) : std::nullopt;
    if (!record)
        return std::nullopt;
    return KeptEntry{std::move(*record), text->find(kWithImageLine) != std::string::npos};
}

// Says why the entry is not on disk and where the fax stays.
std::string NotLoggedText(const LoggedAttempt& logged, const Job& job, bool keptForNextStart) {
    return LogFailureText(logged.record.outcome, logged.failure) + "\nThe fax is kept in " +
           job.Folder() + (keptForNextStart ? " and is logged at the next start." : ".");
}

} // namespace

Recorded RecordJobAttempt(FaxLog& log, const SendAttempt& attempt, const Job& job) {
    // A discarded fax offered again after its entry could not be written: that entry first.
    if (const std::optional<KeptEntry> kept = ReadKeptEntry(job);
        kept && StoreRecord(log, kept->record, FilesOf(job), kept->withImage).onDisk)
        RemoveFile(job.PendingEntryFile());

    const LoggedAttempt logged = RecordAttempt(log, attempt, FilesOf(job));
    Recorded recorded;
    if (attempt.outcome != Outcome::NotSent)
        recorded.notice = NotificationText(logged.record);
    if (logged.onDisk) {
        RemoveFile(job.PendingEntryFile());
        return recorded;
    }
    // This fax's latest end stands for it: it takes the place of an earlier kept entry.
    const bool keptForNextStart = WriteFileAtomically(
        job.PendingEntryFile(),
        FormatRecord(logged.record) + (attempt.imageMade ? kWithImageLine : ""), 0600);
    recorded.onDisk = false;
    recorded.message = NotLoggedText(logged, job, keptForNextStart);
    return recorded;
}

bool OfferAfterKeptEntry(FaxLog& log, Job& job, std::string& message) {
    if (!FileExists(job.PendingEntryFile()))
        return true;
    const std::optional<KeptEntry> kept = ReadKeptEntry(job);
    if (!kept) {
        // Not a record of ours: the job is offered as any left over.
        RemoveFile(job.PendingEntryFile());
        return job.HasContent();
    }
    const LoggedAttempt logged = StoreRecord(log, kept->record, FilesOf(job), kept->withImage);
    const bool sent = WasSent(kept->record.outcome);
    if (!logged.onDisk) {
        message = NotLoggedText(logged, job, true);
        return !sent;
    }
    RemoveFile(job.PendingEntryFile());
    if (sent || !job.HasContent()) {
        JobStore::Remove(std::move(job));
        return false;
    }
    return true;
}

} // namespace qp::faxlog
