#include "base/ParkedJobs.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using qp::test::ReadFile;
using qp::test::WriteFile;

// A user's folder with its waiting folder as the backend leaves it, and what the client takes.
struct ParkedCase {
    const char* what;
    std::function<void(const std::string& waiting, const std::string& port)> plant;
    // The contents of the port file after each call of TakeOldestParkedJob, until it is false
    // with the port file free.
    std::vector<std::string> taken;
    std::size_t countBefore;
    friend void PrintTo(const ParkedCase& c, std::ostream* out) { *out << c.what; }
};

class ParkedJobsTest : public ::testing::TestWithParam<ParkedCase> {};

TEST_P(ParkedJobsTest, TakesTheOldestRegularJobOnlyWhileThePortFileIsFree) {
    const ParkedCase& c = GetParam();
    qp::test::TempDir user;
    const std::string waiting = user.File("waiting");
    const std::string port = user.File("fax.ps");
    fs::create_directory(waiting);
    c.plant(waiting, port);
    EXPECT_EQ(qp::CountParkedJobs(user.Path()), c.countBefore);

    std::vector<std::string> taken;
    while (qp::TakeOldestParkedJob(user.Path(), port)) {
        // Taken again at once, nothing moves: the port file is not free.
        EXPECT_FALSE(qp::TakeOldestParkedJob(user.Path(), port));
        taken.push_back(ReadFile(port));
        fs::remove(port);
        ASSERT_LE(taken.size(), 10u);
    }
    EXPECT_EQ(taken, c.taken);
    EXPECT_EQ(qp::CountParkedJobs(user.Path()), c.countBefore - taken.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParkedJobsTest,
    ::testing::Values(ParkedCase{"in the order of their numbers past temporaries and other names",
                                 [](const std::string& w, const std::string&) {
                                     WriteFile(w + "/" + qp::ParkedJobName(10, 1), "job 1");
                                     WriteFile(w + "/" + qp::ParkedJobName(9, 2), "job 2");
                                     WriteFile(w + "/" + qp::ParkedJobName(123456, 3), "job 3");
                                     WriteFile(w + "/.part-0000000001.ps.x", "being written");
                                     WriteFile(w + "/notes.ps", "not a job");
                                     WriteFile(w + "/0000000001-0000000001.ps.txt", "not one");
                                 },
                                 {"job 2", "job 1", "job 3"},
                                 3},
                      // Print order across restarts of the print service that reset its count
                      // of job ids, and across an upgrade from the release that named jobs by
                      // job id alone.
                      ParkedCase{"earlier names first, then by number whatever the job ids",
                                 [](const std::string& w, const std::string&) {
                                     WriteFile(w + "/" + qp::ParkedJobName(1, 42), "new 42");
                                     WriteFile(w + "/" + qp::EarlierParkedJobName(42), "old 42");
                                     WriteFile(w + "/" + qp::ParkedJobName(3, 7), "new 7");
                                     WriteFile(w + "/" + qp::ParkedJobName(2, 42), "newer 42");
                                     WriteFile(w + "/" + qp::EarlierParkedJobName(9), "old 9");
                                     WriteFile(w + "/" + qp::ParkedJobName(10, 1), "new 1");
                                 },
                                 {"old 9", "old 42", "new 42", "newer 42", "new 7", "new 1"},
                                 6},
                      ParkedCase{"never a link, a pipe or a folder under a job's name",
                                 [](const std::string& w, const std::string&) {
                                     const std::string target = w + "-target.ps";
                                     WriteFile(target, "not the user's job");
                                     fs::create_symlink(target, w + "/" + qp::ParkedJobName(1, 1));
                                     ::mkfifo((w + "/" + qp::ParkedJobName(2, 2)).c_str(), 0600);
                                     fs::create_directory(w + "/" + qp::EarlierParkedJobName(3));
                                     WriteFile(w + "/" + qp::ParkedJobName(4, 4), "job 4");
                                 },
                                 {"job 4"},
                                 1},
                      ParkedCase{"nothing while a port file is there, even a dangling link",
                                 [](const std::string& w, const std::string& port) {
                                     WriteFile(w + "/" + qp::ParkedJobName(5, 5), "job 5");
                                     fs::create_symlink("/nonexistent/qp", port);
                                 },
                                 {},
                                 1},
                      ParkedCase{"nothing from a waiting folder that is a link",
                                 [](const std::string& w, const std::string&) {
                                     fs::remove(w);
                                     const std::string elsewhere = w + "-elsewhere";
                                     fs::create_directory(elsewhere);
                                     WriteFile(elsewhere + "/" + qp::ParkedJobName(6, 6), "job 6");
                                     fs::create_directory_symlink(elsewhere, w);
                                 },
                                 {},
                                 0}),
    qp::test::CaseName());

TEST(ParkedJobNameTest, NamesSpellTheirOrderOneWayAndJobIdsAreReadWhole) {
    EXPECT_EQ(qp::ParkedJobName(7, 42), "0000000007-0000000042.ps");
    EXPECT_EQ(qp::EarlierParkedJobName(42), "0000000042.ps");
    EXPECT_EQ(qp::OrderOfParkedJob("0000000007-0000000042.ps"), (qp::ParkedJobOrder{1, 7, 42}));
    EXPECT_EQ(qp::OrderOfParkedJob("12345678901-4294967295.ps"),
              (qp::ParkedJobOrder{1, 12345678901u, 4294967295u}));
    EXPECT_EQ(qp::OrderOfParkedJob("0000000042.ps"), (qp::ParkedJobOrder{0, 0, 42}));
    for (const char* other : {"42.ps", "00000000042.ps", "0000000007-42.ps",
                              "00000000007-0000000042.ps", "0000000007-0000000042.ps.part",
                              ".0000000042.ps", "0000000007_0000000042.ps", "x0000000042.ps"})
        EXPECT_FALSE(qp::OrderOfParkedJob(other).has_value()) << other;
    EXPECT_EQ(qp::ParseJobId("42"), 42u);
    for (const char* bad : {"", "-1", "4x", "12345678901", " 1"})
        EXPECT_FALSE(qp::ParseJobId(bad).has_value()) << bad;
}

} // namespace
