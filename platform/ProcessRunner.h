#pragma once

#include <stop_token>
#include <string>
#include <vector>

namespace qp {

struct ProcessResult {
    bool started = false; // false when the program could not be run at all
    int error = 0;        // errno of the failed start
    bool exited = false;  // false when killed by a signal
    int exitCode = -1;
};

// Starting other programs, behind a seam so that callers are tested without running them.
// argv[0] is the program's path; no shell is involved.
class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    // Runs the program and waits for it. Only the calling thread blocks. A stop request ends the
    // program with SIGKILL, or keeps it from starting (ECANCELED). The program never outlives
    // this process: killed outright, it takes the program with it.
    virtual ProcessResult RunAndWait(const std::vector<std::string>& argv,
                                     std::stop_token stop) = 0;
    ProcessResult RunAndWait(const std::vector<std::string>& argv) { return RunAndWait(argv, {}); }
    // Starts the program in its own session and does not wait; `workDir` empty keeps ours.
    virtual bool StartDetached(const std::vector<std::string>& argv,
                               const std::string& workDir = {}) = 0;
    // Runs the program at `path` in place of this process, with `argv` as its whole argument list
    // (argv[0] included) and our current folder. Returns only when that failed; a runner that
    // cannot replace the process counts as such a failure.
    virtual void ReplaceProcess(const std::string& path, const std::vector<std::string>& argv) {
        (void)path;
        (void)argv;
    }
};

ProcessRunner& SystemProcessRunner();

// The same, except that what RunAndWait's programs print (standard output and error) goes to
// /dev/null: a command-line tool then speaks to its user in its own words only, never in the raw
// text of another program.
ProcessRunner& QuietProcessRunner();

} // namespace qp
