#include "base/ParkedJobs.h"
#include "tests/support/ChildProcess.h"
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
#include <sys/file.h>
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

    // A backend that refuses the job may be gone before it has read it all: that is its answer,
    // not a failure of the test.
    void Write(const std::string& data) {
        ::signal(SIGPIPE, SIG_IGN);
        const ssize_t written = ::write(m_stdin, data.data(), data.size());
        if (written < 0 && errno == EPIPE)
            return;
        ASSERT_EQ(written, static_cast<ssize_t>(data.size()));
    }
    void CloseStdin() {
        if (m_stdin >= 0)
            ::close(m_stdin);
        m_stdin = -1;
    }
    void Signal(int signal) { ::kill(m_pid, signal); }
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

    std::vector<std::string> Env() const {
        return {"DEVICE_URI=quillpost:" + m_common + "/fax.ps", "PATH=/usr/bin:/bin"};
    }
    std::vector<std::string> JobArgs(const std::string& user = "nobody",
                                     const std::string& jobId = "42") const {
        return {"quillpost:" + m_common + "/fax.ps", jobId, user, "report.ps", "1", "number-up=1"};
    }
    std::string Folder(const std::string& user = "nobody") const { return m_common + "/" + user; }
    std::string Port(const std::string& user = "nobody") const { return Folder(user) + "/fax.ps"; }
    std::string Waiting(const std::string& user = "nobody") const {
        return Folder(user) + "/waiting";
    }
    std::vector<std::string> Entries(const std::string& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    bool HasTemporaryFile() const {
        if (!std::filesystem::exists(Waiting()))
            return false;
        for (const std::string& name : Entries(Waiting())) {
            if (name.rfind(".part-", 0) == 0)
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
    // The common folder; a test may put it on a file system of its own.
    std::string m_common = m_dir.Path();
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
    EXPECT_EQ(Entries(Folder()), (std::vector<std::string>{"fax.ps", "waiting"}));
    EXPECT_TRUE(Entries(Waiting()).empty());
    ASSERT_EQ(::lstat(Waiting().c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
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

// The job's number leads the file it is delivered in, straight or parked; a document that
// starts like such a line gets an empty one before it, whatever bits the pipe brings it in.
TEST_F(BackendTest, TheJobsNumberLeadsItsFileAndADocumentNamesNoNumberOfItsOwn) {
    const std::string job = "%!PS-Adobe-3.0\n%%QuillpostPhone: 5559999999\nshowpage\n";
    std::vector<std::string> args = JobArgs();
    args.back() = "number-up=1 phone=Custom.5552010001";
    BackendProcess straight(args, Env());
    straight.Write(job);
    ASSERT_EQ(straight.Wait(), 0) << straight.Err();
    EXPECT_EQ(ReadFile(Port()), "%%QuillpostPhone: 5552010001\n" + job);

    args = JobArgs("nobody", "43");
    args.back() = "phone='555 201 0002' job-name=x";
    BackendProcess parked(args, Env());
    parked.Write(job);
    ASSERT_EQ(parked.Wait(), 0) << parked.Err();
    const std::vector<std::string> waiting = Entries(Waiting());
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_EQ(ReadFile(Waiting() + "/" + waiting[0]), "%%QuillpostPhone: 555 201 0002\n" + job);

    args = JobArgs("root");
    args.back() = "phone='<script>5552010003</script>'";
    BackendProcess forged(args, Env());
    forged.Write("%%Quill");
    forged.Write("postPhone: 5559999999\n" + job);
    ASSERT_EQ(forged.Wait(), 0) << forged.Err();
    EXPECT_EQ(ReadFile(Port("root")), "%%QuillpostPhone:\n%%QuillpostPhone: 5559999999\n" + job);
}

TEST_F(BackendTest, ACancelledJobLeavesNothingBehind) {
    BackendProcess backend(JobArgs(), Env());
    backend.Write("%!PS the first half");
    ASSERT_TRUE(qp::test::WaitUntil([&] { return HasTemporaryFile(); }, std::chrono::seconds(20)));
    backend.Signal(SIGTERM);
    EXPECT_EQ(backend.Wait(), 1) << backend.Err();
    EXPECT_EQ(Entries(Folder()), std::vector<std::string>{"waiting"});
    EXPECT_TRUE(Entries(Waiting()).empty());
}

// These end before reading the job, so nothing is written to them.
TEST_F(BackendTest, RefusesJobsItCannotDeliver) {
    // The name comes from the job: it cannot add a status line of its own.
    BackendProcess noJobId(JobArgs("nobody", "4\n2"), Env());
    EXPECT_EQ(noJobId.Wait(), 5) << noJobId.Err(); // CUPS_BACKEND_CANCEL
    EXPECT_EQ(noJobId.Err(), "ERROR: \"4?2\" is no job id\n");

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

TEST_F(BackendTest, AUserOrWaitingFolderTakenByAnythingElseFailsOnlyThatUsersJob) {
    qp::test::TempDir elsewhere;
    const std::string folder = Folder();
    const std::string waiting = Waiting();
    // The user's own folder, as the backend makes it.
    const auto ownFolder = [&] {
        std::filesystem::create_directory(folder);
        ::chown(folder.c_str(), 65534, 65534);
        ::chmod(folder.c_str(), 0700);
    };
    ::chown(elsewhere.Path().c_str(), 65534, 65534);
    const struct {
        const char* what;
        std::function<void()> plant;
        std::string shown;
        std::string problem;
    } cases[] = {
        {"a file", [&] { WriteFile(folder, "planted"); }, folder, "is taken by something else"},
        {"a pipe", [&] { ::mkfifo(folder.c_str(), 0666); }, folder, "is taken by something else"},
        {"a link to a folder",
         [&] { std::filesystem::create_directory_symlink(elsewhere.Path(), folder); }, folder,
         "is taken by something else"},
        {"a folder of another user",
         [&] {
             std::filesystem::create_directory(folder);
             ::chmod(folder.c_str(), 0700);
         },
         folder, "belongs to another user"},
        {"a folder open to others",
         [&] {
             ownFolder();
             ::chmod(folder.c_str(), 0755);
         },
         folder, "is open to other users"},
        {"waiting as a link to a folder",
         [&] {
             ownFolder();
             std::filesystem::create_directory_symlink(elsewhere.Path(), waiting);
         },
         waiting, "is taken by something else"},
        {"waiting as a pipe",
         [&] {
             ownFolder();
             ::mkfifo(waiting.c_str(), 0600);
         },
         waiting, "is taken by something else"},
        {"waiting open to others",
         [&] {
             ownFolder();
             std::filesystem::create_directory(waiting);
             ::chown(waiting.c_str(), 65534, 65534);
             ::chmod(waiting.c_str(), 0755);
         },
         waiting, "is open to other users"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(m_dir.Path());
        std::filesystem::create_directory(m_dir.Path());
        ::chmod(m_dir.Path().c_str(), 0755);
        c.plant();
        BackendProcess backend(JobArgs(), Env());
        backend.Write("%!PS planted against");
        EXPECT_EQ(backend.Wait(), 5) << c.what << ": " << backend.Err(); // CUPS_BACKEND_CANCEL
        EXPECT_EQ(backend.Err(), "ERROR: The fax folder \"" + c.shown + "\" " + c.problem + "\n")
            << c.what;
        EXPECT_TRUE(Entries(elsewhere.Path()).empty()) << c.what;

        BackendProcess other(JobArgs("root"), Env());
        other.Write("%!PS unaffected");
        EXPECT_EQ(other.Wait(), 0) << c.what << ": " << other.Err();
        EXPECT_EQ(ReadFile(Port("root")), "%!PS unaffected") << c.what;
    }
}

TEST_F(BackendTest, TheUsersNextJobRemovesOnlyWhatKilledBackendsLeftInTheUsersWaitingFolder) {
    PutWaitingJob();
    std::filesystem::create_directory(Waiting());
    ASSERT_EQ(::chown(Waiting().c_str(), 65534, 65534), 0);
    ::chmod(Waiting().c_str(), 0700);
    const std::string outside = m_dir.File("outside.ps");
    WriteFile(outside, "root's own file");
    enum Kind { kFile, kLink, kHeld };
    const struct {
        const char* name;
        Kind kind;
        uid_t owner;
        int ageSeconds;
        bool kept;
    } cases[] = {
        {".part-0000000001.ps.root", kFile, 0, 120, false},
        {".part-0000000002.ps.user", kFile, 65534, 120, false},
        {".part-0000000003.ps.recent", kFile, 65534, 10, true},
        {".part-0000000004.ps.stranger", kFile, 4242, 120, true},
        {".part-0000000005.ps.link", kLink, 0, 120, true},
        {".part-0000000006.ps.written", kHeld, 65534, 120, true},
    };
    std::vector<int> held;
    const timespec now{::time(nullptr), 0};
    for (const auto& c : cases) {
        const std::string path = Waiting() + "/" + c.name;
        if (c.kind == kLink) {
            std::filesystem::create_symlink(outside, path);
        } else {
            WriteFile(path, "%!PS cut short");
            ASSERT_EQ(::chown(path.c_str(), c.owner, c.owner), 0);
        }
        const timespec times[2] = {now, {now.tv_sec - c.ageSeconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
        if (c.kind == kHeld) {
            // Locked, as a backend that still writes it holds it.
            held.push_back(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
            ASSERT_EQ(::flock(held.back(), LOCK_EX), 0);
        }
    }

    BackendProcess backend(JobArgs(), Env());
    backend.Write("%!PS the next job");
    ASSERT_EQ(backend.Wait(), 0) << backend.Err();
    for (const auto& c : cases)
        EXPECT_EQ(::faccessat(AT_FDCWD, (Waiting() + "/" + c.name).c_str(), F_OK,
                              AT_SYMLINK_NOFOLLOW) == 0,
                  c.kept)
            << c.name;
    EXPECT_EQ(ReadFile(outside), "root's own file");
    EXPECT_EQ(ReadFile(Waiting() + "/" + qp::ParkedJobName(1, 42)), "%!PS the next job");
    for (int fd : held)
        ::close(fd);
}

// After the print service starts its count of job ids again, a job may share its id with one
// that waits, and ids no longer tell print order.
TEST_F(BackendTest, AJobWhoseIdAJobThatWaitsHasAlreadyWaitsBehindIt) {
    PutWaitingJob();
    std::filesystem::create_directory(Waiting());
    ASSERT_EQ(::chown(Waiting().c_str(), 65534, 65534), 0);
    ::chmod(Waiting().c_str(), 0700);
    // Parked by the earlier release, which named jobs by their id alone.
    WriteFile(Waiting() + "/" + qp::EarlierParkedJobName(42), "%!PS old 42");
    for (const char* job : {"42", "7", "42"}) {
        BackendProcess backend(JobArgs("nobody", job), Env());
        backend.Write(std::string("%!PS job ") + job);
        ASSERT_EQ(backend.Wait(), 0) << job << ": " << backend.Err();
    }

    std::vector<std::string> taken;
    std::filesystem::remove(Port());
    while (qp::TakeOldestParkedJob(Folder(), Port())) {
        taken.push_back(ReadFile(Port()));
        std::filesystem::remove(Port());
    }
    EXPECT_EQ(taken, (std::vector<std::string>{"%!PS old 42", "%!PS job 42", "%!PS job 7",
                                               "%!PS job 42"}));
}

// A file system of its own for the common folder, with half of it kept for root, as ext4 keeps
// a part by default.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const std::string& folder) : m_mount(folder + "/mnt") {
        const std::string image = folder + "/disk.img";
        std::filesystem::create_directory(m_mount);
        WriteFile(image, "");
        if (::truncate(image.c_str(), 8 << 20) == 0 &&
            qp::test::RunProgram({"mkfs.ext4", "-q", "-F", "-m", "50", image}).exitCode == 0 &&
            qp::test::RunProgram({"mount", "-o", "loop", image, m_mount}).exitCode == 0)
            m_mounted = true;
    }
    ~SmallFileSystem() {
        if (m_mounted)
            qp::test::RunProgram({"umount", m_mount});
    }
    bool Mounted() const { return m_mounted; }
    const std::string& Path() const { return m_mount; }

private:
    std::string m_mount;
    bool m_mounted = false;
};

TEST_F(BackendTest, AJobThatWouldReachIntoRootsReserveIsTriedAgainLaterAndLeavesNothing) {
    SmallFileSystem disk(m_dir.Path());
    if (!disk.Mounted())
        GTEST_SKIP() << "no loop device to mount a small ext4 file system on";
    m_common = disk.Path();
    ::chmod(m_common.c_str(), 0755);

    // More than users may fill, less than is free.
    const std::string job = m_dir.File("big.ps");
    WriteFile(job, "%!PS" + std::string(4 << 20, 'x'));
    std::vector<std::string> args = JobArgs();
    args.push_back(job);
    BackendProcess big(args, Env());
    const int code = big.Wait();
    EXPECT_EQ(code, 6) << big.Err(); // CUPS_BACKEND_RETRY
    EXPECT_EQ(big.Err(), "ERROR: Not enough free disk space for the fax in " + Waiting() +
                             "; trying again later\n");
    EXPECT_TRUE(Entries(Waiting()).empty());

    BackendProcess small(JobArgs("root"), Env());
    small.Write("%!PS a small one");
    EXPECT_EQ(small.Wait(), 0) << small.Err();
    EXPECT_EQ(ReadFile(Port("root")), "%!PS a small one");
}

// A waiter of the earlier release: a root process in a session of its own, with the job id on its
// command line where cupsd put it, holding the job's temporary file open and locked.
pid_t StartOldWaiter(const std::string& file, const std::string& jobId) {
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    const std::string job = "%!PS job " + jobId;
    if (fd < 0 || ::write(fd, job.data(), job.size()) != static_cast<ssize_t>(job.size()) ||
        ::fchown(fd, 65534, 65534) != 0 || ::flock(fd, LOCK_EX) != 0 || ::setsid() < 0)
        ::_exit(126);
    // Sleeps as long as its job id says, far longer than the test.
    ::execl("/bin/sleep", "quillpost", jobId.c_str(), "0", "0", "0", "0",
            static_cast<char*>(nullptr));
    ::_exit(127);
}

TEST_F(BackendTest, AnUpgradeParksTheJobsThatOldWaitersHoldInTheirOrderAndEndsThem) {
    PutWaitingJob();
    // The job id decides the order, not the name of the temporary file.
    const std::vector<std::pair<std::string, std::string>> waiters = {
        {".fax.ps.0000000000000001AAAAAAAA", "700"}, {".fax.ps.0000000000000002BBBBBBBB", "600"}};
    std::vector<pid_t> pids;
    for (const auto& [name, jobId] : waiters) {
        pids.push_back(StartOldWaiter(Folder() + "/" + name, jobId));
        const std::string cmdline = "/proc/" + std::to_string(pids.back()) + "/cmdline";
        ASSERT_TRUE(
            qp::test::WaitUntil([&] { return ReadFile(cmdline).rfind("quillpost", 0) == 0; },
                                std::chrono::seconds(10)));
    }
    // The client took the untaken job; a new backend runs before the package is configured.
    std::filesystem::remove(Port());
    WriteFile(m_dir.File(".upgrading"), "");
    BackendProcess during(JobArgs("nobody", "900"), Env());
    during.Write("%!PS job 900");
    ASSERT_EQ(during.Wait(), 0) << during.Err();
    EXPECT_FALSE(std::filesystem::exists(Port())) << "it overtook the jobs the waiters hold";

    BackendProcess upgrade({"quillpost", "--park-held-jobs", m_dir.File("fax.ps")}, {});
    EXPECT_EQ(upgrade.Wait(), 0) << upgrade.Out();
    for (const pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << upgrade.Out();
    }
    EXPECT_EQ(Entries(Folder()), std::vector<std::string>{"waiting"});
    EXPECT_FALSE(std::filesystem::exists(m_dir.File(".upgrading")));
    std::vector<std::string> taken;
    while (qp::TakeOldestParkedJob(Folder(), Port())) {
        taken.push_back(ReadFile(Port()));
        std::filesystem::remove(Port());
    }
    EXPECT_EQ(taken, (std::vector<std::string>{"%!PS job 600", "%!PS job 700", "%!PS job 900"}));
}

} // namespace
