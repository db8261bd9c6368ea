#pragma once

#include "platform/ProcessRunner.h"

#include <string>
#include <vector>

namespace qp::test {

// Records the programs it is asked to run and answers with a prepared result.
class FakeRunner final : public ProcessRunner {
public:
    ProcessResult result{true, 0, true, 0};
    bool detachedStarts = true;
    std::vector<std::vector<std::string>> waited;
    std::vector<std::vector<std::string>> detached;
    std::vector<std::string> detachedWorkDirs;

    using ProcessRunner::RunAndWait;
    ProcessResult RunAndWait(const std::vector<std::string>& argv, std::stop_token) override {
        waited.push_back(argv);
        return result;
    }
    bool StartDetached(const std::vector<std::string>& argv, const std::string& workDir) override {
        detached.push_back(argv);
        detachedWorkDirs.push_back(workDir);
        return detachedStarts;
    }
};

} // namespace qp::test
