#include "capture/FaxMonitor.h"
#include "platform/FileOps.h"
#include "tests/support/TestSupport.h"
#include "tests/support/cups/CupsFixture.h"
#include "tests/support/cups/TestUsers.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <sys/stat.h>

namespace {

using qp::test::ReadFile;

// A one-page PostScript job whose page shows `marker`; padded so that it is more than one write.
std::string PostScriptJob(const std::string& marker) {
    std::string job = "%!PS-Adobe-3.0\n%%Pages: 1\n%%EndComments\n%%Page: 1 1\n";
    for (int i = 0; i < 1500; ++i)
        job += "% padding line " + std::to_string(i) + "\n";
    job += "/Helvetica findfont 24 scalefont setfont 72 720 moveto (" + marker +
           ") show showpage\n%%EOF\n";
    return job;
}

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The document ends with its trailer; pstops may add a Ctrl-D end-of-job byte after it.
bool EndsWithTrailer(const std::string& text) {
    std::string end = text;
    if (!end.empty() && end.back() == '\x04')
        end.pop_back();
    return end.size() >= 6 && end.compare(end.size() - 6, 6, "%%EOF\n") == 0;
}

bool GhostscriptAccepts(const std::string& file) {
    return qp::test::RunProgram(
               {"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=nullpage", file}) == 0;
}

class PrintCaptureTest : public qp::test::CupsdTest {
protected:
    void SetUp() override {
        CupsdTest::SetUp();
        if (IsSkipped())
            return;
        std::string out;
        ASSERT_EQ(Cupsd().ProvisionFaxPrinter(&out), 0) << out;
    }

    // A job file that every user may read, as lp reads it as the user who prints.
    std::string JobFile(const std::string& name, const std::string& marker) {
        const std::string path = Cupsd().Root() + "/" + name;
        qp::test::WriteFile(path, PostScriptJob(marker));
        ::chmod(path.c_str(), 0644);
        return path;
    }
};

TEST_F(PrintCaptureTest, AJobPrintedByAnotherUserLandsInThePortFileAsTheirs) {
    const qp::test::TestUser user = qp::test::EnsureTestUser("quillpost-test-user");
    const std::string job = JobFile("letter.ps", "QPJOB letter");
    ASSERT_EQ(qp::test::RunAsUser(user, {"lp", "-d", "Quill_Post", job}), 0);

    const std::string port = Cupsd().PortFile();
    ASSERT_TRUE(
        qp::test::WaitUntil([&] { return qp::FileExists(port); }, std::chrono::seconds(60)));
    struct stat st {};
    ASSERT_EQ(::lstat(port.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_uid, user.uid);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    const std::string text = ReadFile(port);
    EXPECT_EQ(text.rfind("%!PS-Adobe", 0), 0u);
    EXPECT_EQ(CountOf(text, "QPJOB letter"), 1u);
    EXPECT_TRUE(EndsWithTrailer(text));
    EXPECT_TRUE(GhostscriptAccepts(port));
}

TEST_F(PrintCaptureTest, TwoUsersPrintingTenJobsEachGetTwentySeparateJobs) {
    const std::vector<qp::test::TestUser> users = {
        qp::test::EnsureTestUser("quillpost-test-user"),
        qp::test::EnsureTestUser("quillpost-test-user2")};
    std::vector<pid_t> printing;
    for (int i = 0; i < 10; ++i) {
        for (const qp::test::TestUser& user : users) {
            const std::string marker = "QPJOB " + user.name + " " + std::to_string(i);
            const std::string file = JobFile(user.name + "-" + std::to_string(i) + ".ps", marker);
            printing.push_back(qp::test::SpawnAsUser(user, {"lp", "-d", "Quill_Post", file}));
        }
    }

    // Take each port file away as the watcher would, while the jobs keep coming.
    const std::string taken = Cupsd().Root() + "/taken";
    std::filesystem::create_directory(taken);
    int count = 0;
    qp::test::WaitUntil(
        [&] {
            if (qp::FileExists(Cupsd().PortFile()) &&
                qp::MoveFileNoReplace(Cupsd().PortFile(),
                                      taken + "/job" + std::to_string(count) + ".ps"))
                ++count;
            return count == 20;
        },
        std::chrono::seconds(90));
    for (pid_t pid : printing)
        EXPECT_EQ(qp::test::WaitForChild(pid), 0);
    ASSERT_EQ(count, 20);

    std::set<std::string> markers;
    std::map<uid_t, int> perOwner;
    for (int i = 0; i < count; ++i) {
        const std::string file = taken + "/job" + std::to_string(i) + ".ps";
        struct stat st {};
        ASSERT_EQ(::lstat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        ++perOwner[st.st_uid];
        const std::string text = ReadFile(file);
        ASSERT_EQ(CountOf(text, "QPJOB "), 1u) << file;
        const std::size_t at = text.find("QPJOB ");
        const std::string marker = text.substr(at, text.find(')', at) - at);
        const std::string owner = marker.substr(6, marker.rfind(' ') - 6);
        for (const qp::test::TestUser& user : users) {
            if (user.name == owner) {
                EXPECT_EQ(st.st_uid, user.uid) << file;
            }
        }
        markers.insert(marker);
        EXPECT_TRUE(EndsWithTrailer(text)) << file;
        EXPECT_TRUE(GhostscriptAccepts(file)) << file;
    }
    EXPECT_EQ(markers.size(), 20u);
    EXPECT_EQ(perOwner[users[0].uid], 10);
    EXPECT_EQ(perOwner[users[1].uid], 10);
    EXPECT_FALSE(qp::FileExists(Cupsd().PortFile()));
}

TEST_F(PrintCaptureTest, TheRunningWatcherTakesThePrintedJobAndHandsItToTheSendStep) {
    const qp::WorkPaths paths = qp::WorkPathsIn(Cupsd().FaxFolder());
    std::mutex mutex;
    std::condition_variable sent;
    std::string body;
    FaxMonitor monitor(paths, qp::SystemClock(), [&] {
        std::lock_guard<std::mutex> lock(mutex);
        body = ReadFile(paths.bodyFile);
        sent.notify_all();
    });
    ASSERT_TRUE(monitor.Start());

    // Printed by this process's own user, whose watcher this is.
    ASSERT_EQ(qp::test::RunProgram({"lp", "-d", "Quill_Post", JobFile("own.ps", "QPJOB own")}), 0);
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(sent.wait_for(lock, std::chrono::seconds(60), [&] { return !body.empty(); }));
        EXPECT_EQ(CountOf(body, "QPJOB own"), 1u);
    }
    monitor.Stop();
}

} // namespace
