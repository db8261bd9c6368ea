#pragma once

#include "capture/PrintServer.h"

#include <algorithm>
#include <string>
#include <vector>

namespace qp::test {

// A print server held in memory, with failures to order.
class FakePrintServer final : public PrintServer {
public:
    int ListQueues(std::vector<PrintQueue>& queues) override {
        queues = this->queues;
        return listStatus;
    }
    bool QueueExists(const std::string& name) override {
        return std::any_of(queues.begin(), queues.end(),
                           [&](const PrintQueue& q) { return q.name == name; });
    }
    int DeleteQueue(const std::string& name) override {
        ++deletes;
        if (deleteStatus == 0)
            queues.erase(std::remove_if(queues.begin(), queues.end(),
                                        [&](const PrintQueue& q) { return q.name == name; }),
                         queues.end());
        return deleteStatus;
    }
    int AddQueue(const NewPrintQueue& queue) override {
        added.push_back(queue);
        if (addStatus == 0)
            queues.push_back(PrintQueue{queue.name, queue.deviceUri});
        return addStatus;
    }

    std::vector<PrintQueue> queues;
    std::vector<NewPrintQueue> added;
    int listStatus = 0;
    int addStatus = 0;
    int deleteStatus = 0; // the queue stays unless 0
    int deletes = 0;
};

} // namespace qp::test
