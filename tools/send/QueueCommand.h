#pragma once

#include "base/Job.h"
#include "fax/outbox/QueuedFax.h"
#include "platform/ClientChannel.h"

#include <iosfwd>

namespace qp::send {

// quillpost-send --queue once the fax is converted: writes it into the outbox's folder of `store`
// (refused when the outbox is full) and tells the user's running client, at `client`, to take it
// up. The id goes to `out` ("Fax queued: <id>") with where the fax now waits; what went wrong to
// `err`. Returns the exit code: 0 once the fax is in the folder, whether or not a client took it,
// since a script that tried again would send it twice.
int QueueFax(const JobStore& store, const outbox::QueuedFax& fax, const ChannelAddress& client,
             std::ostream& out, std::ostream& err);

} // namespace qp::send
