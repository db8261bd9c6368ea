#pragma once

namespace qp {

// Prepares the process for socket use: a peer that closes early must give an error on send, not
// kill the process with SIGPIPE. Returns false when that cannot be arranged.
bool StartSockets();

} // namespace qp
