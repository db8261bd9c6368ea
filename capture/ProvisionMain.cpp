// quillpost-provision: sets up the fax printer on the local CUPS server. Run it as root from the
// folder that holds gs.ppd, or anywhere once the program is installed.
#include "capture/Diagnostics.h"
#include "capture/PrintServer.h"
#include "capture/ProvisionReport.h"
#include "capture/Provisioning.h"
#include "platform/ProgramInfo.h"

#include <iostream>
#include <sstream>
#include <unistd.h>

namespace {

constexpr const char* kUsage =
    "usage: quillpost-provision\n"
    "Creates the fax printer Quill_Post on the local CUPS server (run it as root): checks the\n"
    "quillpost backend, makes the common folder /var/spool/quillpost (root's), in which the\n"
    "backend makes each user's private folder, installs the TW PS Driver (gs.ppd from the\n"
    "current folder, else the installed copy) and creates the queue anew.\n"
    "Prints one line per step and the result last; exits 0 when the printer is ready.\n";

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

} // namespace

int main(int argc, char** argv) {
    if (qp::AnswerInfoRequest(argc, argv, "quillpost-provision", kUsage))
        return 0;
    if (argc > 1) {
        std::cerr << "quillpost-provision: unknown argument " << argv[1] << "\n" << kUsage;
        return kExitUsage;
    }
    // Checked before any step, so that nothing is half done and CUPS never asks for a password.
    if (::geteuid() != 0) {
        std::cout << qp::kProvisionNeedsRoot;
        return kExitFailed;
    }
    std::ostringstream lines;
    const int result = qp::ProvisionFaxPrinter(lines);
    // Some failure lines have no line end of their own; the added lines must stand on their own.
    qp::WriteEndedLines(std::cout, lines.str());
    if (result == 0)
        std::cout << qp::ProvisionLayoutLines(qp::DefaultProvisionPaths().commonFolder);
    const bool cupsUnreachable = result != 0 && !qp::CupsSchedulerReachable();
    std::cout << qp::ProvisionClosingLines(result, cupsUnreachable, qp::CupsStartCommand());
    return result == 0 ? 0 : kExitFailed;
}
