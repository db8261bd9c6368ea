#pragma once

#include "capture/Provisioning.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qp::test {

// The freshly built programs and the PPD of the source tree.
std::string BuiltBackendPath();
std::string BuiltProvisionPath();
std::string SourcePpdPath();

// Why a private cupsd cannot run here (not root, cupsd missing), or empty when it can.
std::string PrivateCupsdUnavailableReason();

// A CUPS scheduler of the test's own, running as root with `User lp`, listening only on a Unix
// socket in a temporary folder, with FileDevice off and a ServerBin of links to the system's
// programs plus the freshly built quillpost backend. While it runs, CUPS_SERVER (and, for
// provisioning, CUPS_SERVERBIN, CUPS_DATADIR and QUILLPOST_COMMON_DIR) point at it; the destructor
// stops it, restores them and removes the folder.
class PrivateCupsd {
public:
    // Throws std::runtime_error, with the scheduler's log, when it does not come up.
    PrivateCupsd();
    ~PrivateCupsd();
    PrivateCupsd(const PrivateCupsd&) = delete;
    PrivateCupsd& operator=(const PrivateCupsd&) = delete;

    const std::string& Root() const { return m_root; }
    std::string Socket() const { return m_root + "/cups.sock"; }
    std::string ServerBin() const { return m_root + "/serverbin"; }
    std::string BackendFolder() const { return ServerBin() + "/backend"; }
    std::string DataDir() const { return m_root + "/data"; }
    std::string ModelFolder() const { return DataDir() + "/model"; }
    // The common folder for the work files; provisioning creates it.
    std::string FaxFolder() const { return m_root + "/fax"; }
    std::string PortFile() const { return FaxFolder() + "/fax.ps"; }
    // Where the backend puts a job of the user `login`.
    std::string UserFolder(const std::string& login) const { return FaxFolder() + "/" + login; }
    std::string UserPortFile(const std::string& login) const {
        return UserFolder(login) + "/fax.ps";
    }
    std::string ErrorLog() const;

    // Takes the quillpost backend away, as on a machine where it was never installed.
    void RemoveFaxBackend();

    // Stops the scheduler and every process it started, detached ones too, as the service
    // manager does on a restart, then starts it again on the same folders; throws as the
    // constructor does. What it spooled and the fax folders stay.
    void Restart();
    // The processes that run this server's copy of the quillpost backend.
    std::vector<pid_t> BackendProcesses() const;

    // Provisioning paths of this server, with the PPD of the source tree.
    qp::ProvisionPaths FaxPrinterPaths() const;
    // Sets up "Quill_Post" here; the diagnostic lines go to `output` when given.
    int ProvisionFaxPrinter(std::string* output = nullptr) const;

private:
    void Prepare();
    void Launch();
    void WaitUntilListening();
    void Stop();
    void Shutdown();

    std::string m_root;
    pid_t m_pid = -1;
    std::vector<std::unique_ptr<ScopedEnv>> m_env;
};

// Test base: skips with the reason where a private cupsd cannot run, else starts one per test.
class CupsdTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    PrivateCupsd& Cupsd() { return *m_cupsd; }

private:
    std::unique_ptr<PrivateCupsd> m_cupsd;
};

} // namespace qp::test
