#include "tools/send/QueueCommand.h"

#include "fax/outbox/OutboxRoom.h"
#include "platform/FileOps.h"

#include <chrono>
#include <ostream>

namespace qp::send {
namespace {

// The client answers from its event loop; one busy for longer is told as not answering, and the
// fax waits in the folder all the same. A client still starting finds the folder itself.
constexpr std::chrono::seconds kAnswerLimit{3};

constexpr int kExitFailed = 1;

std::uint64_t FilesBytes(const outbox::QueuedFax& fax) {
    std::uint64_t bytes = 0;
    for (const std::string* path : {&fax.image, &fax.body, &fax.cover}) {
        if (!path->empty())
            bytes += FileSize(*path).value_or(0);
    }
    return bytes;
}

} // namespace

int QueueFax(const JobStore& store, const outbox::QueuedFax& fax, const ChannelAddress& client,
             std::ostream& out, std::ostream& err) {
    if (const std::optional<std::string> full = outbox::NoRoomInStore(store, FilesBytes(fax))) {
        err << "quillpost-send: " << *full << "\n";
        return kExitFailed;
    }
    std::string error;
    const std::optional<std::string> id = outbox::WriteQueuedJob(store, fax, &error);
    if (!id) {
        err << "quillpost-send: the fax could not be put in the outbox: " << error << "\n";
        return kExitFailed;
    }
    out << "Fax queued: " << *id << "\n";
    const HandOver answer = SendRequest(client, ChannelRequest{"queue", *id, {}, {}}, kAnswerLimit);
    switch (answer) {
    case HandOver::Taken:
        out << "Quill Post sends it from its outbox." << std::endl;
        break;
    case HandOver::NoClient:
        out << "Quill Post is not running; the fax goes out when Quill Post next runs."
            << std::endl;
        break;
    case HandOver::Declined:
    case HandOver::Failed:
        out.flush();
        err << "quillpost-send: warning: the running Quill Post "
            << (answer == HandOver::Declined ? "declined the fax" : "did not answer")
            << "; it waits in the outbox and goes out when Quill Post next starts\n";
        break;
    }
    return 0;
}

} // namespace qp::send
