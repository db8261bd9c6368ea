#include "fax/outbox/QueuedFax.h"

#include "fax/outbox/OutboxRecord.h"
#include "platform/FileOps.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

namespace qp::outbox {

std::optional<std::string> WriteQueuedJob(const JobStore& store, const QueuedFax& queued,
                                          std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<std::string> {
        if (error != nullptr)
            *error = why;
        return std::nullopt;
    };
    std::string why;
    std::optional<Job> job = store.Create(&why);
    if (!job)
        return fail(why);
    const std::pair<const std::string*, std::string> files[] = {
        {&queued.image, job->FaxImage()},
        {&queued.body, job->BodyFile()},
        {&queued.cover, queued.coverIsPostScript ? job->PostScriptCoverFile() : job->CoverFile()},
    };
    for (const auto& [from, to] : files) {
        if (from->empty() && to != job->FaxImage())
            continue;
        if (!CopyFileNew(*from, to)) {
            const std::string reason = *from + ": " + std::strerror(errno);
            JobStore::Remove(std::move(*job));
            return fail(reason);
        }
    }
    Record record;
    record.item = queued.fax;
    record.item.state = State::Waiting;
    record.item.queuedAt = std::chrono::duration_cast<std::chrono::seconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
    record.item.nextTry = 0;
    // The record comes last: until it is there, the folder is nobody's fax.
    if (!WriteRecord(job->OutboxStateFile(), record)) {
        const std::string reason = job->OutboxStateFile() + ": " + std::strerror(errno);
        JobStore::Remove(std::move(*job));
        return fail(reason);
    }
    return job->Id();
}

} // namespace qp::outbox
