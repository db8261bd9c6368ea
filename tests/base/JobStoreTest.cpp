#include "base/Job.h"

#include "platform/FileOps.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <set>
#include <sys/stat.h>

namespace {

using qp::test::WriteFile;

TEST(JobStore, EachJobGetsAPrivateFolderWhoseNamesSortInTheOrderTheyWereMade) {
    qp::test::TempDir home;
    const qp::JobStore store(home.File("data/Quillpost/jobs"));
    std::vector<qp::Job> jobs;
    for (int i = 0; i < 20; ++i) {
        std::optional<qp::Job> job = store.Create();
        ASSERT_TRUE(job);
        jobs.push_back(std::move(*job));
    }
    std::set<std::string> ids;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        ids.insert(jobs[i].Id());
        if (i > 0) {
            EXPECT_LT(jobs[i - 1].Id(), jobs[i].Id());
        }
        struct stat st {};
        ASSERT_EQ(::stat(jobs[i].Folder().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    EXPECT_EQ(ids.size(), jobs.size());
    EXPECT_TRUE(store.TakeLeftovers().empty()) << "jobs held by their owners are not left over";

    WriteFile(jobs[0].BodyFile(), "%!PS");
    WriteFile(jobs[0].FaxImage(), "II*");
    const std::string folder = jobs[0].Folder();
    EXPECT_TRUE(qp::JobStore::Remove(std::move(jobs[0])));
    EXPECT_FALSE(qp::FileExists(folder));
}

TEST(JobStore, TheCoverIsTheDrawnPageElseOneRestoredInPostScript) {
    qp::test::TempDir home;
    std::optional<qp::Job> job = qp::JobStore(home.File("jobs")).Create();
    ASSERT_TRUE(job);
    EXPECT_EQ(job->CoverInput(), job->CoverFile());
    EXPECT_FALSE(job->HasContent());
    WriteFile(job->PostScriptCoverFile(), "%!PS cover");
    EXPECT_EQ(job->CoverInput(), job->PostScriptCoverFile());
    EXPECT_TRUE(job->HasContent());
    WriteFile(job->CoverFile(), "%PDF-1.4");
    EXPECT_EQ(job->CoverInput(), job->CoverFile());
}

// A folder with the outbox's record is the outbox's: never offered as left over, taken up only
// by the outbox, one job at a time, and only by a plain id of the store.
TEST(JobStore, OutboxFoldersAreTheOutboxsAlone) {
    qp::test::TempDir home;
    const qp::JobStore store(home.File("jobs"));
    std::string outboxId;
    std::string leftoverId;
    {
        std::optional<qp::Job> kept = store.Create();
        std::optional<qp::Job> leftover = store.Create();
        ASSERT_TRUE(kept && leftover);
        WriteFile(kept->FaxImage(), "II*");
        WriteFile(kept->OutboxStateFile(), "quillpost-outbox 1\nstate=waiting\n");
        WriteFile(leftover->BodyFile(), "%!PS");
        outboxId = kept->Id();
        leftoverId = leftover->Id();
    }
    std::vector<qp::Job> leftovers = store.TakeLeftovers();
    ASSERT_EQ(leftovers.size(), 1u);
    EXPECT_EQ(leftovers[0].Id(), leftoverId);

    std::vector<qp::Job> outbox = store.TakeOutboxJobs();
    ASSERT_EQ(outbox.size(), 1u);
    EXPECT_EQ(outbox[0].Id(), outboxId);
    EXPECT_FALSE(store.Take(outboxId)) << "held by the outbox";
    for (const std::string& id : {std::string(), std::string(".."), "../" + outboxId,
                                  outboxId + "/x", std::string("missing")})
        EXPECT_FALSE(store.Take(id)) << id;
    outbox.clear();
    EXPECT_TRUE(store.Take(outboxId));
}

TEST(JobStore, AStoreThatIsNotThisUsersAloneTakesNoJobs) {
    qp::test::TempDir home;
    const std::string root = home.File("jobs");
    ASSERT_EQ(::mkdir(root.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(root.c_str(), 0777), 0);
    std::string error;
    EXPECT_FALSE(qp::JobStore(root).Create(&error));
    EXPECT_NE(error.find(root), std::string::npos) << error;
    EXPECT_FALSE(qp::JobStore(std::string()).Create(&error)) << "no home, no store";
}

} // namespace
