#include "capture/FaxMonitor.h"

#include "platform/FileOps.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <linux/fs.h>
#include <mutex>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using qp::test::ReadFile;
using qp::test::WriteFile;

struct Delivery {
    std::string body;
    bool leftOver = false;
    std::string folder;
};

class FaxMonitorTest : public ::testing::Test {
protected:
    FaxMonitorTest() : m_scopedSink(m_sink) { std::filesystem::create_directory(m_spool); }

    void OnJob(qp::Job job, bool leftOver) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_delivered.push_back({ReadFile(job.BodyFile()), leftOver, job.Folder()});
        m_jobs.push_back(std::move(job));
        m_changed.notify_all();
    }

    // A job folder left by a client that went away, as it left it.
    std::string Leftover(const std::string& id, const std::string& body) {
        const std::string folder = m_store.File(id);
        std::filesystem::create_directories(folder);
        ::chmod(m_store.Path().c_str(), 0700);
        ::chmod(folder.c_str(), 0700);
        if (!body.empty())
            WriteFile(folder + "/" + qp::kJobBodyFile, body);
        return folder;
    }

    ~FaxMonitorTest() override { SpoolRefusesChanges(false); }

    // The port file's folder refuses every change while `refuses`, even root's, so that the job
    // cannot be moved out of it; false where the file system or the test's rights do not allow.
    bool SpoolRefusesChanges(bool refuses) {
        const int fd = ::open(m_spool.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        int flags = 0;
        bool changed = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = refuses ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        changed = changed && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (fd >= 0)
            ::close(fd);
        return changed;
    }

    // A store that is not a private folder of this user takes no jobs.
    void StoreTakesJobs(bool takes) {
        ASSERT_EQ(::chmod(m_store.Path().c_str(), takes ? 0700 : 0755), 0);
    }

    qp::test::TempDir m_dir;
    qp::test::TempDir m_store;
    std::string m_spool = m_dir.File("spool");
    std::string m_portFile = m_spool + "/fax.ps";
    qp::test::RecordingMessageSink m_sink;
    qp::ScopedMessageSink m_scopedSink;
    qp::test::FakeClock m_clock;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Delivery> m_delivered;
    std::vector<qp::Job> m_jobs;
    std::function<bool()> m_refill;
    std::size_t m_parked = 0;
    std::vector<std::size_t> m_announced;
    // What the watcher said it could not do, from its thread.
    mutable std::mutex m_toldMutex;
    std::vector<std::string> m_told;

    void OnReport(const FaxMonitor::Report& report) {
        if (report.kind == FaxMonitor::Report::Kind::JobsWaiting) {
            m_announced.push_back(report.waiting);
            return;
        }
        std::lock_guard<std::mutex> lock(m_toldMutex);
        m_told.push_back(report.Text());
    }
    std::vector<std::string> Told() const {
        std::lock_guard<std::mutex> lock(m_toldMutex);
        return m_told;
    }
    FaxMonitor m_monitor{m_portFile,
                         qp::JobStore(m_store.Path()),
                         m_clock,
                         [this](qp::Job job, bool leftOver) { OnJob(std::move(job), leftOver); },
                         {[this] { return m_refill && m_refill(); }, [this] { return m_parked; }},
                         [this](const FaxMonitor::Report& report) { OnReport(report); }};
};

TEST_F(FaxMonitorTest, ACompleteJobIsTakenAtFirstSightIntoAPrivateJobFolder) {
    WriteFile(m_portFile, "%!PS-Adobe-3.0\njob one\n");
    ASSERT_TRUE(m_monitor.TakeWaitingJob());
    ASSERT_EQ(m_delivered.size(), 1u);
    EXPECT_EQ(m_delivered[0].body, "%!PS-Adobe-3.0\njob one\n");
    EXPECT_FALSE(m_delivered[0].leftOver);
    EXPECT_FALSE(qp::FileExists(m_portFile));
    struct stat st {};
    ASSERT_EQ(::stat(m_delivered[0].folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(m_clock.Sleeps().empty()) << "no waiting for a file nobody writes";
    EXPECT_TRUE(m_sink.Messages().empty());
}

TEST_F(FaxMonitorTest, WhatIsNotACompleteJobOfThisUserStaysWhereItIs) {
    struct Case {
        const char* what;
        std::function<void(const std::string& port)> make;
    };
    int writer = -1;
    const Case cases[] = {
        {"no port file", [](const std::string&) {}},
        {"a link",
         [this](const std::string& port) {
             WriteFile(m_dir.File("target.ps"), "%!PS elsewhere");
             ::symlink(m_dir.File("target.ps").c_str(), port.c_str());
         }},
        {"a fifo", [](const std::string& port) { ::mkfifo(port.c_str(), 0600); }},
        {"a folder", [](const std::string& port) { std::filesystem::create_directory(port); }},
        {"a file still open for writing",
         [&](const std::string& port) {
             WriteFile(port, "%!PS being written");
             writer = ::open(port.c_str(), O_WRONLY | O_APPEND);
         }},
        {"another user's file",
         [](const std::string& port) {
             WriteFile(port, "%!PS someone else's");
             if (::chown(port.c_str(), 65534, 65534) != 0)
                 std::filesystem::remove(port);
         }},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(m_portFile);
        c.make(m_portFile);
        EXPECT_FALSE(m_monitor.TakeWaitingJob()) << c.what;
        EXPECT_TRUE(m_delivered.empty()) << c.what;
    }
    // Once its writer is done, the last written job is taken like any other; readers do not
    // matter.
    std::filesystem::remove_all(m_portFile);
    WriteFile(m_portFile, "%!PS being written");
    writer = ::open(m_portFile.c_str(), O_WRONLY | O_APPEND);
    const int reader = ::open(m_portFile.c_str(), O_RDONLY);
    EXPECT_FALSE(m_monitor.TakeWaitingJob());
    ::close(writer);
    EXPECT_TRUE(m_monitor.TakeWaitingJob());
    ::close(reader);
}

TEST_F(FaxMonitorTest, JobsLeftByAnEarlierRunComeFirstOldestFirstThenThePortFile) {
    Leftover("00000000000000002-1-0", "%!PS second");
    Leftover("00000000000000001-1-0", "%!PS first");
    const std::string empty = Leftover("00000000000000003-1-0", "");
    const std::string held = Leftover("00000000000000000-1-0", "%!PS open in another client");
    const int lock = ::open((held + "/.lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    WriteFile(m_portFile, "%!PS newly printed");

    for (int i = 0; i < 4; ++i)
        m_monitor.TakeWaitingJob();
    ::close(lock);

    ASSERT_EQ(m_delivered.size(), 3u);
    EXPECT_EQ(m_delivered[0].body, "%!PS first");
    EXPECT_TRUE(m_delivered[0].leftOver);
    EXPECT_EQ(m_delivered[1].body, "%!PS second");
    EXPECT_EQ(m_delivered[2].body, "%!PS newly printed");
    EXPECT_FALSE(m_delivered[2].leftOver);
    EXPECT_FALSE(qp::FileExists(empty)) << "an empty folder holds nothing to offer";
    EXPECT_TRUE(qp::FileExists(held + "/" + qp::kJobBodyFile)) << "another client's job is left";
}

TEST_F(FaxMonitorTest, AJobThatCannotBeTakenIsTriedAgainAfterLongerWaitsAndToldOncePerCause) {
    WriteFile(m_portFile, "%!PS job");
    StoreTakesJobs(false);
    EXPECT_FALSE(m_monitor.TakeWaitingJob());
    // Each wait from both sides: a moment before it ends, a mended store takes nothing, as the
    // job is not tried; when it ends, the job is tried (and fails again).
    for (const std::chrono::milliseconds wait : {1s, 2s, 4s, 8s, 16s, 30s, 30s}) {
        m_clock.Advance(wait - 1ms);
        StoreTakesJobs(true);
        EXPECT_FALSE(m_monitor.TakeWaitingJob()) << wait.count();
        StoreTakesJobs(false);
        m_clock.Advance(1ms);
        EXPECT_FALSE(m_monitor.TakeWaitingJob()) << wait.count();
    }
    EXPECT_EQ(Told(), std::vector<std::string>{"Unable to process fax message body."});

    // Another file in its place (written beside it, so that it cannot reuse its inode) is tried
    // at once, and its failure told.
    WriteFile(m_spool + "/.next", "%!PS job, printed again");
    std::filesystem::rename(m_spool + "/.next", m_portFile);
    EXPECT_FALSE(m_monitor.TakeWaitingJob());
    EXPECT_EQ(Told().size(), 2u);
    StoreTakesJobs(true);
    m_clock.Advance(1s);
    ASSERT_TRUE(m_monitor.TakeWaitingJob());
    EXPECT_EQ(m_delivered.back().body, "%!PS job, printed again");
}

TEST_F(FaxMonitorTest, StopEndsTheWaitForTheNextTryAtOnce) {
    WriteFile(m_portFile, "%!PS job");
    if (!SpoolRefusesChanges(true))
        GTEST_SKIP() << "no folder here can refuse root's changes";
    ASSERT_TRUE(m_monitor.Start());
    ASSERT_TRUE(qp::test::WaitUntil([this] { return !Told().empty(); }, 10s));
    // The clock stands still: the next try is never due, and only the orderly end can end the
    // wait, which a sleep would not let it.
    m_monitor.Stop();
    EXPECT_TRUE(m_clock.Sleeps().empty());
    EXPECT_EQ(Told().size(), 1u);
    EXPECT_EQ(ReadFile(m_portFile), "%!PS job");
    EXPECT_TRUE(m_delivered.empty());
}

TEST_F(FaxMonitorTest, JobsThatWaitAMinuteBehindAnOpenDialogAreAnnouncedOncePerDialog) {
    WriteFile(m_portFile, "%!PS printed 1");
    m_parked = 1;
    m_monitor.LookAtWaitingJobs(); // no dialog open: they wait for the watcher, not the user
    ASSERT_TRUE(m_monitor.TakeWaitingJob());
    WriteFile(m_portFile, "%!PS printed 2");
    const std::chrono::milliseconds steps[] = {0ms, 59999ms, 1ms, 10min};
    for (const std::chrono::milliseconds step : steps) {
        m_clock.Advance(step);
        m_monitor.LookAtWaitingJobs();
        EXPECT_EQ(m_announced.size(), step == 0ms || step == 59999ms ? 0u : 1u) << step.count();
    }
    EXPECT_EQ(m_announced, std::vector<std::size_t>{2});

    // The next dialog counts afresh, from when a job waits behind it.
    m_monitor.JobClosed();
    ASSERT_TRUE(m_monitor.TakeWaitingJob());
    m_monitor.LookAtWaitingJobs();
    m_clock.Advance(1min);
    m_monitor.LookAtWaitingJobs();
    EXPECT_EQ(m_announced, (std::vector<std::size_t>{2, 1}));
}

TEST(WaitingJobsTextTest, CountsThePrintedFaxes) {
    EXPECT_EQ(qp::WaitingJobsText(1), "A printed fax is waiting to be sent.");
    EXPECT_EQ(qp::WaitingJobsText(2), "2 printed faxes are waiting to be sent.");
}

// The order in which waiting jobs come is ParkedJobs' (print order).
TEST_F(FaxMonitorTest, AFreePortFileIsRefilledFromTheJobsWaitingElsewhereOneAfterAnother) {
    std::vector<std::string> waiting{"%!PS parked 2", "%!PS parked 3"};
    m_refill = [&] {
        if (waiting.empty())
            return false;
        WriteFile(m_portFile, waiting.front());
        waiting.erase(waiting.begin());
        return true;
    };
    WriteFile(m_portFile, "%!PS printed 1");
    for (int i = 0; i < 4; ++i)
        m_monitor.TakeWaitingJob();
    std::vector<std::string> bodies;
    for (const Delivery& delivery : m_delivered)
        bodies.push_back(delivery.body);
    EXPECT_EQ(bodies,
              (std::vector<std::string>{"%!PS printed 1", "%!PS parked 2", "%!PS parked 3"}));
}

TEST_F(FaxMonitorTest, OnItsThreadItTakesOneJobPerDialogAndWakesWhenAJobArrives) {
    ASSERT_TRUE(m_monitor.Start());
    WriteFile(m_spool + "/.fax.ps.tmp", "%!PS job A");
    std::filesystem::rename(m_spool + "/.fax.ps.tmp", m_portFile);
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        ASSERT_TRUE(m_changed.wait_for(lock, std::chrono::seconds(10),
                                       [this] { return m_delivered.size() == 1; }));
    }
    WriteFile(m_portFile, "%!PS job B");
    // Job B waits in the port file while job A's dialog is open.
    EXPECT_TRUE(qp::FileExists(m_portFile));
    m_monitor.JobClosed();
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        ASSERT_TRUE(m_changed.wait_for(lock, std::chrono::seconds(10),
                                       [this] { return m_delivered.size() == 2; }));
        EXPECT_EQ(m_delivered[1].body, "%!PS job B");
    }
    m_monitor.Stop();
}

} // namespace
