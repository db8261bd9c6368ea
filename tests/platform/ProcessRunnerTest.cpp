#include "platform/ProcessRunner.h"
#include "platform/Sockets.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestSupport.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
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

namespace {

// Alive, not only a zombie that nobody has reaped yet.
bool Running(pid_t pid) {
    const std::string stat = qp::test::ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t end = stat.rfind(") ");
    return end != std::string::npos && end + 2 < stat.size() && stat[end + 2] != 'Z' &&
           stat[end + 2] != 'X';
}

} // namespace

// The client killed outright while Ghostscript converts: the program it waits for goes with it,
// while a viewer it started detached stays open.
TEST(ProcessRunner, AProgramEndsWithTheProcessThatRanItThoughThatWasKilled) {
    int pidPipe[2];
    // Not closed on exec: each program writes its role and process id into it.
    ASSERT_EQ(::pipe(pidPipe), 0);
    const pid_t client = ::fork();
    ASSERT_GE(client, 0);
    if (client == 0) {
        ::close(pidPipe[0]);
        const auto tellPid = [&](const std::string& role) {
            return "echo " + role + " $$ >&" + std::to_string(pidPipe[1]) + "; exec sleep 600";
        };
        qp::ProcessRunner& runner = qp::SystemProcessRunner();
        runner.StartDetached({"/bin/sh", "-c", tellPid("viewer")});
        runner.RunAndWait({"/bin/sh", "-c", tellPid("converter")});
        ::_exit(0);
    }
    ::close(pidPipe[1]);
    std::map<std::string, pid_t> programs;
    std::string line;
    char c = 0;
    while (programs.size() < 2 && ::read(pidPipe[0], &c, 1) == 1) {
        if (c != '\n') {
            line += c;
            continue;
        }
        const std::size_t space = line.find(' ');
        programs[line.substr(0, space)] = std::stoi(line.substr(space + 1));
        line.clear();
    }
    ::close(pidPipe[0]);
    ::kill(client, SIGKILL);
    EXPECT_EQ(qp::test::WaitForChild(client), -1);
    ASSERT_EQ(programs.size(), 2u) << "the programs did not start";
    const pid_t viewer = programs["viewer"];
    const pid_t converter = programs["converter"];

    const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, converter, 0));
    bool gone = pidFd < 0 && errno == ESRCH;
    if (pidFd >= 0) {
        pollfd ended{pidFd, POLLIN, 0};
        gone = ::poll(&ended, 1, 30000) == 1;
        ::close(pidFd);
    }
    if (!gone)
        ::kill(converter, SIGKILL);
    EXPECT_TRUE(gone) << "the program outlived the process that ran it";
    EXPECT_TRUE(Running(viewer)) << "the viewer went with the process that started it";
    ::kill(viewer, SIGKILL);
}
