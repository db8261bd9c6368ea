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
// variables (nullopt removes one) and returns what it printed.
ProgramRun RunProgram(const std::vector<std::string>& argv,
                      const std::map<std::string, std::optional<std::string>>& env = {});

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

// A real quillpost-faxd on a free loopback port, with its own accounts file and outbox.
class FaxdProcess {
public:
    // `accounts` is the accounts file's text; `folder` holds it and the outbox. With
    // `outboxBytes`, the server runs in a mount namespace of its own with the outbox on a file
    // system of that size, which we do not see into.
    FaxdProcess(const std::string& folder, const std::string& accounts,
                std::optional<std::size_t> outboxBytes = std::nullopt);
    // Whether this system lets us give the server such a file system (user namespaces).
    static bool CanLimitOutbox(const std::string& folder);

    int Port() const { return m_port; }
    const std::string& Outbox() const { return m_outbox; }
    std::optional<std::string> WaitForLog(const std::string& text,
                                          std::chrono::seconds limit = std::chrono::seconds(20)) {
        return m_process->WaitForLog(text, limit);
    }
    std::vector<std::string> Log() const { return m_process->Log(); }
    int Stop() { return m_process->Stop(); }
    // Files in the outbox with this extension, sorted.
    std::vector<std::string> Stored(const std::string& extension) const;

private:
    std::string m_outbox;
    std::unique_ptr<LoggedProcess> m_process;
    int m_port = 0;
};

} // namespace qp::test
