#pragma once

#include <string>

namespace qp {

// What quillpost-provision prints after provisioning's own lines: when CUPS could not be reached,
// a line that says how to start it (`startCommand`); when CUPS refused a request, a line that
// says who may make it; then the result in words and as a number.
std::string ProvisionClosingLines(int result, bool cupsUnreachable,
                                  const std::string& startCommand);

// All that quillpost-provision prints when run by anyone but root, who alone may make the common
// folder and install the driver; nothing is changed.
inline constexpr const char* kProvisionNeedsRoot =
    "quillpost-provision: creating the fax printer needs root and the right to administer CUPS; "
    "run it as root: sudo quillpost-provision\n";

// What quillpost-provision says of the common folder `commonFolder` once the printer is ready: that
// the queue's port only names it, where each user's faxes arrive and where later ones wait, with
// the limits.
std::string ProvisionLayoutLines(const std::string& commonFolder);

// The command that starts the CUPS scheduler on this machine's init system.
std::string CupsStartCommand();

} // namespace qp
