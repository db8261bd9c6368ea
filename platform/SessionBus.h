#pragma once

#include <optional>
#include <string>

namespace qp {

// Why this process has no session bus to find desktop services on; nothing when it has one.
// Asked before the first use of the bus, which would otherwise try to start one.
std::optional<std::string> MissingSessionBus();

} // namespace qp
