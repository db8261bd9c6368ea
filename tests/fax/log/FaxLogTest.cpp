#include "fax/log/FaxLog.h"
#include "fax/FaxImageInfo.h"
#include "fax/log/SendNotices.h"
#include "fax/log/SendRecording.h"
#include "platform/FileOps.h"
#include "tests/fax/support/TiffPages.h"
#include "tests/support/PlainFileSystem.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <stdexcept>
#include <sys/stat.h>
#include <tuple>

using namespace qp::faxlog;
using qp::test::ReadFile;
using qp::test::TempDir;
using qp::test::WriteFile;

namespace {

constexpr std::int64_t kTime = 1796000000;

Record At(std::int64_t time) {
    Record record;
    record.time = time;
    return record;
}

Record Told(Outcome outcome, const std::string& dialled, int pages, const std::string& message) {
    Record record = At(kTime);
    record.outcome = outcome;
    record.dialled = dialled;
    record.pages = pages;
    record.message = message;
    return record;
}

unsigned Mode(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

// Writes through the real writer until its `failAt`th call, which fails like a full disk.
class FailingWriter final : public EntryWriter {
public:
    explicit FailingWriter(int failAt) : m_failAt(failAt) {}
    bool Write(const std::string& to, const std::string& bytes) override {
        return Next() && DefaultEntryWriter().Write(to, bytes);
    }
    bool Copy(const std::string& from, const std::string& to) override {
        return Next() && DefaultEntryWriter().Copy(from, to);
    }

private:
    bool Next() { return ++m_calls != m_failAt; }
    int m_failAt;
    int m_calls = 0;
};

class FaxLogTest : public ::testing::Test {
protected:
    FaxLogTest() {
        WriteFile(m_body, "%!PS body\n");
        WriteFile(m_cover, "%!PS cover\n");
        qp::test::WriteTiffPages(m_image, 3, 1728, 1078, 204, 98);
    }
    SendAttempt Attempt(Outcome outcome, bool imageMade, const std::string& message = "") {
        return {"(555) 123-4567", "5551234567", {qp::Resolution::Normal, true},
                outcome,          message,      imageMade};
    }
    std::vector<std::string> Ids(const FaxLog& log) const {
        std::vector<std::string> ids;
        for (const Entry& entry : log.Entries())
            ids.push_back(entry.id);
        return ids;
    }

    TempDir m_dir;
    std::string m_body = m_dir.File("faxbody.ps");
    std::string m_cover = m_dir.File("faxcover.ps");
    std::string m_image = m_dir.File("fax.tif");
    std::string m_folder = m_dir.File("data/Quillpost/log");
};

TEST_F(FaxLogTest, EachOutcomeKeepsItsRecordAndTheFilesItWasMadeFrom) {
    struct Case {
        Outcome outcome;
        bool imageMade;
        std::string message;
        bool withCover;
    };
    const Case cases[] = {
        {Outcome::Sent, true, "", true},
        {Outcome::Failed, true, "Login failed.\n\nCheck the PIN.", false},
        {Outcome::NotSent, false, "", true},
        {Outcome::NotConfirmed, true, "The fax server did not confirm.\n(fax, port 7541)", true},
    };
    FaxLog log(m_folder);
    for (const Case& c : cases) {
        const Record stored =
            RecordAttempt(log, Attempt(c.outcome, c.imageMade, c.message),
                          {m_body, c.withCover ? m_cover : m_dir.File("none.ps"), m_image}, kTime)
                .record;
        const std::vector<Entry> entries = log.Entries();
        ASSERT_FALSE(entries.empty());
        const Entry& entry = entries.front();
        SCOPED_TRACE(OutcomeText(c.outcome));
        EXPECT_EQ(entry.record.outcome, c.outcome);
        EXPECT_EQ(entry.record.message, c.message);
        EXPECT_EQ(entry.record.typed, "(555) 123-4567");
        EXPECT_EQ(entry.record.dialled, "5551234567");
        EXPECT_EQ(entry.record.resolution, qp::Resolution::Normal);
        EXPECT_TRUE(entry.record.legal);
        EXPECT_EQ(entry.record.time, kTime);
        EXPECT_EQ(entry.record.pages, c.imageMade ? 3 : 0);
        EXPECT_EQ(entry.record.size, c.imageMade ? qp::FileSize(m_image).value() : 0u);
        EXPECT_EQ(stored.pages, entry.record.pages);
        EXPECT_EQ(ReadFile(entry.BodyPath()), "%!PS body\n");
        EXPECT_EQ(entry.hasCover, c.withCover);
        EXPECT_EQ(entry.hasImage, c.imageMade);
        if (c.imageMade) {
            EXPECT_EQ(ReadFile(entry.ImagePath()), ReadFile(m_image));
        }
        EXPECT_EQ(Mode(entry.folder + "/record"), 0600u);
    }
    EXPECT_EQ(log.Entries().size(), std::size(cases));
    EXPECT_EQ(Mode(m_folder), 0700u);
}

// The words on disk are read by every release: entries written before an outcome existed stay
// readable, and each outcome reads back as itself.
TEST(FaxLogRecordTest, EachOutcomeIsStoredInItsOwnWords) {
    const std::pair<Outcome, const char*> cases[] = {
        {Outcome::Sent, "sent"},
        {Outcome::Failed, "failed"},
        {Outcome::NotSent, "not sent"},
        {Outcome::NotConfirmed, "sent, not confirmed"}};
    for (const auto& [outcome, words] : cases) {
        const std::string line = std::string("outcome=") + words + "\n";
        EXPECT_NE(FormatRecord(Told(outcome, "", 0, "")).find(line), std::string::npos) << words;
        const std::optional<Record> read = ParseRecord("time=1\n" + line);
        ASSERT_TRUE(read) << words;
        EXPECT_EQ(read->outcome, outcome) << words;
    }
}

TEST_F(FaxLogTest, RetentionRemovesTheOldestEntriesFirstButNeverTheNewOne) {
    FaxLog byCount(m_folder, DefaultEntryWriter(), Retention{3, 1u << 30});
    std::vector<std::string> added;
    for (int i = 0; i < 5; ++i)
        added.push_back(*byCount.Add(At(kTime + i), {m_body, "", ""}));
    EXPECT_EQ(Ids(byCount), (std::vector<std::string>{added[4], added[3], added[2]}));

    // Each entry with the image is about as large as the image; two of them fit the limit.
    const std::uint64_t entryBytes = qp::FileSize(m_image).value() + 200;
    FaxLog bySize(m_dir.File("bysize"), DefaultEntryWriter(), Retention{200, 2 * entryBytes});
    bySize.Add(At(kTime + 9), {"", "", m_image});
    const std::string big1 = *bySize.Add(At(kTime + 10), {"", "", m_image});
    const std::string big2 = *bySize.Add(At(kTime + 11), {"", "", m_image});
    EXPECT_EQ(Ids(bySize), (std::vector<std::string>{big2, big1}));

    // A single entry beyond the limit still stays: it is the fax just sent.
    FaxLog tiny(m_dir.File("bysize"), DefaultEntryWriter(), Retention{200, 10});
    const std::string last = *tiny.Add(At(kTime + 12), {m_body, "", m_image});
    EXPECT_EQ(Ids(tiny), std::vector<std::string>{last});
}

TEST_F(FaxLogTest, AnInterruptedWriteLeavesNoEntryAndNoTrace) {
    // Calls: body, cover, image, record.
    for (int failAt = 1; failAt <= 4; ++failAt) {
        FailingWriter writer(failAt);
        FaxLog log(m_folder, writer);
        EXPECT_FALSE(log.Add(At(kTime), {m_body, m_cover, m_image})) << failAt;
        EXPECT_TRUE(std::filesystem::is_empty(m_folder)) << failAt;
    }
}

TEST_F(FaxLogTest, RecordsSurviveEscapingAndDamagedOnesAreSkipped) {
    Record record = Told(Outcome::Failed, "", 2, "one\r\ntwo\\n");
    record.typed = "A=B\\C";
    record.resolution = qp::Resolution::High;
    record.answer = "success: queued\nas 7";
    const std::optional<Record> back = ParseRecord(FormatRecord(record));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->typed, record.typed);
    EXPECT_EQ(back->answer, record.answer);
    EXPECT_EQ(back->message, record.message);
    EXPECT_EQ(back->resolution, qp::Resolution::High);
    EXPECT_FALSE(ParseRecord("time=1\noutcome=maybe\n"));
    EXPECT_FALSE(ParseRecord("outcome=sent\n"));
    EXPECT_FALSE(ParseRecord("time=-5\noutcome=sent\n"));

    FaxLog log(m_folder);
    ASSERT_TRUE(log.Add(record, {}));
    std::filesystem::create_directories(m_folder + "/20990101-000000-1-0-0");
    WriteFile(m_folder + "/20990101-000000-1-0-0/record", std::string(70000, 'x'));
    EXPECT_EQ(log.Entries().size(), 1u);
    EXPECT_FALSE(log.Remove("../log"));
    EXPECT_FALSE(log.Find(".."));
}

TEST(FaxLogFolderTest, DataHomeFirstThenTheHomeFolder) {
    qp::test::ScopedEnv home("HOME", "/home/ann");
    {
        qp::test::ScopedEnv data("XDG_DATA_HOME", "/data/ann");
        EXPECT_EQ(FaxLog::DefaultFolder(), "/data/ann/Quillpost/log");
    }
    qp::test::ScopedEnv relative("XDG_DATA_HOME", "data");
    EXPECT_EQ(FaxLog::DefaultFolder(), "/home/ann/.local/share/Quillpost/log");
}

TEST(NotificationTextTest, SaysWhatHappenedToTheFax) {
    EXPECT_EQ(NotificationText(Told(Outcome::Sent, "5551234567", 3, "")),
              "Fax sent to (555) 123-4567: 3 pages");
    EXPECT_EQ(NotificationText(Told(Outcome::Sent, "15551234567", 1, "")),
              "Fax sent to 15551234567: 1 page");
    EXPECT_EQ(NotificationText(Told(Outcome::Failed, "5551234567", 0, "Unable to connect.")),
              "Unable to connect.");
}

} // namespace

namespace {

// A job of the user's store holding a printed body and its image; the log lies beside it.
class KeptEntryTest : public FaxLogTest {
protected:
    qp::Job NewJob() {
        std::optional<qp::Job> job = m_store.Create();
        EXPECT_TRUE(job);
        WriteFile(job->BodyFile(), "%!PS body\n");
        qp::test::WriteTiffPages(job->FaxImage(), 2, 1728, 1078, 204, 98);
        return std::move(*job);
    }
    // Where the log should be stands a file: no entry can be made.
    void BreakLog() {
        std::filesystem::create_directories(m_dir.File("data/Quillpost"));
        WriteFile(m_folder, "not a folder");
    }
    void MendLog() { qp::RemoveFile(m_folder); }
    // The client ended and starts again: the job is left over.
    qp::Job LeftOver() {
        std::vector<qp::Job> jobs = m_store.TakeLeftovers();
        EXPECT_EQ(jobs.size(), 1u);
        return std::move(jobs.front());
    }

    qp::JobStore m_store{m_dir.File("data/Quillpost/jobs")};
};

} // namespace

TEST_F(FaxLogTest, OnAFileSystemWithoutNoReplaceRenamesOrLinksAnEntryIsStillStored) {
    FaxLog log(m_folder);
    const qp::test::ScopedPlainFileSystem nfs;
    std::string failure;
    const std::optional<std::string> id = log.Add(At(kTime), {m_body, "", m_image}, &failure);
    ASSERT_TRUE(id) << failure;
    ASSERT_EQ(Ids(log), std::vector<std::string>{*id});
    EXPECT_EQ(ReadFile(log.Entries().front().BodyPath()), "%!PS body\n");
}

// The send session's tests follow a kept entry into a mended log; here the log stays broken.
TEST_F(KeptEntryTest, AnEntryTheLogStillCannotTakeKeepsASentFaxFromBeingOfferedAgain) {
    const struct {
        Outcome outcome;
        const char* told;
        bool offered;
    } cases[] = {
        {Outcome::Sent, "The fax was sent, but it could not be written to the fax log: ", false},
        {Outcome::NotSent, "The fax could not be written to the fax log: ", true},
    };
    BreakLog();
    FaxLog log(m_folder);
    for (const auto& c : cases) {
        SCOPED_TRACE(OutcomeText(c.outcome));
        std::string folder;
        {
            qp::Job job = NewJob();
            folder = job.Folder();
            EXPECT_FALSE(RecordJobAttempt(log, Attempt(c.outcome, true), job).onDisk);
        }
        const std::string told = c.told + m_folder + ": Not a directory.\nThe fax is kept in " +
                                 folder + " and is logged at the next start.";
        qp::Job job = LeftOver();
        std::string toldAgain;
        EXPECT_EQ(OfferAfterKeptEntry(log, job, toldAgain), c.offered);
        EXPECT_EQ(toldAgain, told);
        EXPECT_TRUE(qp::FileExists(folder + "/log-entry")) << "tried again at the next start";
        qp::JobStore::Remove(std::move(job));
    }
}

TEST_F(KeptEntryTest, AFaxOfferedAgainBringsItsKeptEntryAlongWhenItEnds) {
    {
        qp::Job job = NewJob();
        BreakLog();
        FaxLog log(m_folder);
        ASSERT_FALSE(RecordJobAttempt(log, Attempt(Outcome::NotSent, false), job).onDisk);
    }
    FaxLog log(m_folder);
    qp::Job job = LeftOver();
    std::string told;
    ASSERT_TRUE(OfferAfterKeptEntry(log, job, told)) << "the log is still broken";
    MendLog();
    const qp::faxlog::Recorded recorded = RecordJobAttempt(log, Attempt(Outcome::Sent, true), job);
    EXPECT_TRUE(recorded.onDisk);
    EXPECT_EQ(recorded.notice, "Fax sent to (555) 123-4567: 2 pages");
    std::map<Outcome, bool> withImage;
    for (const Entry& entry : log.Entries())
        withImage[entry.record.outcome] = entry.hasImage;
    // The image was made for the send, not for the discarded try.
    EXPECT_EQ(withImage,
              (std::map<Outcome, bool>{{Outcome::Sent, true}, {Outcome::NotSent, false}}));
}

// A drawer that keeps the facts it was given and draws, fails or throws as told.
enum class Drawn { Yes, No, Throws };
ReportDrawer Drawer(std::vector<qp::TransmissionFacts>& given, Drawn drawn = Drawn::Yes) {
    return [&given, drawn](const qp::TransmissionFacts& facts) -> std::optional<std::string> {
        given.push_back(facts);
        if (drawn == Drawn::Throws)
            throw std::runtime_error("no fonts");
        return drawn == Drawn::Yes ? std::optional<std::string>("%PDF-1.4 report") : std::nullopt;
    };
}

TEST_F(FaxLogTest, ASentFaxKeepsItsReportAndAFailedOneHasNone) {
    for (Outcome outcome :
         {Outcome::Sent, Outcome::NotConfirmed, Outcome::Failed, Outcome::NotSent}) {
        std::vector<qp::TransmissionFacts> given;
        FaxLog log(m_folder);
        log.KeepReports(Drawer(given));
        ASSERT_TRUE(RecordAttempt(log, Attempt(outcome, true), {m_body, m_cover, m_image}).onDisk);
        const Entry entry = log.Entries().front();
        EXPECT_EQ(entry.hasReport, WasSent(outcome)) << OutcomeText(outcome);
        if (entry.hasReport) {
            EXPECT_EQ(ReadFile(entry.ReportPath()), "%PDF-1.4 report");
        }
        log.Remove(entry.id);
    }
}

TEST_F(FaxLogTest, AReportSaysWhatTheRecordSaysWithPageOneReduced) {
    std::vector<qp::TransmissionFacts> given;
    FaxLog log(m_folder);
    log.KeepReports(Drawer(given));
    SendAttempt attempt = Attempt(Outcome::Sent, true);
    attempt.tries = 3;
    attempt.answer = "success: job 42 queued";
    ASSERT_TRUE(RecordAttempt(log, attempt, {m_body, m_cover, m_image}).onDisk);
    ASSERT_TRUE(RecordAttempt(log, Attempt(Outcome::NotConfirmed, true, "Not confirmed."),
                              {m_body, m_cover, m_image})
                    .onDisk);
    ASSERT_EQ(given.size(), 2u);
    const qp::TransmissionFacts& sent = given[0];
    EXPECT_EQ(std::tie(sent.status, sent.toName, sent.toNumber, sent.resolution, sent.answer),
              std::tie("Sent", "(555) 123-4567", "5551234567", "Normal (204x98)",
                       "success: job 42 queued"));
    EXPECT_EQ(std::pair(sent.pages, sent.tries), std::pair(3, 3));
    // 1728 x 1078 at 204 x 98 dpi is a letter page: 640 wide is 831 high. Its black band across
    // the top tenth shows; below it the page is white.
    ASSERT_TRUE(sent.firstPage);
    EXPECT_EQ(std::pair(sent.firstPage->width, sent.firstPage->height), std::pair(640, 831));
    EXPECT_LT(sent.firstPage->Row(20)[320], 64);
    EXPECT_GT(sent.firstPage->Row(400)[320], 192);
    // Unconfirmed: what the user was told stands for the server's answer.
    EXPECT_EQ(std::pair(given[1].status, given[1].answer),
              std::pair(std::string("Sent, not confirmed"), std::string("Not confirmed.")));
}

TEST_F(FaxLogTest, AReportThatCannotBeMadeLeavesTheEntryWhole) {
    // Calls of the writer: body, cover, image, report, record.
    const std::pair<Drawn, int> cases[] = {{Drawn::No, 0}, {Drawn::Throws, 0}, {Drawn::Yes, 4}};
    for (const auto& [drawn, failWriteAt] : cases) {
        SCOPED_TRACE(static_cast<int>(drawn) * 10 + failWriteAt);
        std::vector<qp::TransmissionFacts> given;
        FailingWriter writer(failWriteAt);
        FaxLog log(m_folder, writer);
        log.KeepReports(Drawer(given, drawn));
        ASSERT_TRUE(
            RecordAttempt(log, Attempt(Outcome::Sent, true), {m_body, m_cover, m_image}).onDisk);
        const Entry entry = log.Entries().front();
        EXPECT_FALSE(entry.hasReport);
        EXPECT_TRUE(entry.hasImage && entry.hasBody && entry.hasCover);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(entry.folder), {}), 4);
        log.Remove(entry.id);
    }
}
