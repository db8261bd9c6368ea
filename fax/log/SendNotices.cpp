#include "fax/log/SendNotices.h"

namespace qp::faxlog {

std::string RecordJobAttempt(FaxLog& log, const SendAttempt& attempt, const Job& job) {
    const Record record =
        RecordAttempt(log, attempt, {job.BodyFile(), job.CoverInput(), job.FaxImage()});
    return attempt.outcome == Outcome::NotSent ? std::string() : NotificationText(record);
}

} // namespace qp::faxlog
