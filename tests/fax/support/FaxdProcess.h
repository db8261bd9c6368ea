#pragma once

#include "tests/support/ChildProcess.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qp::test {

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
