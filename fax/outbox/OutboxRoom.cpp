#include "fax/outbox/OutboxRoom.h"

#include "platform/FileOps.h"

namespace qp::outbox {

std::optional<std::string> NoRoomFor(std::size_t faxes, std::uint64_t taken, std::uint64_t bytes) {
    if (faxes < kMaxFaxes && taken + bytes <= kMaxBytes)
        return std::nullopt;
    return "The outbox is full: at most " + std::to_string(kMaxFaxes) +
           " faxes or 1 GiB may wait in it. Please send this fax yourself, or try again once the "
           "outbox has room.";
}

std::optional<std::string> NoRoomInStore(const JobStore& store, std::uint64_t bytes) {
    const std::vector<std::string> ids = store.OutboxIds();
    std::uint64_t taken = 0;
    for (const std::string& id : ids)
        taken += FolderFileBytes(store.Root() + "/" + id);
    return NoRoomFor(ids.size(), taken, bytes);
}

} // namespace qp::outbox
