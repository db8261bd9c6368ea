#include "capture/FaxPrinterLookup.h"

#include "base/DeviceUri.h"
#include "capture/Diagnostics.h"
#include "capture/FaxPrinter.h"

#include <cctype>
#include <vector>

namespace qp {

bool IsFaxPrinterName(const std::string& queueName) {
    const std::string wanted = kFaxPrinterInfo;
    if (queueName.size() != wanted.size())
        return false;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const char c = queueName[i] == '_' ? ' ' : queueName[i];
        if (std::tolower(static_cast<unsigned char>(c)) !=
            std::tolower(static_cast<unsigned char>(wanted[i])))
            return false;
    }
    return true;
}

std::string FindFaxPrinterPort(PrintServer& server, std::ostream& out) {
    std::vector<PrintQueue> queues;
    if (const int status = server.ListQueues(queues)) {
        Diagnose(out, "Unable to retrieve printer: %d", status);
        return {};
    }
    std::string port;
    for (const PrintQueue& queue : queues) {
        if (!IsFaxPrinterName(queue.name))
            continue;
        // A queue of that name that prints elsewhere has no port file to watch.
        if (std::optional<std::string> path = PortPathFromUri(queue.deviceUri))
            port = *path;
    }
    return port;
}

std::string FindFaxPrinterPort(std::ostream& out) {
    return FindFaxPrinterPort(DefaultPrintServer(), out);
}

} // namespace qp
