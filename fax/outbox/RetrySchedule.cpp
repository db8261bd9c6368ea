#include "fax/outbox/RetrySchedule.h"

#include <algorithm>
#include <iterator>

namespace qp::outbox {

std::optional<std::int64_t> RetryDelaySeconds(FailureKind kind, int streak) {
    constexpr std::int64_t kMinute = 60;
    // A server out of reach is looked for soon, then less and less often.
    constexpr std::int64_t kUnreachable[] = {1, 2, 5, 10, 20, 30};
    switch (kind) {
    case FailureKind::CannotConnect: {
        const int last = static_cast<int>(std::size(kUnreachable)) - 1;
        return kUnreachable[std::clamp(streak - 1, 0, last)] * kMinute;
    }
    case FailureKind::Busy:
        return 1 * kMinute;
    case FailureKind::TimedOut:
        return 5 * kMinute;
    case FailureKind::NotStored:
        return 10 * kMinute;
    case FailureKind::Refused:
    case FailureKind::None:
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace qp::outbox
