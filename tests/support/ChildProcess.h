#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qp::test {

struct ProgramRun {
    int exitCode = -1; // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs a program (a bare name is looked up on the PATH) to its end with changed environment
// variables (nullopt removes one), nothing on its standard input and, unless `workDir` is empty,
// in that folder; returns what it printed.
ProgramRun RunProgram(const std::vector<std::string>& argv,
                      const std::map<std::string, std::optional<std::string>>& env = {},
                      const std::string& workDir = {});

// Waits for a child; its exit code, or -1 when it did not exit normally.
int WaitForChild(int pid);

// A child program whose standard output is read line by line; stopped by SIGTERM at the end of
// the scope. `workDir` empty keeps ours.
class LoggedProcess {
public:
    explicit LoggedProcess(const std::vector<std::string>& argv,
                           const std::map<std::string, std::optional<std::string>>& env = {},
                           const std::string& workDir = {});
    ~LoggedProcess();
    LoggedProcess(const LoggedProcess&) = delete;
    LoggedProcess& operator=(const LoggedProcess&) = delete;

    int Pid() const { return m_pid; }
    // Waits (bounded generously) for a log line containing `text`; the line, or nothing.
    std::optional<std::string> WaitForLog(const std::string& text,
                                          std::chrono::seconds limit = std::chrono::seconds(20));
    std::vector<std::string> Log() const;
    // SIGTERM, then the exit code (-1 when it did not exit normally).
    int Stop();
    // Sends `signal` and waits at most `limit` for the end: the exit code (-1 when it did not exit
    // normally), or nothing when it was still running; it is killed then.
    std::optional<int> End(int signal, std::chrono::milliseconds limit);

private:
    void ReadOutput();
    int Reap();

    int m_pid = -1;
    int m_outFd = -1;
    int m_exitCode = -1;
    std::thread m_reader;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_lines;
    bool m_ended = false;
};

} // namespace qp::test
