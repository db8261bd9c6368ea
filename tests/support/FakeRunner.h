#pragma once

#include "platform/ProcessRunner.h"

#include <cerrno>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace qp::test {

// What a ReplaceProcess that succeeds does instead of never returning.
struct ProcessReplaced {};

// Records the programs it is asked to run and answers with a prepared result.
class FakeRunner final : public ProcessRunner {
public:
    ProcessResult result{true, 0, true, 0};
    bool detachedStarts = true;
    std::vector<std::vector<std::string>> waited;
    std::vector<std::vector<std::string>> detached;
    std::vector<std::string> detachedWorkDirs;
    // What the program would have done, e.g. write its output.
    std::function<void(const std::vector<std::string>&)> onRun;
    // Path and argument list of each ReplaceProcess. The fake returns as a failed exec would, with
    // errno set to `replaceError`; with 0 it throws ProcessReplaced, as the exec succeeded.
    std::vector<std::pair<std::string, std::vector<std::string>>> replaced;
    int replaceError = ENOENT;

    using ProcessRunner::RunAndWait;
    ProcessResult RunAndWait(const std::vector<std::string>& argv, std::stop_token) override {
        waited.push_back(argv);
        if (onRun)
            onRun(argv);
        return result;
    }
    bool StartDetached(const std::vector<std::string>& argv, const std::string& workDir) override {
        detached.push_back(argv);
        detachedWorkDirs.push_back(workDir);
        return detachedStarts;
    }
    void ReplaceProcess(const std::string& path, const std::vector<std::string>& argv) override {
        replaced.emplace_back(path, argv);
        if (replaceError == 0)
            throw ProcessReplaced{};
        errno = replaceError;
    }
};

} // namespace qp::test
