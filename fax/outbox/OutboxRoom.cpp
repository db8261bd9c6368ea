#include "fax/outbox/OutboxRoom.h"

#include "platform/FileOps.h"

#include <dirent.h>

namespace qp::outbox {

std::uint64_t FolderBytes(const std::string& folder) {
    std::uint64_t bytes = 0;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.')
                bytes += FileSize(folder + "/" + entry->d_name).value_or(0);
        }
        ::closedir(dir);
    }
    return bytes;
}

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
        taken += FolderBytes(store.Root() + "/" + id);
    return NoRoomFor(ids.size(), taken, bytes);
}

} // namespace qp::outbox
