#pragma once

#include <string>
#include <vector>

namespace qp {

struct PrintQueue {
    std::string name;
    std::string deviceUri;
};

struct NewPrintQueue {
    std::string name;
    std::string info;
    std::string deviceUri;
    std::string ppdPath;  // sent with the request, so the server needs no driver helper of its own
    std::string opPolicy; // the server's operation policy for the queue; empty keeps its default
};

// The server's statuses that say the user may not make a change: forbidden, not authenticated,
// not authorized.
inline bool IsRefusal(int status) {
    return status >= 0x401 && status <= 0x403;
}

// The print server operations that the printer lookup and provisioning need. Calls that can fail
// return 0 on success, else the server's status code, which goes into the reported results.
class PrintServer {
public:
    virtual ~PrintServer() = default;
    virtual int ListQueues(std::vector<PrintQueue>& queues) = 0;
    virtual bool QueueExists(const std::string& name) = 0;
    virtual int DeleteQueue(const std::string& name) = 0;
    // The new queue is enabled, accepts jobs and is not shared.
    virtual int AddQueue(const NewPrintQueue& queue) = 0;
};

// The CUPS server that libcups selects (CUPS_SERVER, client.conf, else the local scheduler).
PrintServer& DefaultPrintServer();

// Whether that server accepts a connection at all.
bool CupsSchedulerReachable();

} // namespace qp
