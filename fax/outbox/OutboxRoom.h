#pragma once

#include "base/Job.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// How much may wait in the outbox, counted the same by the client's outbox and by a program that
// queues a fax while no client runs.
namespace qp::outbox {

// At most this many faxes, or this many bytes of their files, wait in the outbox.
inline constexpr std::size_t kMaxFaxes = 100;
inline constexpr std::uint64_t kMaxBytes = std::uint64_t{1} << 30;

// Why one more fax of `bytes` cannot join `faxes` faxes that take `taken` bytes; nothing when it
// may.
std::optional<std::string> NoRoomFor(std::size_t faxes, std::uint64_t taken, std::uint64_t bytes);

// The same, counting the folders the outbox keeps in `store` as they are on disk now.
std::optional<std::string> NoRoomInStore(const JobStore& store, std::uint64_t bytes);

} // namespace qp::outbox
