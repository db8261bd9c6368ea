#include "platform/ProcessRunner.h"
#include "platform/Sockets.h"
#include "tests/support/TestSupport.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

TEST(ProcessRunner, ReportsExitStatusAndStartFailures) {
    qp::ProcessRunner& runner = qp::SystemProcessRunner();
    qp::ProcessResult ok = runner.RunAndWait({"/bin/sh", "-c", "exit 0"});
    EXPECT_TRUE(ok.started && ok.exited);
    EXPECT_EQ(ok.exitCode, 0);

    qp::ProcessResult one = runner.RunAndWait({"/bin/sh", "-c", "exit 1"});
    EXPECT_EQ(one.exitCode, 1);

    qp::ProcessResult missing = runner.RunAndWait({"/nonexistent/program"});
    EXPECT_FALSE(missing.started);
    EXPECT_NE(missing.error, 0);
}

TEST(ProcessRunner, DetachedStartRunsInTheGivenFolder) {
    qp::test::TempDir dir;
    qp::ProcessRunner& runner = qp::SystemProcessRunner();
    ASSERT_TRUE(runner.StartDetached({"/bin/sh", "-c", "pwd > where.txt"}, dir.Path()));
    EXPECT_FALSE(runner.StartDetached({"/nonexistent/program"}));

    // The detached child is not ours to wait for; poll for its output with a bound.
    const std::string out = dir.File("where.txt");
    for (int i = 0; i < 500 && qp::test::ReadFile(out).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(qp::test::ReadFile(out), dir.Path() + "\n");
}

TEST(ProcessRunner, ProgramsGetTheDefaultPipeSignalThoughWeIgnoreIt) {
    ASSERT_TRUE(qp::StartSockets());
    // A shell cannot undo a signal ignored before it started, so it would go on and exit 3.
    qp::ProcessResult result =
        qp::SystemProcessRunner().RunAndWait({"/bin/sh", "-c", "kill -PIPE $$; exit 3"});
    ASSERT_TRUE(result.started);
    EXPECT_FALSE(result.exited);
}
