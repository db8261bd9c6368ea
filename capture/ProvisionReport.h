#pragma once

#include <string>

namespace qp {

// What quillpost-provision prints after provisioning's own lines: when CUPS could not be reached,
// a line that says how to start it (`startCommand`); then the result in words and as a number.
std::string ProvisionClosingLines(int result, bool cupsUnreachable,
                                  const std::string& startCommand);

// What quillpost-provision says of the folders under the common folder `commonFolder` once the
// printer is ready: where each user's faxes arrive and where later ones wait, with the limits.
std::string ProvisionLayoutLines(const std::string& commonFolder);

// The command that starts the CUPS scheduler on this machine's init system.
std::string CupsStartCommand();

} // namespace qp
