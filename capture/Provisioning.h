#pragma once

#include "capture/PrintServer.h"

#include <iostream>
#include <string>
#include <vector>

namespace qp {

// Where provisioning finds and puts things on this machine.
struct ProvisionPaths {
    std::string backendFolder;           // <serverbin>/backend, where CUPS looks for backends
    std::string modelFolder;             // <datadir>/model, where CUPS keeps installed PPDs
    std::string commonFolder;            // the folder of the users' folders
    std::vector<std::string> ppdSources; // the first one that exists is installed
};

// $CUPS_SERVERBIN (else /usr/lib/cups), $CUPS_DATADIR (else /usr/share/cups), the common folder,
// and "gs.ppd" in the current directory before the copy installed with the program.
ProvisionPaths DefaultProvisionPaths();

// Result bases: the step that failed; errno or the server's status is added to them.
namespace provision {
inline constexpr int kListMonitorsFailed = 1000000;
inline constexpr int kMonitorMissing = 1300000;
inline constexpr int kListPortsFailed = 2000000;
inline constexpr int kPortFolderFailed = 2100000;
inline constexpr int kAddPortCallFailed = 2200000;
inline constexpr int kAddPortAccessDenied = 2300000;
inline constexpr int kAddPortInsufficientBuffer = 2400000;
inline constexpr int kAddPortInvalidData = 2500000;
inline constexpr int kAddPortInvalidHandle = 2600000;
inline constexpr int kAddPortInvalidParameter = 2800000;
inline constexpr int kAddPortOther = 2900000;
inline constexpr int kListDriversFailed = 3000000;
inline constexpr int kDriverFolderFailed = 3100000;
inline constexpr int kCopyPpdFailed = 3200000;
inline constexpr int kAddDriverFailed = 3500000;
inline constexpr int kAddPrinterFailed = 4200000;
} // namespace provision

// Creates what capturing print jobs needs: the backend must be installed; the port (the common
// folder, root's with mode 0755, made or mended also behind a port that exists, its leftovers
// moved into lost+found as SpoolLeftovers.h describes), the driver
// (gs.ppd in the model folder) and the queue "Quill_Post" with the "authenticated" operation
// policy, which is always deleted and created anew (one the server refuses to delete fails the run;
// one that stays for another reason is kept). Prints each step's line on `out` and returns 0 or a
// result base plus the error.
int ProvisionFaxPrinter(PrintServer& server, const ProvisionPaths& paths, std::ostream& out);
int ProvisionFaxPrinter(std::ostream& out = std::cout);

} // namespace qp
