#include "fax/outbox/Outbox.h"
#include "fax/outbox/QueuedFax.h"
#include "platform/FileOps.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <future>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using qp::FailureKind;
using qp::Outcome;
using qp::faxlog::SendAttempt;
using qp::outbox::Event;
using qp::outbox::Item;
using qp::outbox::Outbox;
using qp::outbox::State;
using qp::test::WriteFile;
using namespace std::chrono_literals;

class OutboxTest : public ::testing::Test {
protected:
    // The next tries' outcomes, in order; a try with none left succeeds with the server's word.
    void Script(std::initializer_list<Outcome> outcomes) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_outcomes.insert(m_outcomes.end(), outcomes);
    }

    qp::outbox::Services Services() {
        qp::outbox::Services services;
        services.upload = [this](const Item& fax, const std::string& image,
                                 const qp::UploadProgress& progress, std::stop_token) {
            Outcome outcome = Outcome::Answered("success: stored " + fax.dialled);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_dialled.push_back(fax.dialled);
                m_images.push_back(qp::test::ReadFile(image));
                if (!m_outcomes.empty()) {
                    outcome = m_outcomes.front();
                    m_outcomes.pop_front();
                }
            }
            if (outcome.ok)
                progress(4, 4);
            return outcome;
        };
        services.record = [this](const SendAttempt& attempt, const qp::Job&) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_logged.push_back(attempt);
            return qp::faxlog::Recorded{};
        };
        services.report = [this](const Event& event) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_events.push_back(event);
        };
        services.giveUpHours = [] { return 1; };
        return services;
    }

    qp::Job NewJob() {
        std::optional<qp::Job> job = m_store.Create();
        EXPECT_TRUE(job);
        WriteFile(job->FaxImage(), "II*" + job->Id());
        return std::move(*job);
    }

    // A fax as a program that queues it without a client leaves it, with `image` for its image.
    static std::optional<std::string> Queue(const qp::JobStore& store, const std::string& dialled,
                                            const std::string& imagePath,
                                            const std::string& image) {
        qp::outbox::QueuedFax queued;
        queued.fax = Fax(dialled);
        queued.image = imagePath;
        WriteFile(imagePath, image);
        return qp::outbox::WriteQueuedJob(store, queued);
    }

    static Item Fax(const std::string& dialled, int tries = 0,
                    FailureKind kind = FailureKind::None) {
        Item item;
        item.typed = "To " + dialled;
        item.dialled = dialled;
        item.tries = tries;
        item.lastKind = kind;
        return item;
    }

    std::string AddFax(const std::string& dialled, int tries = 0,
                       FailureKind kind = FailureKind::None) {
        qp::Job job = NewJob();
        const std::string id = job.Id();
        EXPECT_TRUE(m_outbox.Add(job, Fax(dialled, tries, kind)));
        return id;
    }

    std::size_t Count(Event::Kind kind) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<std::size_t>(std::count_if(
            m_events.begin(), m_events.end(), [kind](const Event& e) { return e.kind == kind; }));
    }
    std::vector<SendAttempt> Logged() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_logged;
    }
    std::vector<std::string> Dialled() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_dialled;
    }
    // Waits for the outbox's thread to have told of something.
    bool Told(Event::Kind kind, std::size_t count = 1) {
        return qp::test::WaitUntil([&] { return Count(kind) >= count; });
    }
    // Waits until the only fax is in `state` after `tries` tries.
    bool Reaches(State state, int tries) {
        return qp::test::WaitUntil([&] {
            const std::vector<Item> items = m_outbox.Items();
            return items.size() == 1 && items[0].state == state && items[0].tries == tries &&
                   Count(Event::Kind::Changed) >= 1;
        });
    }
    // Lets the clock run to the only fax's next try.
    void RunToNextTry() {
        const std::vector<Item> items = m_outbox.Items();
        ASSERT_EQ(items.size(), 1u);
        m_clock.Advance(std::chrono::seconds(items[0].nextTry - Now()));
        m_outbox.Wake();
    }
    // The outbox reckons wall time from its start as the fake clock moves it; it started no
    // earlier than the test.
    std::int64_t Now() const {
        return m_started +
               std::chrono::duration_cast<std::chrono::seconds>(m_clock.Now().time_since_epoch())
                   .count();
    }

    qp::test::TempDir m_dir;
    qp::JobStore m_store{m_dir.File("jobs")};
    qp::test::FakeClock m_clock;
    const std::int64_t m_started = std::chrono::duration_cast<std::chrono::seconds>(
                                       std::chrono::system_clock::now().time_since_epoch())
                                       .count();
    std::mutex m_mutex;
    std::deque<Outcome> m_outcomes;
    std::vector<std::string> m_dialled;
    std::vector<std::string> m_images;
    std::vector<SendAttempt> m_logged;
    std::vector<Event> m_events;
    Outbox m_outbox{m_store, m_clock, Services()};
};

Outcome Failure(FailureKind kind) {
    return Outcome::Failure("failed for the " + std::to_string(static_cast<int>(kind)) + " kind",
                            kind);
}

// A fax kept after the dialog's failed try waits its time, fails again, is sent at the third try
// with the same image: one log entry with all three tries, its delivery told once.
TEST_F(OutboxTest, AFaxThatFailsAndThenGoesIsLoggedOnceWithItsTries) {
    Script({Failure(FailureKind::CannotConnect)});
    const std::string id = AddFax("5550001", 1, FailureKind::CannotConnect);
    ASSERT_TRUE(m_outbox.Start());
    ASSERT_TRUE(Reaches(State::Waiting, 1));
    EXPECT_TRUE(Dialled().empty()) << "the first retry waits a minute";

    RunToNextTry();
    ASSERT_TRUE(Reaches(State::Waiting, 2));
    EXPECT_EQ(m_outbox.Items()[0].reason, Failure(FailureKind::CannotConnect).message);
    RunToNextTry();
    ASSERT_TRUE(Told(Event::Kind::Removed));

    const std::vector<SendAttempt> logged = Logged();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].outcome, qp::faxlog::Outcome::Sent);
    EXPECT_EQ(logged[0].tries, 3);
    EXPECT_EQ(logged[0].dialled, "5550001");
    EXPECT_EQ(logged[0].answer, "success: stored 5550001") << "for the fax's report";
    EXPECT_EQ(Count(Event::Kind::Delivered), 1u);
    EXPECT_EQ(Count(Event::Kind::NeedsAttention) + Count(Event::Kind::GaveUp), 0u);
    EXPECT_EQ(m_images, std::vector<std::string>(2, "II*" + id)) << "the image is reused";
    EXPECT_FALSE(qp::FileExists(m_dir.File("jobs/" + id)));
}

// A refusal is told at once and never tried again by itself; the user's Retry Now tries it, and
// Discard logs it as not sent and lets it go.
TEST_F(OutboxTest, ARefusalNeedsTheUserAndIsNeverRetriedBlindly) {
    Script({Failure(FailureKind::Refused), Failure(FailureKind::Refused)});
    const std::string id = AddFax("5550002");
    ASSERT_TRUE(m_outbox.Start());
    ASSERT_TRUE(Told(Event::Kind::NeedsAttention));
    ASSERT_TRUE(Reaches(State::NeedsAttention, 1));
    m_clock.Advance(48h);
    m_outbox.BringForward();
    m_outbox.Wake();
    EXPECT_TRUE(m_outbox.RetryNow(id));
    ASSERT_TRUE(Reaches(State::NeedsAttention, 2));
    EXPECT_EQ(Dialled().size(), 2u) << "tried again only at the user's word";

    EXPECT_TRUE(m_outbox.Discard(id));
    ASSERT_TRUE(Told(Event::Kind::Removed));
    ASSERT_EQ(Logged().size(), 1u);
    EXPECT_EQ(Logged()[0].outcome, qp::faxlog::Outcome::NotSent);
    EXPECT_EQ(Logged()[0].tries, 2);
    EXPECT_FALSE(m_outbox.Discard(id));
    EXPECT_FALSE(qp::FileExists(m_dir.File("jobs/" + id)));
}

// Tries stop once the next would come after the limit of hours, told once as given up.
TEST_F(OutboxTest, AServerOutOfReachForTooLongGivesUp) {
    for (int i = 0; i < 10; ++i)
        Script({Failure(FailureKind::CannotConnect)});
    AddFax("5550003");
    ASSERT_TRUE(m_outbox.Start());
    // Tries at 0, 1, 3, 8, 18 and 38 minutes; the next, at 68, is past the hour.
    for (int tries = 1; tries <= 5; ++tries) {
        ASSERT_TRUE(Reaches(State::Waiting, tries)) << tries;
        RunToNextTry();
    }
    ASSERT_TRUE(Told(Event::Kind::GaveUp));
    ASSERT_TRUE(Reaches(State::NeedsAttention, 6));
    EXPECT_EQ(Count(Event::Kind::GaveUp), 1u);
    EXPECT_TRUE(Logged().empty()) << "logged only when it leaves";
}

TEST_F(OutboxTest, FaxesGoOneAtATimeOldestFirst) {
    for (const char* number : {"5550010", "5550011", "5550012"})
        AddFax(number);
    ASSERT_TRUE(m_outbox.Start());
    ASSERT_TRUE(Told(Event::Kind::Removed, 3));
    EXPECT_EQ(Dialled(), (std::vector<std::string>{"5550010", "5550011", "5550012"}));
    EXPECT_EQ(Logged().size(), 3u);
}

// A client that ended during a try: a try whose every byte arrived is never repeated, any other
// is.
TEST_F(OutboxTest, AFaxFoundSendingIsResentOnlyWhenNotEveryByteArrived) {
    for (const bool allBytes : {true, false}) {
        SCOPED_TRACE(allBytes);
        qp::test::TempDir dir;
        const qp::JobStore store(dir.File("jobs"));
        const std::optional<std::string> id = Queue(store, "5550020", dir.File("fax.tif"), "II*");
        ASSERT_TRUE(id);
        qp::outbox::Record record = *qp::outbox::ReadRecord(store.Root() + "/" + *id + "/outbox");
        record.item.state = State::Sending;
        record.item.tries = 1;
        record.allBytesSent = allBytes;
        ASSERT_TRUE(qp::outbox::WriteRecord(store.Root() + "/" + *id + "/outbox", record));
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_events.clear();
            m_logged.clear();
            m_dialled.clear();
        }
        Outbox outbox(store, m_clock, Services());
        ASSERT_TRUE(outbox.Start());
        ASSERT_TRUE(Told(Event::Kind::Removed));
        ASSERT_EQ(Logged().size(), 1u);
        EXPECT_EQ(Logged()[0].outcome,
                  allBytes ? qp::faxlog::Outcome::NotConfirmed : qp::faxlog::Outcome::Sent);
        EXPECT_EQ(Dialled().size(), allBytes ? 0u : 1u);
        EXPECT_EQ(Count(Event::Kind::NeedsAttention), allBytes ? 1u : 0u);
    }
}

// The record cannot be written: the caller keeps the job, lock and files, and is told why.
TEST_F(OutboxTest, AFaxWhoseRecordCannotBeWrittenStaysWithTheCaller) {
    qp::Job job = NewJob();
    ASSERT_EQ(::mkdir(job.OutboxStateFile().c_str(), 0700), 0);
    const Outcome added = m_outbox.Add(job, Fax("5550030"));
    EXPECT_FALSE(added);
    EXPECT_NE(added.message.find("could not be kept in the outbox"), std::string::npos);
    EXPECT_TRUE(qp::FileExists(job.FaxImage()));
    EXPECT_FALSE(m_store.Take(job.Id())) << "the caller still holds its lock";
    EXPECT_TRUE(m_outbox.Items().empty());
}

TEST_F(OutboxTest, ABusyOutboxRefusesMoreAndTheCallerKeepsTheFax) {
    for (std::size_t i = 0; i < qp::outbox::kMaxFaxes; ++i)
        AddFax("555" + std::to_string(i));
    qp::Job job = NewJob();
    Outcome added = m_outbox.Add(job, Fax("5559999"));
    EXPECT_FALSE(added);
    EXPECT_NE(added.message.find("outbox is full"), std::string::npos);
    EXPECT_TRUE(qp::FileExists(job.FaxImage()));
    EXPECT_EQ(m_outbox.Items().size(), qp::outbox::kMaxFaxes);

    Outbox other(m_store, m_clock, Services());
    qp::Job large = NewJob();
    ASSERT_EQ(::truncate(large.FaxImage().c_str(), qp::outbox::kMaxBytes + 1), 0);
    EXPECT_FALSE(other.Add(large, Fax("5559998")));
    EXPECT_TRUE(qp::FileExists(large.FaxImage()));
}

// A fax queued by another program is taken up by id, files and all.
TEST_F(OutboxTest, AQueuedFaxIsAdoptedAndSent) {
    qp::outbox::QueuedFax queued;
    queued.fax = Fax("5550040");
    queued.image = m_dir.File("fax.tif");
    queued.body = m_dir.File("doc.ps");
    WriteFile(queued.image, "II*queued");
    WriteFile(queued.body, "%!PS");
    const std::optional<std::string> id = qp::outbox::WriteQueuedJob(m_store, queued);
    ASSERT_TRUE(id);
    EXPECT_EQ(qp::test::ReadFile(m_store.Root() + "/" + *id + "/faxbody.ps"), "%!PS");
    EXPECT_FALSE(m_outbox.Adopt("../" + *id));
    ASSERT_TRUE(m_outbox.Adopt(*id));
    ASSERT_TRUE(m_outbox.Start());
    ASSERT_TRUE(Told(Event::Kind::Removed));
    EXPECT_EQ(m_images, std::vector<std::string>{"II*queued"});

    queued.image = m_dir.File("missing.tif");
    std::string error;
    EXPECT_FALSE(qp::outbox::WriteQueuedJob(m_store, queued, &error));
    EXPECT_NE(error.find("missing.tif"), std::string::npos);
    EXPECT_TRUE(m_store.TakeOutboxJobs().empty()) << "nothing of it is left behind";
}

// Queued while the outbox was reading its folders at its start: handed over, it is taken and sent
// once.
TEST_F(OutboxTest, AQueuedFaxTheStartFoundIsAdoptedOnlyOnce) {
    const std::optional<std::string> id =
        Queue(m_store, "5550045", m_dir.File("fax.tif"), "II*queued");
    ASSERT_TRUE(id);
    Script({Failure(FailureKind::Busy)});
    ASSERT_TRUE(m_outbox.Start());
    ASSERT_TRUE(qp::test::WaitUntil([this] { return m_outbox.Loaded(); }));
    EXPECT_TRUE(m_outbox.Adopt(*id));
    EXPECT_TRUE(Reaches(State::Waiting, 1)) << "one fax, tried once";
}

TEST_F(OutboxTest, StopEndsAWaitAtOnce) {
    const std::string id = AddFax("5550050", 1, FailureKind::NotStored);
    ASSERT_TRUE(m_outbox.Start());
    ASSERT_TRUE(Reaches(State::Waiting, 1));
    std::future<void> stopped = std::async(std::launch::async, [this] { m_outbox.Stop(); });
    // The wait would last ten minutes of the clock, and a minute at least of real time.
    EXPECT_TRUE(qp::test::WaitUntil(
        [&] { return stopped.wait_for(0s) == std::future_status::ready; }, 20s));
    EXPECT_TRUE(Dialled().empty());
    const std::optional<qp::outbox::Record> record =
        qp::outbox::ReadRecord(m_store.Root() + "/" + id + "/outbox");
    ASSERT_TRUE(record) << "it waits on disk for the next start";
    EXPECT_EQ(record->item.state, State::Waiting);
}

} // namespace
