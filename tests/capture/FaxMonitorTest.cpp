#include "capture/FaxMonitor.h"

#include "platform/FileOps.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using qp::test::ReadFile;
using qp::test::WriteFile;

// Records each wait and lets a test act at the moment of a given one.
class ScriptedClock final : public qp::Clock {
public:
    TimePoint Now() const override { return m_now; }
    void SleepMs(int milliseconds) override {
        m_sleeps.push_back(milliseconds);
        m_now += std::chrono::milliseconds(milliseconds);
        if (onSleep)
            onSleep(milliseconds);
    }
    const std::vector<int>& Sleeps() const { return m_sleeps; }

    std::function<void(int)> onSleep;

private:
    TimePoint m_now{};
    std::vector<int> m_sleeps;
};

class FaxMonitorTest : public ::testing::Test {
protected:
    FaxMonitorTest() : m_scopedSink(m_sink) {}

    void OnSend() {
        ++m_sends;
        m_bodies.push_back(ReadFile(m_paths.bodyFile));
        m_portPresentDuringSend = qp::FileExists(m_paths.portFile);
        if (duringSend)
            duringSend();
    }

    qp::test::TempDir m_dir;
    qp::WorkPaths m_paths = qp::WorkPathsIn(m_dir.Path());
    qp::test::RecordingMessageSink m_sink;
    qp::ScopedMessageSink m_scopedSink;
    ScriptedClock m_clock;
    int m_sends = 0;
    std::vector<std::string> m_bodies;
    bool m_portPresentDuringSend = false;
    std::function<void()> duringSend;
    FaxMonitor m_monitor{m_paths, m_clock, [this] { OnSend(); }};
};

TEST_F(FaxMonitorTest, TakesAJobAtTheSecondPollThatReadsTheSameSize) {
    WriteFile(m_paths.portFile, "%!PS-Adobe-3.0\njob one\n");

    m_monitor.RunPolls(1);
    EXPECT_EQ(m_sends, 0);
    EXPECT_TRUE(qp::FileExists(m_paths.portFile));

    m_monitor.RunPolls(1);
    ASSERT_EQ(m_sends, 1);
    EXPECT_EQ(m_bodies[0], "%!PS-Adobe-3.0\njob one\n");
    EXPECT_FALSE(m_portPresentDuringSend);
    EXPECT_EQ(m_clock.Sleeps(), (std::vector<int>{4000, 4000, 2000}));
    EXPECT_TRUE(m_sink.Messages().empty());
}

TEST_F(FaxMonitorTest, WaitsWhileTheFileGrowsAndWithoutOne) {
    m_monitor.RunPolls(2);
    WriteFile(m_paths.portFile, "%!PS part");
    m_monitor.RunPolls(1);
    WriteFile(m_paths.portFile, "%!PS part and more");
    m_monitor.RunPolls(1);
    EXPECT_EQ(m_sends, 0);
    EXPECT_EQ(m_clock.Sleeps(), (std::vector<int>{4000, 4000, 4000, 4000}));

    m_monitor.RunPolls(1);
    ASSERT_EQ(m_sends, 1);
    EXPECT_EQ(m_bodies[0], "%!PS part and more");
}

TEST_F(FaxMonitorTest, TakesAnEmptyPortFileAtTheFirstPoll) {
    WriteFile(m_paths.portFile, "");
    m_monitor.RunPolls(1);
    ASSERT_EQ(m_sends, 1);
    EXPECT_EQ(m_bodies[0], "");
}

TEST_F(FaxMonitorTest, NeverTakesAnotherUsersJobAndKeepsItsSizesMeanwhile) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a file to another user needs root";
    WriteFile(m_paths.portFile, "%!PS someone else's job");
    ASSERT_EQ(::chown(m_paths.portFile.c_str(), 65534, 65534), 0);

    m_monitor.RunPolls(6);
    EXPECT_EQ(m_sends, 0);
    EXPECT_EQ(ReadFile(m_paths.portFile), "%!PS someone else's job");

    // Foreign polls recorded no size: once it is ours, it takes two polls like any new job.
    ASSERT_EQ(::chown(m_paths.portFile.c_str(), ::geteuid(), ::getegid()), 0);
    m_monitor.RunPolls(1);
    EXPECT_EQ(m_sends, 0);
    m_monitor.RunPolls(1);
    EXPECT_EQ(m_sends, 1);
}

TEST_F(FaxMonitorTest, DoesNotTakeAJobWhileItIsOpenForWriting) {
    WriteFile(m_paths.portFile, "%!PS being written");
    const int writer = ::open(m_paths.portFile.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(writer, 0);
    m_monitor.RunPolls(3);
    EXPECT_EQ(m_sends, 0);

    ::close(writer);
    m_monitor.RunPolls(2);
    EXPECT_EQ(m_sends, 1);
}

TEST_F(FaxMonitorTest, DeletesALeftoverBodyFileBeforeMovingTheJob) {
    WriteFile(m_paths.bodyFile, "%!PS an old body");
    WriteFile(m_paths.portFile, "%!PS the new job");
    m_monitor.RunPolls(2);
    ASSERT_EQ(m_sends, 1);
    EXPECT_EQ(m_bodies[0], "%!PS the new job");
}

TEST_F(FaxMonitorTest, RemovesCoverBodyAndImageTwoSecondsAfterTheSendStep) {
    duringSend = [this] {
        WriteFile(m_paths.coverFile, "%!PS cover");
        WriteFile(m_paths.faxImage, "II*\0");
    };
    bool allThereAtTheWait = false;
    m_clock.onSleep = [&](int ms) {
        if (ms == 2000)
            allThereAtTheWait = qp::FileExists(m_paths.coverFile) &&
                                qp::FileExists(m_paths.bodyFile) &&
                                qp::FileExists(m_paths.faxImage);
    };
    WriteFile(m_paths.portFile, "%!PS job");
    m_monitor.RunPolls(2);

    ASSERT_EQ(m_sends, 1);
    EXPECT_TRUE(allThereAtTheWait);
    EXPECT_FALSE(qp::FileExists(m_paths.coverFile));
    EXPECT_FALSE(qp::FileExists(m_paths.bodyFile));
    EXPECT_FALSE(qp::FileExists(m_paths.faxImage));
}

// A directory in the body file's place makes both its removal and the move fail.
void BlockBodyFile(const qp::WorkPaths& paths) {
    std::filesystem::create_directory(paths.bodyFile);
    WriteFile(paths.bodyFile + "/keep", "x");
}

TEST_F(FaxMonitorTest, RetriesAFailedMoveAfterFiveSeconds) {
    BlockBodyFile(m_paths);
    m_clock.onSleep = [this](int ms) {
        if (ms == 5000)
            std::filesystem::remove_all(m_paths.bodyFile);
    };
    WriteFile(m_paths.portFile, "%!PS job");
    m_monitor.RunPolls(2);

    ASSERT_EQ(m_sends, 1);
    EXPECT_EQ(m_bodies[0], "%!PS job");
    EXPECT_TRUE(m_sink.Messages().empty());
    EXPECT_EQ(m_clock.Sleeps(), (std::vector<int>{4000, 4000, 5000, 2000}));
}

TEST_F(FaxMonitorTest, TwoFailedMovesReportAndTheSameJobIsTriedAgain) {
    BlockBodyFile(m_paths);
    WriteFile(m_paths.portFile, "%!PS job");
    m_monitor.RunPolls(2);

    EXPECT_EQ(m_sends, 0);
    const std::vector<qp::MessageRequest> messages = m_sink.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Unable to process fax message body.");
    EXPECT_EQ(messages[0].icon, qp::MessageIcon::Warning);
    EXPECT_EQ(messages[0].buttons, qp::MessageButtons::Ok);
    EXPECT_EQ(ReadFile(m_paths.portFile), "%!PS job");
    EXPECT_EQ(m_clock.Sleeps(), (std::vector<int>{4000, 4000, 5000, 2000}));

    // The body file was not removed, so the sizes stand and the next poll tries at once.
    std::filesystem::remove_all(m_paths.bodyFile);
    m_monitor.RunPolls(1);
    ASSERT_EQ(m_sends, 1);
    EXPECT_EQ(m_bodies[0], "%!PS job");
}

TEST_F(FaxMonitorTest, NextJobOfTheSameSizeIsTakenAtOnceOnlyWhenTheBodyFileWasNotRemoved) {
    const std::string kept = m_dir.File("taken-away.ps");
    duringSend = [&] { std::filesystem::rename(m_paths.bodyFile, kept); };
    WriteFile(m_paths.portFile, "%!PS job A");
    m_monitor.RunPolls(2);
    ASSERT_EQ(m_sends, 1);

    // The body file was gone at the clean-up: the sizes were kept.
    WriteFile(m_paths.portFile, "%!PS job B");
    m_monitor.RunPolls(1);
    ASSERT_EQ(m_sends, 2);
    EXPECT_EQ(m_bodies[1], "%!PS job B");

    // A removed body file resets them, and an equal-sized job waits for a second poll.
    duringSend = nullptr;
    WriteFile(m_paths.portFile, "%!PS job C");
    m_monitor.RunPolls(2);
    ASSERT_EQ(m_sends, 3);
    WriteFile(m_paths.portFile, "%!PS job D");
    m_monitor.RunPolls(1);
    EXPECT_EQ(m_sends, 3);
    m_monitor.RunPolls(1);
    EXPECT_EQ(m_sends, 4);
}

// Never waits; yields so that a watcher thread polling with it does not hog the machine.
class YieldingClock final : public qp::Clock {
public:
    TimePoint Now() const override { return {}; }
    void SleepMs(int) override { std::this_thread::yield(); }
};

TEST(FaxMonitorThreadTest, PollsOnItsOwnThreadUntilStopped) {
    qp::test::TempDir dir;
    const qp::WorkPaths paths = qp::WorkPathsIn(dir.Path());
    YieldingClock clock;
    std::mutex mutex;
    std::condition_variable sent;
    std::thread::id sender;
    int sends = 0;
    FaxMonitor monitor(paths, clock, [&] {
        std::lock_guard<std::mutex> lock(mutex);
        sender = std::this_thread::get_id();
        ++sends;
        sent.notify_all();
    });
    WriteFile(paths.portFile, "%!PS job");
    ASSERT_TRUE(monitor.Start());
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(sent.wait_for(lock, std::chrono::seconds(30), [&] { return sends > 0; }));
        EXPECT_NE(sender, std::this_thread::get_id());
    }
    monitor.Stop();
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(sends, 1);
    EXPECT_FALSE(qp::FileExists(paths.bodyFile));
}

} // namespace
