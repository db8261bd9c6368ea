#include "fax/SendSession.h"

#include "fax/log/SendNotices.h"
#include "platform/FileOps.h"
#include "tests/fax/support/MemoryStream.h"
#include "tests/support/GuiChecks.h"
#include "tests/support/TestSupport.h"

#include <atomic>
#include <filesystem>
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
    std::vector<std::string> messages;

    qp::SendForm Form() const override {
        return {"(555) 123-4567", {qp::Resolution::Fine, false}, ""};
    }
    void EnterState(State) override {}
    void ShowStatus(const char*) override {}
    void ShowPages(int) override {}
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void ShowImage(const std::string&) override {}
    void ShowRestored() override {}
    qp::UploadProgress UploadReporter() override { return {}; }
    void Stopped() override { session->Cancel(); }
    void Close(bool sent) override { closedSent = sent; }
    using KeepAnswer = SendSession::KeepAnswer;
    KeepAnswer AskToKeep() override {
        ++keepAsked;
        return keepAnswer;
    }
    KeepAnswer keepAnswer = KeepAnswer::Keep;
    int keepAsked = 0;
};

// The conversion and the upload end as scripted; the one held first waits for its stop.
class SendSessionTest : public ::testing::Test {
protected:
    std::unique_ptr<SendSession> Open() {
        std::optional<qp::Job> job = m_store.Create();
        EXPECT_TRUE(job);
        m_jobFolder = job->Folder();
        m_imagePath = job->FaxImage();
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
            if (m_upload)
                return m_upload(m_imagePath, std::move(stop));
            if (m_hold == State::Uploading)
                qp::test::WaitUntilStopped(std::move(stop));
            return m_uploaded;
        };
        services.record = [this](const faxlog::SendAttempt& attempt, const qp::Job& job) {
            m_logged.push_back(attempt);
            return m_log ? faxlog::RecordJobAttempt(*m_log, attempt, job) : faxlog::Recorded{};
        };
        if (m_keeps) {
            services.keep = [this](qp::Job& job, const faxlog::SendAttempt& lastTry) {
                m_keptTries.push_back(lastTry);
                if (!m_keepRefusal.empty())
                    return Outcome::Failure(m_keepRefusal);
                m_kept.emplace(std::move(job));
                return Outcome::Success();
            };
        }
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
    std::string m_imagePath;
    // When set, the upload instead of the scripted outcome, with the job's image path.
    std::function<Outcome(const std::string& image, std::stop_token)> m_upload;
    // The real log, when a test writes one.
    std::optional<faxlog::FaxLog> m_log;
    // A keep service, when set: it takes the job unless it refuses with words.
    bool m_keeps = false;
    std::string m_keepRefusal;
    std::vector<faxlog::SendAttempt> m_keptTries;
    std::optional<qp::Job> m_kept;
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

// The server had every byte when the user stopped or the program ended: the fax went, so it is
// logged as sent, not confirmed, the user is told, and it is never offered again.
TEST_F(SendSessionTest, AStopAfterTheServerHadEveryByteLeavesTheFaxSentButNotConfirmed) {
    const std::string notConfirmed = "The fax was sent, but the fax server did not confirm that it "
                                     "received it.\n(fax.example.com, port 7541)";
    for (const bool shutdown : {false, true}) {
        m_window = Window();
        m_logged.clear();
        qp::test::MemoryConnector server;
        server.script->incoming = "success: logged in\r\n\r\nsuccess: send data\r\n\r\n";
        std::atomic<bool> awaitingVerdict{false};
        m_upload = [&](const std::string& image, std::stop_token stop) {
            qp::test::WriteFile(image, "II*");
            server.script->onEndSending = [&awaitingVerdict, stop] {
                awaitingVerdict = true;
                qp::test::WaitUntilStopped(stop);
            };
            const qp::AccountSettings account{"fax.example.com", 7541, "5550100", "2468", "", {}};
            return qp::UploadFax(account, "5551234567", "", image, nullptr, server, stop);
        };
        auto session = Open();
        session->Send();
        ASSERT_TRUE(qp::test::PumpUntil([&] { return awaitingVerdict.load(); }));
        if (shutdown)
            EXPECT_FALSE(session->EndForShutdown()) << "no job is kept to be offered again";
        else
            session->Cancel();
        ASSERT_TRUE(qp::test::PumpUntil([&] { return m_window.closedSent.has_value(); }));
        EXPECT_TRUE(*m_window.closedSent) << shutdown;
        ASSERT_EQ(m_logged.size(), 1u) << shutdown;
        EXPECT_EQ(std::tuple(m_logged[0].outcome, m_logged[0].message, m_logged[0].dialled),
                  std::tuple(faxlog::Outcome::NotConfirmed, notConfirmed, "5551234567"))
            << shutdown;
        if (!shutdown) {
            EXPECT_EQ(m_window.messages, std::vector<std::string>{notConfirmed});
        }
        EXPECT_FALSE(qp::FileExists(m_jobFolder)) << shutdown;
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

TEST_F(SendSessionTest, AFaxTheLogCannotTakeKeepsItsJobIsToldOfAndIsLoggedAtTheNextStart) {
    const std::string logFolder = m_env.home.File("log");
    const std::string notLogged = "could not be written to the fax log: " + logFolder +
                                  ": Not a directory.\nThe fax is kept in ";
    enum class End { Cancel, Sent, SentWhileEnding };
    const struct {
        const char* what;
        End end;
        faxlog::Outcome logged;
        std::string told; // before the common part
        bool offeredAgain;
    } cases[] = {
        {"cancelled", End::Cancel, faxlog::Outcome::NotSent, "The fax ", true},
        {"sent", End::Sent, faxlog::Outcome::Sent, "The fax was sent, but it ", false},
        // No window opens while the program ends; the next start still writes the entry.
        {"sent as the program ends", End::SentWhileEnding, faxlog::Outcome::Sent, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(logFolder);
        qp::test::WriteFile(logFolder, "a file where the log should be");
        m_log.emplace(logFolder);
        m_window = Window();
        m_hold = c.end == End::SentWhileEnding ? State::Uploading : State::Idle;
        {
            auto session = Open();
            if (c.end == End::Cancel)
                session->Cancel();
            else
                session->Send();
            if (c.end == End::SentWhileEnding) {
                ASSERT_TRUE(qp::test::PumpUntil(
                    [&] { return session->CurrentState() == State::Uploading; }));
                EXPECT_TRUE(session->EndForShutdown()) << "the job stays for its entry";
            }
            ASSERT_TRUE(qp::test::PumpUntil([&] { return m_window.closedSent.has_value(); }));
            EXPECT_TRUE(qp::FileExists(m_jobFolder + "/faxbody.ps"));
            if (c.told.empty()) {
                EXPECT_TRUE(m_window.messages.empty());
            } else {
                EXPECT_EQ(m_window.messages,
                          std::vector<std::string>{c.told + notLogged + m_jobFolder +
                                                   " and is logged at the next start."});
            }
        }

        // The next start, with the log mended.
        qp::RemoveFile(logFolder);
        std::vector<qp::Job> leftOver = m_store.TakeLeftovers();
        ASSERT_EQ(leftOver.size(), 1u);
        std::string told;
        EXPECT_EQ(faxlog::OfferAfterKeptEntry(*m_log, leftOver[0], told), c.offeredAgain);
        EXPECT_EQ(told, "");
        const std::vector<faxlog::Entry> entries = m_log->Entries();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].record.outcome, c.logged);
        EXPECT_EQ(qp::FileExists(m_jobFolder), c.offeredAgain);
        if (c.offeredAgain)
            qp::JobStore::Remove(std::move(leftOver[0]));
    }
}

// A try that failed for a reason that may pass, the fax closed: the user may keep it, and the kept
// fax leaves with its job and no entry of the session's; anything else ends as a Cancel always did.
TEST_F(SendSessionTest, AFaxWhoseTryMayPassIsOfferedToBeKeptAndLeavesWithItsJob) {
    const Outcome cannotConnect = Outcome::Failure("no server", qp::FailureKind::CannotConnect);
    const struct {
        const char* what;
        Outcome uploaded;
        bool keeps;
        bool stale; // a choice changed after the try: its image is another fax's
        bool asked, kept;
    } cases[] = {
        {"kept", cannotConnect, true, false, true, true},
        {"kept after a choice changed", cannotConnect, true, true, true, true},
        {"refused by the server", Outcome::Failure("no", qp::FailureKind::Refused), true, false,
         false, false},
        {"nowhere to keep it", cannotConnect, false, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_window = Window();
        m_logged.clear();
        m_keptTries.clear();
        m_kept.reset();
        m_keeps = c.keeps;
        m_uploaded = c.uploaded;
        auto session = Open();
        session->Send();
        ASSERT_TRUE(qp::test::PumpUntil([&] { return session->CurrentState() == State::Idle; }));
        if (c.stale)
            session->MarkImageStale();
        session->Cancel();
        ASSERT_TRUE(qp::test::PumpUntil([&] { return m_window.closedSent.has_value(); }));
        EXPECT_EQ(m_window.keepAsked, c.asked ? 1 : 0);
        EXPECT_EQ(m_logged.size(), c.kept ? 0u : 1u) << "a kept fax is logged at its end";
        EXPECT_EQ(m_kept.has_value(), c.kept);
        EXPECT_EQ(qp::FileExists(m_jobFolder), c.kept) << "a discarded fax's job goes";
        if (c.kept) {
            ASSERT_EQ(m_keptTries.size(), 1u);
            const faxlog::SendAttempt& t = m_keptTries[0];
            EXPECT_EQ(std::tuple(t.typed, t.dialled, t.tries, t.imageMade, t.kind, t.message),
                      std::tuple("(555) 123-4567", "5551234567", 1, !c.stale, c.uploaded.kind,
                                 c.uploaded.message));
            qp::JobStore::Remove(std::move(*m_kept));
        }
    }
}

TEST_F(SendSessionTest, AFaxTheOutboxCannotTakeStaysWithItsWindowAndTheUserIsTold) {
    m_keeps = true;
    m_keepRefusal = "The outbox is full.";
    m_uploaded = Outcome::Failure("time-out", qp::FailureKind::TimedOut);
    auto session = Open();
    session->Send();
    ASSERT_TRUE(qp::test::PumpUntil([&] { return session->CurrentState() == State::Idle; }));
    m_window.messages.clear();
    session->Cancel();
    ASSERT_TRUE(qp::test::PumpUntil([&] { return !m_window.messages.empty(); }));
    EXPECT_EQ(m_window.messages, std::vector<std::string>{"The outbox is full."});
    EXPECT_EQ(session->CurrentState(), State::Idle);
    EXPECT_FALSE(m_window.closedSent.has_value());
    EXPECT_TRUE(m_logged.empty());
    EXPECT_TRUE(qp::FileExists(session->CurrentJob().BodyFile()));

    // Unanswered (the program ends meanwhile): the fax stays for the orderly end, which keeps it.
    m_window.keepAnswer = Window::KeepAnswer::None;
    session->Cancel();
    EXPECT_EQ(session->CurrentState(), State::Idle);
    EXPECT_TRUE(session->EndForShutdown());
    ASSERT_EQ(m_logged.size(), 1u);
    EXPECT_EQ(m_logged[0].outcome, faxlog::Outcome::NotSent);
    EXPECT_TRUE(qp::FileExists(m_jobFolder + "/faxbody.ps"));
}

} // namespace
