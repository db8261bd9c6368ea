#include "tests/support/TestSupport.h"
#include "tests/support/cups/CupsFixture.h"
#include "tests/support/cups/TestUsers.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using qp::test::ReadFile;
using qp::test::WriteFile;

// The backend as cupsd runs it: its own environment, the job on stdin or as a file argument.
class BackendProcess {
public:
    BackendProcess(const std::vector<std::string>& args, const std::vector<std::string>& env) {
        int in[2];
        int out[2];
        int err[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
            ::pipe2(err, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        std::vector<std::string> argStrings = args;
        std::vector<std::string> envStrings = env;
        std::vector<char*> argv;
        for (std::string& a : argStrings)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& e : envStrings)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        const std::string program = qp::test::BuiltBackendPath();
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            ::execve(program.c_str(), argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        m_stdin = in[1];
        m_stdout = out[0];
        m_stderr = err[0];
    }
    ~BackendProcess() {
        CloseStdin();
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::close(m_stdout);
        ::close(m_stderr);
    }

    void Write(const std::string& data) {
        ASSERT_EQ(::write(m_stdin, data.data(), data.size()), static_cast<ssize_t>(data.size()));
    }
    void CloseStdin() {
        if (m_stdin >= 0)
            ::close(m_stdin);
        m_stdin = -1;
    }
    void Signal(int signal) { ::kill(m_pid, signal); }
    // Returns once the backend has stopped, wherever it was.
    void Pause() {
        ::kill(m_pid, SIGSTOP);
        int status = 0;
        ::waitpid(m_pid, &status, WUNTRACED);
    }
    // As when cupsd stops reading the backend's status.
    void CloseStderr() {
        ::close(m_stderr);
        m_stderr = -1;
    }

    // Reads standard error until it holds `text`; false when it does not within `timeout`.
    bool WaitForErr(const std::string& text, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (m_err.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            pollfd fd{m_stderr, POLLIN, 0};
            if (::poll(&fd, 1, 100) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(m_stderr, buffer, sizeof(buffer));
            if (n <= 0)
                return false;
            m_err.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    }

    // Its exit code; standard output and error are read to their end.
    int Wait() {
        CloseStdin();
        m_out = Drain(m_stdout);
        m_err += Drain(m_stderr);
        const int code = qp::test::WaitForChild(m_pid);
        m_pid = -1;
        return code;
    }
    const std::string& Out() const { return m_out; }
    const std::string& Err() const { return m_err; }

private:
    static std::string Drain(int fd) {
        std::string text;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof(buffer));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return text;
            text.append(buffer, static_cast<std::size_t>(n));
        }
    }

    pid_t m_pid = -1;
    int m_stdin = -1;
    int m_stdout = -1;
    int m_stderr = -1;
    std::string m_out;
    std::string m_err;
};

class BackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "the backend hands jobs to their users, which needs root";
        // The common folder as provisioning leaves it.
        ::chmod(m_dir.Path().c_str(), 0755);
    }

    std::vector<std::string> Env(const std::string& wait = "0") const {
        return {"DEVICE_URI=quillpost:" + m_dir.File("fax.ps"), "QUILLPOST_BACKEND_WAIT=" + wait,
                "PATH=/usr/bin:/bin"};
    }
    std::vector<std::string> JobArgs(const std::string& user = "nobody") const {
        return {"quillpost:" + m_dir.File("fax.ps"), "42", user, "report.ps", "1", "number-up=1"};
    }
    std::string Folder(const std::string& user = "nobody") const { return m_dir.File(user); }
    std::string Port(const std::string& user = "nobody") const { return Folder(user) + "/fax.ps"; }
    std::vector<std::string> Entries(const std::string& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    bool HasTemporaryFile() const {
        if (!std::filesystem::exists(Folder()))
            return false;
        for (const std::string& name : Entries(Folder())) {
            if (name.rfind(".fax.ps.", 0) == 0)
                return true;
        }
        return false;
    }
    // A job for `user` whose port file is taken already.
    void PutWaitingJob(const std::string& user = "nobody") {
        const passwd* entry = ::getpwnam(user.c_str());
        ASSERT_NE(entry, nullptr);
        std::filesystem::create_directory(Folder(user));
        ASSERT_EQ(::chown(Folder(user).c_str(), entry->pw_uid, entry->pw_gid), 0);
        ::chmod(Folder(user).c_str(), 0700);
        WriteFile(Port(user), "%!PS waiting to be taken");
    }

    qp::test::TempDir m_dir;
};

TEST_F(BackendTest, AnswersDiscoveryAndRejectsWrongArguments) {
    BackendProcess discovery({"quillpost"}, {});
    EXPECT_EQ(discovery.Wait(), 0);
    EXPECT_EQ(discovery.Out(), "direct quillpost \"Unknown\" \"Quill Post\"\n");

    BackendProcess wrong({"quillpost", "42", "nobody"}, Env());
    EXPECT_EQ(wrong.Wait(), 1);
    EXPECT_EQ(wrong.Err().rfind("Usage: ", 0), 0u) << wrong.Err();
}

TEST_F(BackendTest, WritesTheJobIntoItsUsersOwnFolderFromStdinOrAFile) {
    const std::string job = "%!PS-Adobe-3.0\n" + std::string(200000, 'x') + "\n%%EOF\n";
    BackendProcess fromStdin(JobArgs(), Env());
    fromStdin.Write(job);
    ASSERT_EQ(fromStdin.Wait(), 0) << fromStdin.Err();

    struct stat st {};
    ASSERT_EQ(::lstat(Folder().c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    ASSERT_EQ(::stat(Port().c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(ReadFile(Port()), job);
    EXPECT_EQ(Entries(Folder()), std::vector<std::string>{"fax.ps"});
    EXPECT_EQ(Entries(m_dir.Path()), std::vector<std::string>{"nobody"});

    const std::string file = m_dir.File("input.ps");
    WriteFile(file, "%!PS from a file\n");
    std::vector<std::string> args = JobArgs("root");
    args.push_back(file);
    BackendProcess fromFile(args, Env());
    ASSERT_EQ(fromFile.Wait(), 0) << fromFile.Err();
    EXPECT_EQ(ReadFile(Port("root")), "%!PS from a file\n");
    ASSERT_EQ(::stat(Port("root").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
}

TEST_F(BackendTest, AJobWaitsForItsUsersPortInTheBackgroundWithoutHoldingTheQueue) {
    PutWaitingJob();
    BackendProcess backend(JobArgs(), Env("60"));
    backend.Write("%!PS the next job");
    // Its status pipes close at once: nothing of the waiter keeps them open for cupsd.
    EXPECT_EQ(backend.Wait(), 0) << backend.Err();
    EXPECT_NE(backend.Err().find("INFO: The fax waits in " + Port()), std::string::npos)
        << backend.Err();
    EXPECT_EQ(ReadFile(Port()), "%!PS waiting to be taken");

    // Another user's job goes through meanwhile.
    BackendProcess other(JobArgs("root"), Env("60"));
    other.Write("%!PS root's job");
    EXPECT_EQ(other.Wait(), 0) << other.Err();
    EXPECT_EQ(ReadFile(Port("root")), "%!PS root's job");

    std::filesystem::rename(Port(), m_dir.File("taken.ps"));
    EXPECT_TRUE(
        qp::test::WaitUntil([&] { return qp::test::ReadFile(Port()) == "%!PS the next job"; },
                            std::chrono::seconds(20)));
    EXPECT_EQ(ReadFile(m_dir.File("taken.ps")), "%!PS waiting to be taken");
    EXPECT_TRUE(qp::test::WaitUntil([&] { return !HasTemporaryFile(); }, std::chrono::seconds(5)));
}

TEST_F(BackendTest, WaitingJobsComeOutInTheOrderTheyWerePrintedPastLeftoversOfEndedWaiters) {
    PutWaitingJob();
    // Temporary files that no waiter holds any more, named as if they had come first.
    for (int i = 0; i < 40; ++i)
        WriteFile(Folder() + "/.fax.ps.0000000000000000left" + std::to_string(i), "%!PS old");
    // Apart in time, so that the waiters do not look for the port file in the order they began.
    for (int i = 1; i <= 5; ++i) {
        BackendProcess backend(JobArgs(), Env("60"));
        backend.Write("%!PS job " + std::to_string(i));
        ASSERT_EQ(backend.Wait(), 0) << backend.Err();
        EXPECT_NE(backend.Err().find("INFO: The fax waits in " + Port()), std::string::npos)
            << backend.Err();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (int i = 1; i <= 5; ++i) {
        std::filesystem::remove(Port());
        const std::string job = "%!PS job " + std::to_string(i);
        EXPECT_TRUE(
            qp::test::WaitUntil([&] { return ReadFile(Port()) == job; }, std::chrono::seconds(20)))
            << job << " came out as " << ReadFile(Port());
    }
}

TEST_F(BackendTest, AWaitThatEndsLeavesTheWaitingJobAsItWasAndNothingElse) {
    PutWaitingJob();
    BackendProcess backend(JobArgs(), Env("0"));
    backend.Write("%!PS the next job");
    backend.CloseStderr();
    EXPECT_EQ(backend.Wait(), 0);
    EXPECT_TRUE(qp::test::WaitUntil([&] { return !HasTemporaryFile(); }, std::chrono::seconds(5)));
    EXPECT_EQ(Entries(Folder()), std::vector<std::string>{"fax.ps"});
    EXPECT_EQ(ReadFile(Port()), "%!PS waiting to be taken");
}

TEST_F(BackendTest, ACancelledJobLeavesNothingBehind) {
    BackendProcess backend(JobArgs(), Env());
    backend.Write("%!PS the first half");
    ASSERT_TRUE(qp::test::WaitUntil([&] { return HasTemporaryFile(); }, std::chrono::seconds(20)));
    backend.Signal(SIGTERM);
    EXPECT_EQ(backend.Wait(), 1) << backend.Err();
    EXPECT_TRUE(Entries(Folder()).empty());
}

// These end before reading the job, so nothing is written to them.
TEST_F(BackendTest, RefusesJobsItCannotDeliver) {
    // The name comes from the job: it cannot add a status line of its own.
    BackendProcess stranger(JobArgs("no-such-user-qp\nATTR: printer-alert=x"), Env());
    EXPECT_EQ(stranger.Wait(), 5) << stranger.Err(); // CUPS_BACKEND_CANCEL: nobody could take it
    EXPECT_EQ(stranger.Err(), "ERROR: Unknown user \"no-such-user-qp?ATTR: printer-alert=x\"\n");

    BackendProcess badUri(JobArgs(), {"DEVICE_URI=quillpost:fax.ps"});
    EXPECT_EQ(badUri.Wait(), 4) << badUri.Err(); // CUPS_BACKEND_STOP: the queue needs fixing
    EXPECT_EQ(badUri.Err().rfind("ERROR: ", 0), 0u) << badUri.Err();

    BackendProcess noFolder(JobArgs(), {"DEVICE_URI=quillpost:" + m_dir.File("gone/fax.ps")});
    EXPECT_EQ(noFolder.Wait(), 4) << noFolder.Err();
    EXPECT_EQ(noFolder.Err().rfind("ERROR: ", 0), 0u) << noFolder.Err();

    ::chmod(m_dir.Path().c_str(), 01777);
    BackendProcess openFolder(JobArgs(), Env());
    EXPECT_EQ(openFolder.Wait(), 4) << openFolder.Err();
    EXPECT_EQ(openFolder.Err(), "ERROR: The fax folder \"" + m_dir.Path() +
                                    "\" must belong to root and be writable by nobody else\n");
    EXPECT_TRUE(Entries(m_dir.Path()).empty());
}

TEST_F(BackendTest, AUserFolderTakenByAnythingElseFailsOnlyThatUsersJob) {
    qp::test::TempDir elsewhere;
    const std::string folder = Folder();
    const struct {
        const char* what;
        std::function<void()> plant;
        std::string problem;
    } cases[] = {
        {"a file", [&] { WriteFile(folder, "planted"); }, "is taken by something else"},
        {"a pipe", [&] { ::mkfifo(folder.c_str(), 0666); }, "is taken by something else"},
        {"a link to a folder",
         [&] {
             ::chown(elsewhere.Path().c_str(), 65534, 65534);
             std::filesystem::create_directory_symlink(elsewhere.Path(), folder);
         },
         "is taken by something else"},
        {"a folder of another user",
         [&] {
             std::filesystem::create_directory(folder);
             ::chmod(folder.c_str(), 0700);
         },
         "belongs to another user"},
        {"a folder open to others",
         [&] {
             std::filesystem::create_directory(folder);
             ::chown(folder.c_str(), 65534, 65534);
             ::chmod(folder.c_str(), 0755);
         },
         "is open to other users"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(m_dir.Path());
        std::filesystem::create_directory(m_dir.Path());
        ::chmod(m_dir.Path().c_str(), 0755);
        c.plant();
        BackendProcess backend(JobArgs(), Env());
        backend.Write("%!PS planted against");
        EXPECT_EQ(backend.Wait(), 5) << c.what << ": " << backend.Err(); // CUPS_BACKEND_CANCEL
        EXPECT_EQ(backend.Err(), "ERROR: The fax folder \"" + folder + "\" " + c.problem + "\n")
            << c.what;
        EXPECT_TRUE(Entries(elsewhere.Path()).empty()) << c.what;

        BackendProcess other(JobArgs("root"), Env());
        other.Write("%!PS unaffected");
        EXPECT_EQ(other.Wait(), 0) << c.what << ": " << other.Err();
        EXPECT_EQ(ReadFile(Port("root")), "%!PS unaffected") << c.what;
    }
}

} // namespace
