#include "platform/Sockets.h"

#include <csignal>

namespace qp {

bool StartSockets() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGPIPE, &action, nullptr) == 0;
}

} // namespace qp
