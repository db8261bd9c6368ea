#pragma once

#include <string>

namespace qp::faxlog {

// What keeping a fax in the log came to. Its job may go only once the entry is on disk.
struct Recorded {
    bool onDisk = true;
    // What the desktop notification says about a send; empty for none.
    std::string notice;
    // When the entry is not on disk: why, and where the fax is kept, as the user is told.
    std::string message;
};

} // namespace qp::faxlog
