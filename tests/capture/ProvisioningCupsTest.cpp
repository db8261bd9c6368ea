#include "capture/FaxPrinterLookup.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestSupport.h"
#include "tests/support/cups/CupsFixture.h"
#include "tests/support/cups/TestUsers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

class ProvisioningCupsTest : public qp::test::CupsdTest {
protected:
    std::string FirstRunLines() {
        return "Monitor already exists: quillpost\n"
               "Port added: " +
               Cupsd().PortFile() +
               "\n"
               "Printer driver directory: " +
               Cupsd().ModelFolder() +
               "\n"
               "Printer driver added: TW PS Driver\n"
               "Printer added: Quill_Post\n"
               "Printer closed after creation.\n";
    }
    std::string Lpstat(const std::vector<std::string>& args) {
        std::vector<std::string> argv{"lpstat"};
        argv.insert(argv.end(), args.begin(), args.end());
        return qp::test::RunProgram(argv).out;
    }
};

TEST_F(ProvisioningCupsTest, FirstAndSecondRunOnAnEmptyServer) {
    std::ostringstream lookup;
    EXPECT_EQ(qp::FindFaxPrinterPort(lookup), "");
    EXPECT_EQ(lookup.str(), "");

    // The lines each run prints are the provisioning tests' (the command's first run below).
    std::string out;
    ASSERT_EQ(Cupsd().ProvisionFaxPrinter(&out), 0) << out;
    ASSERT_EQ(Cupsd().ProvisionFaxPrinter(&out), 0) << out;

    // Re-created, enabled, accepting jobs, with the name users know.
    EXPECT_NE(Lpstat({"-p", "Quill_Post"}).find("is idle.  enabled"), std::string::npos);
    EXPECT_NE(Lpstat({"-a", "Quill_Post"}).find("accepting requests"), std::string::npos);
    EXPECT_NE(Lpstat({"-l", "-p", "Quill_Post"}).find("Description: Quill Post"),
              std::string::npos);
    EXPECT_EQ(Lpstat({"-v", "Quill_Post"}),
              "device for Quill_Post: quillpost:" + Cupsd().PortFile() + "\n");
    EXPECT_EQ(qp::FindFaxPrinterPort(lookup), Cupsd().PortFile());
    EXPECT_EQ(lookup.str(), "");
}

TEST_F(ProvisioningCupsTest, TheCommandTakesGsPpdFromItsFolderAndPrintsTheResultLast) {
    qp::test::TempDir workDir;
    std::filesystem::copy_file(qp::test::SourcePpdPath(), workDir.File("gs.ppd"));
    qp::test::ProgramRun run =
        qp::test::RunProgram({qp::test::BuiltProvisionPath()}, {}, workDir.Path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out,
              FirstRunLines() + "The port " + Cupsd().PortFile() + " names the common folder " +
                  Cupsd().FaxFolder() +
                  " (root's, mode 0755) and each user's port file; no fax is written there.\n"
                  "Faxes arrive in " +
                  Cupsd().FaxFolder() +
                  "/LOGIN/fax.ps, in the private folder of the user who printed them.\n"
                  "Faxes printed before that one is taken wait in " +
                  Cupsd().FaxFolder() +
                  "/LOGIN/waiting/ (at most 100 faxes and 1 GiB a user).\n"
                  "Result 0: done, the fax printer Quill_Post is ready.\n");
    EXPECT_EQ(qp::test::ReadFile(Cupsd().ModelFolder() + "/gs.ppd"),
              qp::test::ReadFile(qp::test::SourcePpdPath()));

    Cupsd().RemoveFaxBackend();
    run = qp::test::RunProgram({qp::test::BuiltProvisionPath()}, {}, workDir.Path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out,
              "Port monitor 'quillpost' does not exist\n"
              "Result 1300002: failed, the CUPS backend \"quillpost\" is not installed.\n");
}

// Only root may make the common folder and install the driver, and only an administrator may
// replace the queue: a user is told so before anything is tried, and nothing changes.
TEST_F(ProvisioningCupsTest, TheCommandRunByAUserSaysItNeedsRootAndChangesNothing) {
    ASSERT_EQ(Cupsd().ProvisionFaxPrinter(), 0);
    // The scheduler logs each request it takes; a user must not get as far as asking.
    auto deletions = [this] {
        const std::string log = Cupsd().ErrorLog();
        std::size_t count = 0;
        for (std::size_t at = log.find("CUPS-Delete-Printer"); at != std::string::npos;
             at = log.find("CUPS-Delete-Printer", at + 1))
            ++count;
        return count;
    };
    const std::size_t before = deletions();
    const qp::test::TestUser user = qp::test::EnsureTestUser("quillpost-test-user");
    const qp::test::ProgramRun run = qp::test::RunProgram(
        {"setpriv", "--reuid=" + std::to_string(user.uid), "--regid=" + std::to_string(user.gid),
         "--clear-groups", qp::test::BuiltProvisionPath()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "quillpost-provision: creating the fax printer needs root and the right to "
                       "administer CUPS; run it as root: sudo quillpost-provision\n");
    EXPECT_EQ(deletions(), before);
}

TEST_F(ProvisioningCupsTest, TheCommandSaysSoWhenCupsIsNotRunning) {
    qp::test::ScopedEnv gone{"CUPS_SERVER", Cupsd().Root() + "/no-such.sock"};
    const qp::test::ProgramRun run = qp::test::RunProgram({qp::test::BuiltProvisionPath()});
    EXPECT_EQ(run.exitCode, 1);
    const std::string& out = run.out;
    // Provisioning's own line keeps its form; the added ones follow on lines of their own.
    EXPECT_EQ(out.rfind("Monitor already exists: quillpost\n"
                        "Unable to retrieve print port monitors: 1282\n"
                        "CUPS is not running: start it with \"",
                        0),
              0u)
        << out;
    EXPECT_NE(out.find("\", then run quillpost-provision again.\n"
                       "Result 2001282: failed, the print queues could not be listed.\n"),
              std::string::npos)
        << out;
}

} // namespace
