#pragma once

#include "base/Outcome.h"
#include "base/Settings.h"

#include <cstdint>
#include <optional>

namespace qp::outbox {

// How long the outbox goes on trying a fax, from its first try, before it needs the user.
inline constexpr settings::Setting kGiveUpHours{"outboxgiveup", settings::Kind::Number, "", 24};

// How long to wait after a failure of `kind` that is the `streak`-th of its kind in a row (1 for
// the first); nothing for a failure that no later try mends.
std::optional<std::int64_t> RetryDelaySeconds(FailureKind kind, int streak);

} // namespace qp::outbox
