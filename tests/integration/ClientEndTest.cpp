// The real client ended the ways a session ends it: SIGTERM (logout, shutdown), which must be an
// orderly end, and SIGKILL, which nothing can make orderly. Either way the printed job is still
// there when the client next starts, and that start offers it again.
#include "fax/log/FaxLog.h"
#include "platform/CommonFolder.h"
#include "tests/fax/support/SamplePostScript.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FileOpens.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using qp::test::ReadFile;
using qp::test::WriteFile;

// A send dialog reads the recipient history as it opens. Nothing else outside the client shows
// that a dialog is up, and a signal sent before then would find no dialog to end.
using HistoryReads = qp::test::FileOpens;

// Whether a process holds the job folder's lock, as a client does while the job is its own. The
// probe takes a free lock for a moment, so it is asked only once the client has taken it.
bool LockHeld(const std::string& job) {
    const int fd = ::open((job + "/.lock").c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

struct Ending {
    const char* what;
    int signal;
};

// How each run of the client ends, in turn; every run after the first finds the job left over.
constexpr Ending kEndings[] = {
    {"SIGTERM with the printed job's dialog open", SIGTERM},
    {"SIGKILL with the job offered again", SIGKILL},
    {"SIGTERM with the job offered again after SIGKILL", SIGTERM},
};

// A user with the account stored (no first-use dialog), a spool folder the printer's backend
// writes into, no print server and no display.
class ClientEndTest : public ::testing::Test {
protected:
    ClientEndTest() {
        for (const std::string& folder : {m_root.File("run"), Spool()}) {
            fs::create_directories(folder);
            ::chmod(folder.c_str(), 0700);
        }
        fs::create_directories(m_root.File("config/Tamarind Works"));
        WriteFile(m_root.File("config/Tamarind Works/Quillpost.conf"),
                  "[Quillpost]\nln=5550100\nps=2468\nhost=127.0.0.1\nport=7541\n");
        WriteFile(m_root.File(".fx.hs"), "(555) 010-0199\r\n");
    }

    std::string Spool() const { return m_root.File("spool/" + qp::CurrentLoginName()); }
    std::string PortFile() const { return Spool() + "/fax.ps"; }
    std::string Jobs() const { return m_root.File("data/Quillpost/jobs"); }

    std::unique_ptr<qp::test::LoggedProcess> StartClient(const char* option = nullptr) const {
        std::vector<std::string> argv{QP_CLIENT_PROGRAM};
        if (option != nullptr)
            argv.push_back(option);
        return std::make_unique<qp::test::LoggedProcess>(argv, Environment());
    }

    std::map<std::string, std::optional<std::string>> Environment() const {
        return {{"HOME", m_root.Path()},
                {"XDG_CONFIG_HOME", m_root.File("config")},
                {"XDG_DATA_HOME", m_root.File("data")},
                {"XDG_RUNTIME_DIR", m_root.File("run")},
                {"QUILLPOST_COMMON_DIR", m_root.File("spool")},
                {"QT_QPA_PLATFORM", "offscreen"},
                {"CUPS_SERVER", m_root.File("no-cupsd.sock")},
                {"DBUS_SESSION_BUS_ADDRESS", std::nullopt}};
    }

    // As the backend does: written aside, renamed into place.
    void Print(const std::string& postScript) const {
        WriteFile(PortFile() + ".new", postScript);
        fs::rename(PortFile() + ".new", PortFile());
    }

    std::vector<std::string> JobFolders() const {
        std::vector<std::string> folders;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(Jobs(), ec))
            folders.push_back(entry.path().string());
        std::sort(folders.begin(), folders.end());
        return folders;
    }

    std::vector<qp::faxlog::Entry> Logged() const {
        return qp::faxlog::FaxLog(m_root.File("data/Quillpost/log")).Entries();
    }

    qp::test::TempDir m_root;
};

TEST_F(ClientEndTest, EveryEndKeepsTheOpenJobAndTheNextStartOffersItAgain) {
    const std::string document = qp::test::TextPostScript(2);
    std::string job;
    std::size_t logged = 0;
    for (const Ending& ending : kEndings) {
        SCOPED_TRACE(ending.what);
        const HistoryReads dialogOpened(m_root.File(".fx.hs"));
        const std::unique_ptr<qp::test::LoggedProcess> client = StartClient();
        if (job.empty())
            Print(document);
        ASSERT_TRUE(dialogOpened.WaitForOne()) << "no send dialog opened";
        const std::vector<std::string> jobs = JobFolders();
        ASSERT_EQ(jobs.size(), 1u);
        if (job.empty())
            job = jobs[0];
        EXPECT_EQ(jobs[0], job) << "the job left over, not a new one";
        EXPECT_FALSE(fs::exists(PortFile()));
        EXPECT_TRUE(LockHeld(job)) << "the client holds the job";

        const std::optional<int> exitCode = client->End(ending.signal, 5s);
        if (ending.signal != SIGKILL) {
            EXPECT_EQ(exitCode, 0) << "an orderly end within 5 s";
            ++logged;
        }
        const std::vector<qp::faxlog::Entry> entries = Logged();
        ASSERT_EQ(entries.size(), logged);
        if (ending.signal != SIGKILL) {
            EXPECT_EQ(entries[0].record.outcome, qp::faxlog::Outcome::NotSent);
        }
        EXPECT_EQ(ReadFile(job + "/faxbody.ps"), document) << "the job is kept";
    }
}

// Waits for the first of two processes to end; its index, or nothing when neither ends in time.
std::optional<std::size_t> FirstToEnd(const qp::test::LoggedProcess& first,
                                      const qp::test::LoggedProcess& second) {
    pollfd ends[2];
    const qp::test::LoggedProcess* processes[] = {&first, &second};
    for (std::size_t i = 0; i < 2; ++i)
        ends[i] = {static_cast<int>(::syscall(SYS_pidfd_open, processes[i]->Pid(), 0)), POLLIN, 0};
    const int ready = ::poll(ends, 2, 30000);
    for (const pollfd& end : ends)
        ::close(end.fd);
    if (ready <= 0)
        return std::nullopt;
    return (ends[0].revents & POLLIN) != 0 ? 0 : 1;
}

TEST_F(ClientEndTest, LaterStartsHandTheirRequestToTheRunningClientAndEnd) {
    // Two starts at once: one takes the lock, the other finds it still starting and waits for its
    // channel.
    const std::unique_ptr<qp::test::LoggedProcess> starts[] = {StartClient(), StartClient()};
    const std::optional<std::size_t> handedOver = FirstToEnd(*starts[0], *starts[1]);
    ASSERT_TRUE(handedOver) << "neither start handed over to the other";
    EXPECT_EQ(starts[*handedOver]->End(0, 5s), 0);
    qp::test::LoggedProcess& client = *starts[1 - *handedOver];

    for (const char* option : {"-log", "-contacts"}) {
        SCOPED_TRACE(option);
        // Without a client, "-log" and "-contacts" would keep their window open until killed.
        const qp::test::ProgramRun run =
            qp::test::RunProgram({"timeout", "30", QP_CLIENT_PROGRAM, option}, Environment());
        EXPECT_EQ(run.exitCode, 0) << run.err;
    }
    EXPECT_EQ(client.End(SIGTERM, 5s), 0) << "the client still runs, and ends in order";
}

} // namespace
