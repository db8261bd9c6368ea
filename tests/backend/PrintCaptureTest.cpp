#include "base/JobPhone.h"
#include "base/ParkedJobs.h"
#include "fax/FaxImageCheck.h"
#include "platform/CommonFolder.h"
#include "platform/FileOps.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestSupport.h"
#include "tests/support/cups/CupsFixture.h"
#include "tests/support/cups/TestUsers.h"

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

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
               {"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=nullpage", file})
               .exitCode == 0;
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

    // The state of the fax queue's job `id` (ipp_jstate_t), 0 when the scheduler knows none.
    int JobState(int id) {
        cups_job_t* jobs = nullptr;
        const int count =
            cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, "Quill_Post", 0, CUPS_WHICHJOBS_ALL);
        int state = 0;
        for (int i = 0; i < count; ++i) {
            if (jobs[i].id == id)
                state = jobs[i].state;
        }
        cupsFreeJobs(count, jobs);
        return state;
    }
    // A job of `user` that the scheduler holds until it is released, so that its id is known
    // before the backend runs; its id.
    int PrintHeld(const qp::test::TestUser& user, const std::string& file) {
        if (PrintAs(user, file, {"-H", "hold"}) != 0)
            return 0;
        cups_job_t* jobs = nullptr;
        const int count =
            cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, "Quill_Post", 0, CUPS_WHICHJOBS_ACTIVE);
        int id = 0;
        for (int i = 0; i < count; ++i)
            id = std::max(id, jobs[i].id);
        cupsFreeJobs(count, jobs);
        return id;
    }
    // Releases the held job `id` and waits until the backend is done with it; its final state.
    int ReleaseAndFinish(const qp::test::TestUser& user, int id) {
        EXPECT_EQ(qp::test::RunAsUser(
                      user, {"setsid", "-w", "lp", "-i", std::to_string(id), "-H", "resume"}),
                  0);
        qp::test::WaitUntil([&] { return JobState(id) >= IPP_JSTATE_CANCELED; },
                            std::chrono::seconds(60));
        return JobState(id);
    }
    // The user's folder and waiting folder as the backend makes them, for a test to fill.
    std::string OwnWaitingFolder(const qp::test::TestUser& user) {
        const std::string folder = Cupsd().UserFolder(user.name);
        const std::string waiting = folder + "/waiting";
        for (const std::string& path : {folder, waiting}) {
            std::filesystem::create_directory(path);
            EXPECT_EQ(::chown(path.c_str(), user.uid, user.gid), 0);
            ::chmod(path.c_str(), 0700);
        }
        return waiting;
    }
};

// Each job comes whole, as its user's own file: cupsd runs the backend for the user it
// authenticated. (How the backend makes the user's folder is BackendTest's.)
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
                qp::TakeOldestParkedJob(Cupsd().UserFolder(user.name), port);
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
            jobs = qp::test::RunProgram({"lpstat", "-o", "Quill_Post"}).out;
            return jobs.empty();
        },
        std::chrono::seconds(30));
    EXPECT_EQ(jobs, "");
    EXPECT_FALSE(qp::FileExists(Cupsd().UserPortFile(a.name)));
}

// The number given with `lp -o phone=...`, or chosen in the driver's custom field, opens the
// user's send dialog; a value that is no plain number names nobody, and the job still comes.
TEST_F(PrintCaptureTest, TheNumberAJobIsPrintedWithLeadsItsFileForTheSendDialog) {
    const qp::test::TestUser user = qp::test::EnsureTestUser("quillpost-test-user");
    const std::string port = Cupsd().UserPortFile(user.name);
    const struct {
        std::string option;
        std::string firstLine;
        std::string phone;
    } cases[] = {
        {"phone=5552010001", "%%QuillpostPhone: 5552010001\n", "5552010001"},
        {"phone='Custom.+1 555 201 0002'", "%%QuillpostPhone: +1 555 201 0002\n",
         "+1 555 201 0002"},
        {"phone='<b>5552010003</b>'", "%!PS-Adobe-3.0", ""},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string marker = "QPJOB phone " + std::to_string(n);
        ASSERT_EQ(
            PrintAs(user, JobFile("phone" + std::to_string(n++) + ".ps", marker), {"-o", c.option}),
            0)
            << c.option;
        const std::string text = NextJobOf(user);
        EXPECT_EQ(text.substr(0, c.firstLine.size()), c.firstLine) << c.option;
        EXPECT_EQ(CountOf(text, "QuillpostPhone"), c.phone.empty() ? 0u : 1u) << c.option;
        EXPECT_EQ(qp::PhoneOfJobFile(port), c.phone) << c.option;
        EXPECT_EQ(CountOf(text, marker), 1u) << c.option;
        EXPECT_TRUE(GhostscriptAccepts(port)) << c.option;
        std::filesystem::remove(port);
    }
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

TEST_F(PrintCaptureTest, JobsPrintedWhileNoneIsTakenWaitOnDiskThroughARestartAndComeOutInOrder) {
    const qp::test::TestUser a = qp::test::EnsureTestUser("quillpost-test-user");
    const std::string folder = Cupsd().UserFolder(a.name);
    const std::string port = Cupsd().UserPortFile(a.name);
    for (int i = 1; i <= 3; ++i) {
        const std::string name = "a" + std::to_string(i);
        ASSERT_EQ(PrintAs(a, JobFile(name + ".ps", "QPJOB " + name)), 0);
    }
    // The scheduler is done with all three: the first in the port file, two waiting.
    std::string queued;
    ASSERT_TRUE(qp::test::WaitUntil(
        [&] {
            queued = qp::test::RunProgram({"lpstat", "-o", "Quill_Post"}).out;
            return queued.empty() && qp::CountParkedJobs(folder) == 2;
        },
        std::chrono::seconds(60)))
        << queued;
    EXPECT_TRUE(qp::FileExists(port));
    EXPECT_TRUE(Cupsd().BackendProcesses().empty());
    for (int id : {2, 3}) {
        struct stat st {};
        const std::string parked = folder + "/waiting/" + qp::ParkedJobName(id - 1, id);
        ASSERT_EQ(::lstat(parked.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, a.uid);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
    }

    // As on a package update or a reboot; then the user prints once more.
    Cupsd().Restart();
    ASSERT_EQ(PrintAs(a, JobFile("a4.ps", "QPJOB a4")), 0);
    ASSERT_TRUE(qp::test::WaitUntil([&] { return qp::CountParkedJobs(folder) == 3; },
                                    std::chrono::seconds(60)));

    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(CountOf(ReadFile(port), "QPJOB a" + std::to_string(i)), 1u) << i;
        std::filesystem::remove(port);
        EXPECT_EQ(qp::TakeOldestParkedJob(folder, port), i < 4) << i;
    }
}

TEST_F(PrintCaptureTest,
       AFullWaitingFolderRefusesOnlyItsOwnUsersJobWithAStatusLineAndAPlantedNameNone) {
    const qp::test::TestUser a = qp::test::EnsureTestUser("quillpost-test-user");
    const qp::test::TestUser b = qp::test::EnsureTestUser("quillpost-test-user2");
    const std::string waiting = Cupsd().UserFolder(a.name) + "/waiting";
    const std::string target = Cupsd().Root() + "/target.ps";
    qp::test::WriteFile(target, "root's own file");
    // a's own files: an untaken job, and jobs that wait.
    const auto ownFile = [&](const std::string& path, off_t size) {
        qp::test::WriteFile(path, "%!PS");
        EXPECT_EQ(::truncate(path.c_str(), size), 0);
        EXPECT_EQ(::chown(path.c_str(), a.uid, a.gid), 0);
    };
    const auto waitingJobs = [&](int count) {
        ownFile(Cupsd().UserPortFile(a.name), 100);
        for (int i = 0; i < count; ++i)
            ownFile(waiting + "/" + qp::ParkedJobName(i + 1, 900000 + i), 100);
    };
    const std::string refused = "; the fax is refused";
    const struct {
        const char* what;
        // Given the job's id.
        std::function<void(int id)> plant;
        // The status line after "ERROR: "; empty where the job must wait.
        std::string refusal;
        // Where it waits: the number in its name.
        std::uint64_t sequence;
    } cases[] = {
        {"99 waiting, the 100th waits", [&](int) { waitingJobs(99); }, "", 100},
        {"100 waiting, the 101st is refused", [&](int) { waitingJobs(100); },
         "100 faxes already wait in " + waiting + refused + " until some are taken", 0},
        {"1 GiB waiting", [&](int) { ownFile(waiting + "/" + qp::ParkedJobName(1, 1), 1 << 30); },
         "The faxes waiting in " + waiting + " take 1 GiB already" + refused +
             " until some are taken",
         0},
        // What the user put under a job's name is neither followed nor replaced, and no reason
        // to refuse the job.
        {"a link under a job's name",
         [&](int id) {
             std::filesystem::create_symlink(target, waiting + "/" + qp::ParkedJobName(1, id));
         },
         "", 2},
        {"a pipe under a job's name",
         [&](int id) { ::mkfifo((waiting + "/" + qp::ParkedJobName(1, id)).c_str(), 0666); }, "",
         2},
        {"a folder under a job's name",
         [&](int id) {
             std::filesystem::create_directory(waiting + "/" + qp::ParkedJobName(1, id));
         },
         "", 2},
    };
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(Cupsd().UserFolder(a.name));
        OwnWaitingFolder(a);
        const std::string tag = std::to_string(++round);
        const int id = PrintHeld(a, JobFile("a" + tag + ".ps", "QPJOB a" + tag));
        ASSERT_GT(id, 0);
        c.plant(id);
        const int state = ReleaseAndFinish(a, id);

        if (c.refusal.empty()) {
            EXPECT_EQ(state, IPP_JSTATE_COMPLETED);
            const std::string parked = waiting + "/" + qp::ParkedJobName(c.sequence, id);
            EXPECT_EQ(CountOf(ReadFile(parked), "QPJOB a" + tag), 1u);
        } else {
            EXPECT_EQ(state, IPP_JSTATE_CANCELED);
            EXPECT_NE(Cupsd().ErrorLog().find("[Job " + std::to_string(id) + "] " + c.refusal),
                      std::string::npos)
                << c.refusal;
        }
        EXPECT_EQ(ReadFile(target), "root's own file");

        // The other user's jobs go on.
        ASSERT_EQ(PrintAs(b, JobFile("b" + tag + ".ps", "QPJOB b" + tag)), 0);
        EXPECT_EQ(CountOf(NextJobOf(b), "QPJOB b" + tag), 1u);
        std::filesystem::remove(Cupsd().UserPortFile(b.name));
    }
}

} // namespace
