#include "platform/ProcessRunner.h"
#include "platform/Sockets.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestSupport.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

// The client killed outright while Ghostscript converts: the program it ran goes with it.
TEST(ProcessRunner, AProgramEndsWithTheProcessThatRanItThoughThatWasKilled) {
    int pidPipe[2];
    // Not closed on exec: the program writes its process id into it.
    ASSERT_EQ(::pipe(pidPipe), 0);
    const pid_t client = ::fork();
    ASSERT_GE(client, 0);
    if (client == 0) {
        ::close(pidPipe[0]);
        const std::string tellPid = "echo $$ >&" + std::to_string(pidPipe[1]);
        qp::SystemProcessRunner().RunAndWait({"/bin/sh", "-c", tellPid + "; exec sleep 600"});
        ::_exit(0);
    }
    ::close(pidPipe[1]);
    std::string pidText;
    char c = 0;
    while (::read(pidPipe[0], &c, 1) == 1 && c != '\n')
        pidText += c;
    ::close(pidPipe[0]);
    ::kill(client, SIGKILL);
    EXPECT_EQ(qp::test::WaitForChild(client), -1);
    ASSERT_FALSE(pidText.empty()) << "the program did not start";
    const pid_t program = std::stoi(pidText);

    const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, program, 0));
    if (pidFd < 0) {
        EXPECT_EQ(errno, ESRCH);
        return;
    }
    pollfd ended{pidFd, POLLIN, 0};
    const bool gone = ::poll(&ended, 1, 30000) == 1;
    ::close(pidFd);
    if (!gone)
        ::kill(program, SIGKILL);
    EXPECT_TRUE(gone) << "the program outlived the process that ran it";
}
