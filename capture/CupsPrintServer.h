#pragma once

#include "capture/PrintServer.h"

namespace qp {

// The print server over libcups IPP requests. Holds no state: libcups keeps its connection per
// thread, so one object serves every thread.
class CupsPrintServer final : public PrintServer {
public:
    int ListQueues(std::vector<PrintQueue>& queues) override;
    bool QueueExists(const std::string& name) override;
    int DeleteQueue(const std::string& name) override;
    int AddQueue(const NewPrintQueue& queue) override;
};

} // namespace qp
