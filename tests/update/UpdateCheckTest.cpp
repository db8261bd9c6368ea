#include "update/UpdateCheck.h"
#include "app/CommandLine.h"
#include "tests/support/Loopback.h"
#include "tests/update/support/UpdateFixture.h"
#include "update/UpdateChecks.h"

#include <filesystem>

namespace {

using qp::MessageAnswer;
using qp::test::UpdateTest;
using Strings = std::vector<std::string>;

// A public key that signed nothing the server publishes.
constexpr const char* kForeignKey = "untrusted comment: minisign public key 2AF2F3C43C461DB5\n"
                                    "RWS1HUY8xPPyKm2V0OpkC1SZSF6gAjNTat6dzdcxtrf+51zOF94kASTo\n";

class UpdateCheckTest : public UpdateTest {
protected:
    int m_iconRemovals = 0;
    int m_iconRestores = 0;
    std::function<bool()> m_waitUntilReplaceable; // none: the process may be replaced at once

    void SetUp() override {
        Publish("faxmfst.txt", "quillpost=2\n");
        Install("faxmfst.txt", "quillpost=1\n");
    }
    bool Check(bool silent, const std::string& host) {
        return qp::CheckForUpdate(
            host, silent, m_runner, [this] { ++m_iconRemovals; }, [this] { ++m_iconRestores; },
            m_waitUntilReplaceable, Folder());
    }
    bool Check(bool silent) { return Check(silent, Host()); }
};

TEST_F(UpdateCheckTest, CopiesTheProgramAndStartsTheCopyInUpdateMode) {
    std::string program;
    for (int i = 0; i < 5000; ++i)
        program += static_cast<char>(i * 7 % 256);
    Install("quillpost", program);
    // An old copy that is a link: the link is replaced, the file it names stays as it was.
    qp::test::TempDir elsewhere;
    qp::test::WriteFile(elsewhere.File("victim"), "victim");
    std::filesystem::create_symlink(elsewhere.File("victim"), m_install.File("quillpost-cpy"));
    Serve();
    int waits = 0;
    m_waitUntilReplaceable = [&] {
        ++waits;
        EXPECT_EQ(Installed("quillpost-cpy"), program) << "the copy is made before the wait";
        EXPECT_EQ(m_iconRemovals, 0) << "the icon stays while the client waits";
        return true;
    };
    m_runner.replaceError = 0;

    EXPECT_THROW(Check(true), qp::test::ProcessReplaced);

    EXPECT_EQ(
        m_user.messages.Texts(),
        (Strings{"A Quill Post update is available\n\nWould you like to apply the update now?"}));
    EXPECT_EQ(m_user.messages.Messages()[0].icon, qp::MessageIcon::Question);
    EXPECT_FALSE(std::filesystem::is_symlink(m_install.File("quillpost-cpy")));
    EXPECT_EQ(qp::test::ReadFile(elsewhere.File("victim")), "victim");
    EXPECT_EQ(ModeOf("quillpost-cpy"), 0755u);
    EXPECT_EQ(waits, 1);
    EXPECT_EQ(m_iconRemovals, 1);
    EXPECT_EQ(m_iconRestores, 0);
    ASSERT_EQ(m_runner.replaced.size(), 1u);
    EXPECT_EQ(m_runner.replaced[0].first, m_install.File("quillpost-cpy"));
    const Strings& argv = m_runner.replaced[0].second;
    EXPECT_EQ(argv, (Strings{"quillpost-cpy", " -update ", "-h:" + Host()}));
    // The copy's start-up finds the switch and takes the host from its joined command line.
    std::vector<const char*> args;
    for (const std::string& arg : argv)
        args.push_back(arg.c_str());
    const std::string commandLine = qp::JoinArguments(static_cast<int>(args.size()), args.data());
    EXPECT_EQ(commandLine, " -update  -h:" + Host());
    EXPECT_EQ(qp::ChooseStartMode(commandLine), qp::StartMode::Update);
    EXPECT_EQ(qp::HostFromCommandLine(commandLine), Host());
}

struct StartCase {
    const char* what;
    bool replaceable;    // what the wait answers
    std::string message; // after the question; empty: none
    int iconRemovals;
    int iconRestores;
    std::size_t starts;
    friend void PrintTo(const StartCase& c, std::ostream* out) { *out << c.what; }
};

class UpdateStartTest : public UpdateCheckTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(UpdateStartTest, ClientGoesOnWhenTheCopyIsNotStarted) {
    const StartCase& c = GetParam();
    Install("quillpost", "program");
    Serve();
    m_waitUntilReplaceable = [&c] { return c.replaceable; };
    m_runner.replaceError = EACCES;

    EXPECT_FALSE(Check(false));

    Strings messages{"A Quill Post update is available\n\nWould you like to apply the update now?"};
    if (!c.message.empty())
        messages.push_back(c.message);
    EXPECT_EQ(m_user.messages.Texts(), messages);
    EXPECT_EQ(m_iconRemovals, c.iconRemovals);
    EXPECT_EQ(m_iconRestores, c.iconRestores);
    EXPECT_EQ(m_runner.replaced.size(), c.starts);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateStartTest,
    ::testing::Values(StartCase{"program ending", false, "", 0, 0, 0},
                      StartCase{"start fails", true,
                                "Unable to start update\n\nCannot start quillpost-cpy\n\nError "
                                "code: 5",
                                1, 1, 1}),
    qp::test::CaseName());

struct CopyFailure {
    const char* what;
    std::function<void(const qp::test::TempDir&)> prepare;
    std::string message;
    // ctest lists the case by its name, not by its bytes.
    friend void PrintTo(const CopyFailure& c, std::ostream* out) { *out << c.what; }
};

class UpdateCheckFailureTest : public UpdateCheckTest,
                               public ::testing::WithParamInterface<CopyFailure> {};

TEST_P(UpdateCheckFailureTest, ReportsTheCauseAndStartsNothing) {
    GetParam().prepare(m_install);
    Serve();

    EXPECT_FALSE(Check(true));

    EXPECT_EQ(m_user.messages.Texts().back(), GetParam().message);
    EXPECT_EQ(m_iconRemovals, 0);
    EXPECT_TRUE(m_runner.replaced.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateCheckFailureTest,
    ::testing::Values(
        CopyFailure{"no program", [](const qp::test::TempDir&) {},
                    "Unable to start update\n\nCannot read quillpost\n\nError code: 2"},
        CopyFailure{"copy is a folder",
                    [](const qp::test::TempDir& dir) {
                        qp::test::WriteFile(dir.File("quillpost"), "program");
                        std::filesystem::create_directory(dir.File("quillpost-cpy"));
                    },
                    "Unable to start update\n\nCannot create quillpost-cpy\n\nError code: 1"}),
    qp::test::CaseName());

TEST_F(UpdateCheckTest, DeclinedUpdateDoesNothing) {
    Install("quillpost", "program");
    Serve();
    m_user.messages.SetNextAnswer(MessageAnswer::No);

    EXPECT_FALSE(Check(false));

    EXPECT_EQ(m_user.messages.Texts().size(), 1u);
    EXPECT_FALSE(qp::FileExists(m_install.File("quillpost-cpy")));
    EXPECT_EQ(m_iconRemovals, 0);
    EXPECT_TRUE(m_runner.replaced.empty());
}

TEST_F(UpdateCheckTest, OnlyAVerifiedManifestWithNothingNewIsUpToDate) {
    struct Case {
        const char* what;
        std::function<void()> prepare;
        std::string menuMessage;
        qp::MessageIcon icon;
        bool refused = false; // the server's port refuses connections
    };
    const Case cases[] = {
        {"up to date", [this] { Publish("faxmfst.txt", "quillpost=1\n"); },
         "Application is up to date", qp::MessageIcon::Information},
        {"no manifest", [this] { std::filesystem::remove(m_release.File("faxmfst.txt")); },
         "Unable to check for updates: the server answered 404 Not Found",
         qp::MessageIcon::Warning},
        {"unreachable server", [] {}, "Unable to check for updates: the server cannot be reached",
         qp::MessageIcon::Warning, true},
        {"badly signed manifest",
         [this] {
             Publish("faxmfst.txt", "quillpost=1\n");
             Publish("faxmfst.txt.minisig", "untrusted comment: forged\nnot a signature\n");
             Install("quillpost-release.pub", kForeignKey);
         },
         "Unable to check for updates: the manifest's signature is not valid",
         qp::MessageIcon::Warning},
    };
    Serve();
    const qp::test::RefusingPort refusing;
    for (const Case& c : cases) {
        c.prepare();
        const std::string host =
            c.refused ? "127.0.0.1:" + std::to_string(refusing.Port()) : Host();
        m_user.messages.Clear();
        EXPECT_FALSE(Check(true, host)) << c.what;
        EXPECT_EQ(m_user.messages.Texts(), Strings{}) << c.what << ": the daily check stays silent";
        EXPECT_FALSE(Check(false, host)) << c.what;
        ASSERT_EQ(m_user.messages.Texts(), Strings{c.menuMessage}) << c.what;
        EXPECT_EQ(m_user.messages.Messages()[0].icon, c.icon) << c.what;
    }
    EXPECT_TRUE(m_runner.replaced.empty());
}

} // namespace

// The menu's check runs on a thread of its own: an update host that never answers holds neither
// the menu nor a second check, and the program's end calls the fetch off instead of waiting.
TEST_F(UpdateCheckTest, AHostThatNeverAnswersHoldsNoMenuAndTheEndCallsItOff) {
    const qp::test::LoopbackServer silent;
    std::atomic<int> checksStarted{0};
    qp::UpdateChecks checks(m_runner, {[&] {
                                           ++checksStarted;
                                           return "127.0.0.1:" + std::to_string(silent.Port());
                                       },
                                       {},
                                       {}});
    checks.CheckNow();
    ASSERT_TRUE(qp::test::WaitUntil([&] { return checksStarted == 1; }));
    checks.CheckNow();
    checks.Stop();
    EXPECT_EQ(checksStarted, 1);
    EXPECT_TRUE(m_runner.replaced.empty());
}
