#include "fax/FaxImageCheck.h"
#include "platform/CommonFolder.h"
#include "platform/FileOps.h"
#include "tests/support/TestSupport.h"
#include "tests/support/cups/CupsFixture.h"
#include "tests/support/cups/TestUsers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
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

    // Waits until `user`'s port file holds a job and returns it.
    std::string NextJobOf(const qp::test::TestUser& user) {
        const std::string port = Cupsd().UserPortFile(user.name);
        qp::test::WaitUntil([&] { return qp::FileExists(port); }, std::chrono::seconds(60));
        return ReadFile(port);
    }
    // `lp` as `user`, without a terminal to ask a password on.
    int PrintAs(const qp::test::TestUser& user, const std::string& file,
                const std::vector<std::string>& options = {}) {
        std::vector<std::string> argv{"setsid", "-w", "lp", "-d", "Quill_Post"};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back(file);
        return qp::test::RunAsUser(user, argv);
    }

    // A job file that every user may read, as lp reads it as the user who prints.
    std::string JobFile(const std::string& name, const std::string& marker) {
        const std::string path = Cupsd().Root() + "/" + name;
        qp::test::WriteFile(path, PostScriptJob(marker));
        ::chmod(path.c_str(), 0644);
        return path;
    }
};

TEST_F(PrintCaptureTest, AJobPrintedByAnotherUserLandsInTheirOwnFolderAsTheirs) {
    const qp::test::TestUser user = qp::test::EnsureTestUser("quillpost-test-user");
    const std::string job = JobFile("letter.ps", "QPJOB letter");
    ASSERT_EQ(qp::test::RunAsUser(user, {"lp", "-d", "Quill_Post", job}), 0);

    const std::string port = Cupsd().UserPortFile(user.name);
    ASSERT_TRUE(
        qp::test::WaitUntil([&] { return qp::FileExists(port); }, std::chrono::seconds(60)));
    struct stat st {};
    ASSERT_EQ(::lstat(Cupsd().UserFolder(user.name).c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_uid, user.uid);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
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

TEST_F(PrintCaptureTest, ThreeUsersPrintingTenJobsEachGetThirtySeparateJobsInTheirOwnFolders) {
    const std::vector<qp::test::TestUser> users = {
        qp::test::EnsureTestUser("quillpost-test-user"),
        qp::test::EnsureTestUser("quillpost-test-user2"),
        qp::test::EnsureTestUser("quillpost-test-user3")};
    std::vector<pid_t> printing;
    for (int i = 0; i < 10; ++i) {
        for (const qp::test::TestUser& user : users) {
            const std::string marker = "QPJOB " + user.name + " " + std::to_string(i);
            const std::string file = JobFile(user.name + "-" + std::to_string(i) + ".ps", marker);
            printing.push_back(qp::test::SpawnAsUser(user, {"lp", "-d", "Quill_Post", file}));
        }
    }

    // Take each user's port file away as that user's watcher would, while the jobs keep coming.
    const std::string taken = Cupsd().Root() + "/taken";
    std::filesystem::create_directory(taken);
    std::map<std::string, int> count;
    int total = 0;
    qp::test::WaitUntil(
        [&] {
            for (const qp::test::TestUser& user : users) {
                const std::string port = Cupsd().UserPortFile(user.name);
                const std::string to =
                    taken + "/" + user.name + "-" + std::to_string(count[user.name]) + ".ps";
                if (qp::FileExists(port) && qp::MoveFileNoReplace(port, to)) {
                    ++count[user.name];
                    ++total;
                }
            }
            return total == 30;
        },
        std::chrono::seconds(120));
    for (pid_t pid : printing)
        EXPECT_EQ(qp::test::WaitForChild(pid), 0);
    ASSERT_EQ(total, 30);

    std::set<std::string> markers;
    for (const qp::test::TestUser& user : users) {
        ASSERT_EQ(count[user.name], 10) << user.name;
        for (int i = 0; i < 10; ++i) {
            const std::string file = taken + "/" + user.name + "-" + std::to_string(i) + ".ps";
            struct stat st {};
            ASSERT_EQ(::lstat(file.c_str(), &st), 0);
            EXPECT_EQ(st.st_uid, user.uid) << file;
            EXPECT_EQ(st.st_mode & 07777, 0600u) << file;
            const std::string text = ReadFile(file);
            ASSERT_EQ(CountOf(text, "QPJOB "), 1u) << file;
            // Every job of a user's folder is one of that user's jobs, whole.
            EXPECT_EQ(CountOf(text, "QPJOB " + user.name + " "), 1u) << file;
            const std::size_t at = text.find("QPJOB ");
            markers.insert(text.substr(at, text.find(')', at) - at));
            EXPECT_TRUE(EndsWithTrailer(text)) << file;
            EXPECT_TRUE(GhostscriptAccepts(file)) << file;
        }
    }
    EXPECT_EQ(markers.size(), 30u);
}

TEST_F(PrintCaptureTest, NobodyPrintsUnderAnotherUsersNameAndEachUserReachesTheirOwnFolder) {
    const qp::test::TestUser a = qp::test::EnsureTestUser("quillpost-test-user");
    const qp::test::TestUser b = qp::test::EnsureTestUser("quillpost-test-user2");
    EXPECT_NE(PrintAs(b, JobFile("forged.ps", "QPJOB forged"), {"-U", a.name}), 0);
    ASSERT_EQ(PrintAs(a, JobFile("a.ps", "QPJOB a")), 0);
    ASSERT_EQ(PrintAs(b, JobFile("b.ps", "QPJOB b")), 0);

    EXPECT_EQ(CountOf(NextJobOf(a), "QPJOB a"), 1u);
    EXPECT_EQ(CountOf(NextJobOf(b), "QPJOB b"), 1u);
    // Nothing else is on its way into a's folder.
    std::filesystem::rename(Cupsd().UserPortFile(a.name), Cupsd().Root() + "/a-taken.ps");
    std::string jobs;
    qp::test::WaitUntil(
        [&] {
            qp::test::RunProgram({"lpstat", "-o", "Quill_Post"}, &jobs);
            return jobs.empty();
        },
        std::chrono::seconds(30));
    EXPECT_EQ(jobs, "");
    EXPECT_FALSE(qp::FileExists(Cupsd().UserPortFile(a.name)));
}

TEST_F(PrintCaptureTest, AJobNobodyTakesDelaysOnlyTheJobsOfItsOwnUser) {
    const qp::test::TestUser a = qp::test::EnsureTestUser("quillpost-test-user");
    const qp::test::TestUser b = qp::test::EnsureTestUser("quillpost-test-user2");
    ASSERT_EQ(PrintAs(a, JobFile("a1.ps", "QPJOB a1")), 0);
    EXPECT_EQ(CountOf(NextJobOf(a), "QPJOB a1"), 1u);
    // a's client is not running: the second job has to wait for the first to be taken.
    ASSERT_EQ(PrintAs(a, JobFile("a2.ps", "QPJOB a2")), 0);
    ASSERT_EQ(PrintAs(b, JobFile("b.ps", "QPJOB b")), 0);

    const std::string bPort = Cupsd().UserPortFile(b.name);
    // Far below the time a's job may wait.
    EXPECT_TRUE(
        qp::test::WaitUntil([&] { return qp::FileExists(bPort); }, std::chrono::seconds(30)));
    EXPECT_EQ(CountOf(ReadFile(bPort), "QPJOB b"), 1u);

    std::filesystem::rename(Cupsd().UserPortFile(a.name), Cupsd().Root() + "/a1-taken.ps");
    EXPECT_EQ(CountOf(NextJobOf(a), "QPJOB a2"), 1u);
}

TEST_F(PrintCaptureTest, AnotherUserCanNeitherReadNorChangeAUsersFaxNorBlockAnyone) {
    const qp::test::TestUser a = qp::test::EnsureTestUser("quillpost-test-user");
    const qp::test::TestUser b = qp::test::EnsureTestUser("quillpost-test-user2");
    const qp::test::TestUser c = qp::test::EnsureTestUser("quillpost-test-user3");
    const std::string common = Cupsd().FaxFolder();
    const std::string own = Cupsd().UserFolder(a.name);
    const std::string stop = Cupsd().Root() + "/stop";

    // b looks for a's files during the whole of a's send; any success ends it with 1.
    const pid_t watching =
        qp::test::SpawnAsUser(b, {"sh", "-c",
                                  "while [ ! -e \"$0\" ]; do"
                                  "  ls \"$1\" >/dev/null 2>&1 && exit 1;"
                                  "  for f in fax.ps faxbody.ps faxcover.ps fax.tif; do"
                                  "    head -c 1 \"$1/$f\" >/dev/null 2>&1 && exit 1;"
                                  "  done;"
                                  "done; exit 0",
                                  stop, own});

    // b's plants: in the common folder, for a user who has not printed yet, and in a's folder.
    ASSERT_EQ(PrintAs(a, JobFile("a.ps", "QPJOB a")), 0);
    NextJobOf(a);
    for (const std::vector<std::string>& plant :
         std::vector<std::vector<std::string>>{{"touch", common + "/fax.ps"},
                                               {"touch", common + "/faxcover.ps"},
                                               {"ln", "-s", "/etc/passwd", common + "/fax.tif"},
                                               {"mkdir", common + "/" + c.name},
                                               {"ln", "-s", "/tmp", common + "/" + c.name},
                                               {"touch", own + "/faxcover.ps"},
                                               {"ln", "-s", "/etc/passwd", own + "/fax.tif"}})
        EXPECT_NE(qp::test::RunAsUser(b, plant), 0) << plant.back();

    // a's send, with a umask that would let anyone read what a writes.
    ASSERT_EQ(qp::test::RunAsUser(
                  a, {"sh", "-c",
                      "umask 022 && cd \"$0\" && mv fax.ps faxbody.ps && cp faxbody.ps faxcover.ps"
                      " && gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=tiffg4 -r204x196 -g1728x2172"
                      " -sOutputFile=fax.tif faxcover.ps faxbody.ps",
                      own}),
              0);
    EXPECT_FALSE(qp::FaxImageProblem(own + "/fax.tif").has_value());
    EXPECT_EQ(CountOf(ReadFile(own + "/faxbody.ps"), "QPJOB "), 1u);

    // Nobody is blocked: c, who has no folder yet, and b print as ever.
    ASSERT_EQ(PrintAs(c, JobFile("c.ps", "QPJOB c")), 0);
    ASSERT_EQ(PrintAs(b, JobFile("b.ps", "QPJOB b")), 0);
    EXPECT_EQ(CountOf(NextJobOf(c), "QPJOB c"), 1u);
    EXPECT_EQ(CountOf(NextJobOf(b), "QPJOB b"), 1u);

    qp::test::WriteFile(stop, "");
    EXPECT_EQ(qp::test::WaitForChild(watching), 0);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(common))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{a.name, b.name, c.name}));
}

} // namespace
