#include "fax/SendSession.h"

#include "platform/FileOps.h"
#include "tests/support/GuiChecks.h"
#include "tests/support/TestSupport.h"

#include <atomic>
#include <gtest/gtest.h>

using qp::Outcome;
using qp::SendSession;
using State = SendSession::State;
namespace faxlog = qp::faxlog;

namespace {

// The window as the session sees it: a form filled in, how it closed, and a Cancel once the user's
// stop has taken effect, as the dialog does. What it shows is the dialog test's.
class Window final : public SendSession::View {
public:
    SendSession* session = nullptr;
    std::optional<bool> closedSent;

    qp::SendForm Form() const override {
        return {"(555) 123-4567", {qp::Resolution::Fine, false}, ""};
    }
    void EnterState(State) override {}
    void ShowStatus(const char*) override {}
    void ShowPages(int) override {}
    void ShowMessage(const std::string&) override {}
    void ShowImage(const std::string&) override {}
    void ShowRestored() override {}
    qp::UploadProgress UploadReporter() override { return {}; }
    void Stopped() override { session->Cancel(); }
    void Close(bool sent) override { closedSent = sent; }
};

// The conversion and the upload end as scripted; the one held first waits for its stop.
class SendSessionTest : public ::testing::Test {
protected:
    std::unique_ptr<SendSession> Open() {
        std::optional<qp::Job> job = m_store.Create();
        EXPECT_TRUE(job);
        m_jobFolder = job->Folder();
        qp::test::WriteFile(job->BodyFile(), "%!PS\n");
        qp::SendServices services;
        services.convert = [this](const qp::Job&, const qp::ConversionParams&,
                                  std::stop_token stop) {
            if (m_hold == State::Converting)
                qp::test::WaitUntilStopped(std::move(stop));
            return m_converted;
        };
        services.upload = [this](const std::string&, const std::string&, const std::string&,
                                 const qp::UploadProgress&, std::stop_token stop) {
            if (m_hold == State::Uploading)
                qp::test::WaitUntilStopped(std::move(stop));
            return m_uploaded;
        };
        services.record = [this](const faxlog::SendAttempt& attempt, const qp::Job&) {
            m_logged.push_back(attempt);
            return faxlog::Recorded{};
        };
        auto session = std::make_unique<SendSession>(std::move(*job), services, m_window);
        m_window.session = session.get();
        return session;
    }

    qp::test::TempUserEnvironment m_env;
    qp::JobStore m_store{m_env.home.File("jobs")};
    Window m_window;
    Outcome m_converted = Outcome::Success();
    Outcome m_uploaded = Outcome::Success();
    std::atomic<State> m_hold{State::Idle};
    std::vector<faxlog::SendAttempt> m_logged;
    std::string m_jobFolder;
};

TEST_F(SendSessionTest, TheWorksOutcomeDecidesWhatFollowsAndTheOneEntryTheFaxGets) {
    using Logged = faxlog::Outcome;
    // After a failure the session waits: the entry is made when the user ends it. Work that ends
    // without a word was stopped, and the fax goes as a Cancel discards it.
    const struct {
        const char* what;
        Outcome converted, uploaded;
        Logged logged;
        std::string message;
        bool imageMade;
    } cases[] = {
        {"sent", Outcome::Success(), Outcome::Success(), Logged::Sent, "", true},
        {"conversion failed", Outcome::Failure("gs"), Outcome::Success(), Logged::Failed, "gs",
         false},
        {"upload failed", Outcome::Success(), Outcome::Failure("busy"), Logged::Failed, "busy",
         true},
        {"conversion stopped", Outcome::Stopped(), Outcome::Success(), Logged::NotSent, "", false},
        {"upload stopped", Outcome::Success(), Outcome::Stopped(), Logged::NotSent, "", false},
    };
    for (const auto& c : cases) {
        m_window = Window();
        m_logged.clear();
        m_converted = c.converted;
        m_uploaded = c.uploaded;
        auto session = Open();
        session->Send();
        ASSERT_TRUE(qp::test::PumpUntil([&] {
            return session->CurrentState() == State::Idle || m_window.closedSent.has_value();
        })) << c.what;
        EXPECT_EQ(m_logged.empty(), c.logged == Logged::Failed) << c.what;
        session->Cancel();
        ASSERT_TRUE(qp::test::PumpUntil([&] { return m_window.closedSent.has_value(); })) << c.what;
        EXPECT_EQ(*m_window.closedSent, c.logged == Logged::Sent) << c.what;
        ASSERT_EQ(m_logged.size(), 1u) << c.what;
        const faxlog::SendAttempt& a = m_logged[0]; // with what the window held
        EXPECT_EQ(std::tie(a.outcome, a.message, a.imageMade),
                  std::tie(c.logged, c.message, c.imageMade))
            << c.what;
        EXPECT_EQ(std::tuple(a.typed, a.dialled, a.choices.resolution, a.tries),
                  std::tuple("(555) 123-4567", "5551234567", qp::Resolution::Fine, 1))
            << c.what;
        EXPECT_FALSE(qp::FileExists(m_jobFolder)) << c.what;
    }
}

TEST_F(SendSessionTest, AStopWinsOverAConversionThatEndsAnywayButNotOverAnUploadThatGotThrough) {
    const struct {
        State held;
        bool shutdown; // else a Cancel
        bool sent;
    } cases[] = {{State::Converting, false, false},
                 {State::Uploading, false, true},
                 {State::Uploading, true, true}};
    const std::string history = m_env.home.File(".fx.hs");
    for (const auto& c : cases) {
        m_hold = c.held;
        m_window = Window();
        qp::RemoveFile(history);
        auto session = Open();
        session->Send();
        ASSERT_TRUE(qp::test::PumpUntil([&] { return session->CurrentState() == c.held; }));
        if (c.shutdown)
            EXPECT_FALSE(session->EndForShutdown()) << "a fax sent keeps no job";
        else
            session->Cancel();
        ASSERT_TRUE(qp::test::PumpUntil([&] { return m_window.closedSent.has_value(); }));
        EXPECT_EQ(*m_window.closedSent, c.sent);
        EXPECT_EQ(m_logged.back().outcome,
                  c.sent ? faxlog::Outcome::Sent : faxlog::Outcome::NotSent);
        EXPECT_EQ(qp::FileExists(history), c.sent) << "the number of a fax sent is remembered";
        EXPECT_FALSE(qp::FileExists(m_jobFolder));
    }
}

TEST_F(SendSessionTest, AnOrderlyEndAfterAFailedTryLogsItsFailureAndKeepsTheJob) {
    m_uploaded = Outcome::Failure("busy");
    auto session = Open();
    session->Send();
    ASSERT_TRUE(qp::test::PumpUntil([&] { return session->CurrentState() == State::Idle; }));
    EXPECT_TRUE(session->EndForShutdown());
    ASSERT_EQ(m_logged.size(), 1u);
    EXPECT_EQ(m_logged[0].outcome, faxlog::Outcome::NotSent);
    EXPECT_EQ(m_logged[0].message, "busy");
    EXPECT_TRUE(qp::FileExists(m_jobFolder + "/faxbody.ps"));
}

} // namespace
