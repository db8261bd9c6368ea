#include "fax/log/Resend.h"

#include "base/FaxNumber.h"
#include "platform/FileOps.h"

#include <utility>

namespace qp::faxlog {
namespace {

bool Restore(const std::string& from, const std::string& to) {
    const std::optional<std::string> bytes = ReadWholeFile(from);
    return bytes && WriteFileAtomically(to, *bytes, 0600);
}

} // namespace

qp::Outcome RestoreIntoJob(const Entry& entry, const Job& job, std::stop_token stop) {
    const std::pair<bool, std::pair<std::string, std::string>> copies[] = {
        {entry.hasCover,
         {entry.CoverPath(),
          entry.CoverIsPostScript() ? job.PostScriptCoverFile() : job.CoverFile()}},
        {entry.hasImage, {entry.ImagePath(), job.FaxImage()}},
        {entry.hasBody, {entry.BodyPath(), job.BodyFile()}},
    };
    for (const auto& [present, paths] : copies) {
        if (stop.stop_requested())
            return qp::Outcome::Stopped();
        if (present && !Restore(paths.first, paths.second))
            return qp::Outcome::Failure(kResendCopyFailedMessage);
    }
    return qp::Outcome::Success();
}

std::string ResendRecipient(const Record& record) {
    return record.dialled.empty() ? record.typed : HistoryEntryFor(record.dialled);
}

} // namespace qp::faxlog
