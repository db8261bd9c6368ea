#pragma once

#include <string>

namespace qp {

// What quillpost-provision prints after provisioning's own lines: when CUPS could not be reached,
// a line that says how to start it (`startCommand`); then the result in words and as a number.
std::string ProvisionClosingLines(int result, bool cupsUnreachable,
                                  const std::string& startCommand);

// The command that starts the CUPS scheduler on this machine's init system.
std::string CupsStartCommand();

} // namespace qp
