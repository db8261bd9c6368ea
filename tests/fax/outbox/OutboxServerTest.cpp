#include "fax/Upload.h"
#include "fax/outbox/Outbox.h"
#include "platform/UniqueFd.h"
#include "tests/fax/support/FaxdProcess.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>

namespace {

using qp::outbox::Event;

// The fax server is down when the fax is kept; once it is back (elsewhere, as the account now
// says), the next try delivers it without anyone asking, logged once with its tries.
TEST(OutboxServerTest, AFaxKeptWhileTheServerIsDownGoesOnceItIsBack) {
    qp::test::TempDir dir;
    qp::test::FakeClock clock;
    int downPort = 0;
    // Bound but not listening: every connection is refused.
    const qp::UniqueFd down(qp::test::BindLoopback(downPort));
    std::mutex mutex;
    qp::AccountSettings account;
    account.host = "127.0.0.1";
    account.port = downPort;
    account.login = "5550100";
    account.pin = "2468";
    std::vector<Event> events;
    std::vector<qp::faxlog::SendAttempt> logged;

    qp::outbox::Services services;
    services.upload = [&](const qp::outbox::Item& fax, const std::string& image,
                          const qp::UploadProgress& progress, std::stop_token stop) {
        qp::AccountSettings now;
        {
            std::lock_guard<std::mutex> lock(mutex);
            now = account;
        }
        return qp::UploadFax(now, fax.dialled, fax.email, image, progress,
                             qp::DefaultFaxConnector(), std::move(stop));
    };
    services.record = [&](const qp::faxlog::SendAttempt& attempt, const qp::Job&) {
        std::lock_guard<std::mutex> lock(mutex);
        logged.push_back(attempt);
        return qp::faxlog::Recorded{};
    };
    services.report = [&](const Event& event) {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(event);
    };
    const qp::JobStore store(dir.File("jobs"));
    qp::outbox::Outbox outbox(store, clock, services);
    std::optional<qp::Job> job = store.Create();
    ASSERT_TRUE(job);
    const std::string image = std::string("II*\0", 4) + std::string(40000, 'f');
    qp::test::WriteFile(job->FaxImage(), image);
    qp::outbox::Item fax;
    fax.dialled = "5551234567";
    ASSERT_TRUE(outbox.Add(*job, fax));
    ASSERT_TRUE(outbox.Start());
    ASSERT_TRUE(qp::test::WaitUntil([&] {
        const std::vector<qp::outbox::Item> items = outbox.Items();
        return items.size() == 1 && items[0].state == qp::outbox::State::Waiting &&
               items[0].tries == 1;
    }));
    EXPECT_EQ(outbox.Items()[0].lastKind, qp::FailureKind::CannotConnect);

    qp::test::FaxdProcess server(dir.Path(), "5550100 2468\n");
    {
        std::lock_guard<std::mutex> lock(mutex);
        account.port = server.Port();
    }
    outbox.BringForward();
    ASSERT_TRUE(qp::test::WaitUntil([&] {
        std::lock_guard<std::mutex> lock(mutex);
        return std::any_of(events.begin(), events.end(),
                           [](const Event& e) { return e.kind == Event::Kind::Removed; });
    }));
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].outcome, qp::faxlog::Outcome::Sent);
    EXPECT_EQ(logged[0].tries, 2);
    const std::vector<std::string> stored = server.Stored(".tif");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(qp::test::ReadFile(stored[0]), image);
    EXPECT_EQ(server.Stop(), 0);
}

} // namespace
