#include "capture/ProvisionReport.h"

#include "base/ParkedJobs.h"
#include "capture/FaxPrinter.h"
#include "capture/Provisioning.h"

#include <sys/stat.h>

namespace qp {

namespace {

// The step a result code names: its base, the failed step's code without the error added to it.
constexpr int kBaseUnit = 100000;

std::string FailedStep(int base) {
    using namespace provision;
    switch (base) {
    case kListMonitorsFailed:
        return "the CUPS backend folder could not be read";
    case kMonitorMissing:
        return std::string("the CUPS backend \"") + kFaxBackendName + "\" is not installed";
    case kListPortsFailed:
        return "the print queues could not be listed";
    case kPortFolderFailed:
        return "the common folder could not be found";
    case kListDriversFailed:
        return "the printer drivers could not be listed";
    case kDriverFolderFailed:
        return "the printer driver folder could not be made";
    case kCopyPpdFailed:
        return "the PPD file could not be copied";
    case kAddDriverFailed:
        return "the printer driver could not be added";
    case kAddPrinterFailed:
        return std::string("the queue ") + kFaxQueueName + " could not be added";
    default:
        if (base >= kAddPortCallFailed && base <= kAddPortOther)
            return "the common folder could not be made or secured";
        return "unknown failure";
    }
}

} // namespace

std::string ProvisionClosingLines(int result, bool cupsUnreachable,
                                  const std::string& startCommand) {
    std::string lines;
    if (cupsUnreachable)
        lines += "CUPS is not running: start it with \"" + startCommand +
                 "\", then run quillpost-provision again.\n";
    // The server's status added to the base; system errors are far below its range.
    if (IsRefusal(result % kBaseUnit))
        lines +=
            "quillpost-provision: CUPS refused the request; creating the fax printer needs the "
            "right to administer CUPS (run it as root on the machine CUPS runs on).\n";
    const std::string number = std::to_string(result);
    if (result == 0)
        return lines + "Result " + number + ": done, the fax printer " + kFaxQueueName +
               " is ready.\n";
    return lines + "Result " + number + ": failed, " + FailedStep(result / kBaseUnit * kBaseUnit) +
           ".\n";
}

std::string ProvisionLayoutLines(const std::string& commonFolder) {
    const std::string user = commonFolder + "/LOGIN/";
    return "The port " + commonFolder + "/" + kPortFileName + " names the common folder " +
           commonFolder +
           " (root's, mode 0755) and each user's port file; no fax is written there.\n"
           "Faxes arrive in " +
           user + kPortFileName +
           ", in the private folder of the user who printed them.\n"
           "Faxes printed before that one is taken wait in " +
           user + kParkedFolderName + "/ (at most " + std::to_string(kMaxParkedJobs) +
           " faxes and " + std::to_string(kMaxParkedBytes >> 30) + " GiB a user).\n";
}

std::string CupsStartCommand() {
    struct stat st {};
    // Where systemd runs the machine, its own command; elsewhere the init script's wrapper.
    if (::stat("/run/systemd/system", &st) == 0 && S_ISDIR(st.st_mode))
        return "systemctl start cups";
    return "service cups start";
}

} // namespace qp
