#include "app/QuillpostApp.h"
#include "app/StartupServices.h"
#include "base/Settings.h"
#include "platform/ClientChannel.h"
#include "platform/CommonFolder.h"
#include "platform/Profile.h"
#include "tests/support/FakeRunner.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <chrono>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>

using namespace qp::settings;
using qp::test::RecordingMessageSink;
using qp::test::ScopedEnv;
using qp::test::TempDir;

namespace {

class RecordingServices final : public qp::StartupServices {
public:
    std::vector<std::string> calls;
    std::string printerPort;
    // The account as the configuration dialog would show it.
    const qp::AccountStore* account = nullptr;
    qp::AccountSettings accountSeenByConfig;
    std::string hostSeenByUpdate;

    void RunUpdate(const std::string& host) override {
        calls.push_back("update");
        hostSeenByUpdate = host;
    }
    void RunInitialConfig() override {
        calls.push_back("initial-config");
        if (account != nullptr)
            accountSeenByConfig = account->Get();
    }
    bool RunFaxLog() override {
        calls.push_back("log");
        return false;
    }
    void CreateTrayWindow() override { calls.push_back("tray"); }
    std::string FindFaxPrinterPort() override {
        calls.push_back("find-port");
        return printerPort;
    }
    void SetDefaultViewer() override { calls.push_back("viewer"); }
    void RunPreferences() override { calls.push_back("preferences"); }
    bool StartWatcher(const std::string&) override {
        calls.push_back("watcher");
        return true;
    }
    bool TakeRequest(const qp::ChannelRequest& request) override {
        std::string call = "request:" + request.command;
        for (const std::string& token : {request.startupId, request.activationToken}) {
            if (!token.empty())
                call += " " + token;
        }
        calls.push_back(call);
        return true;
    }
};

class StartupTest : public ::testing::Test {
protected:
    qp::test::TempUserEnvironment m_env;
    TempDir& m_home = m_env.home;
    RecordingMessageSink& m_messages = m_env.messages;
    RecordingServices m_services;
    qp::test::FakeRunner m_runner;
};

} // namespace

TEST_F(StartupTest, ThePortFileLiesInTheUsersOwnFolderInTheCommonFolder) {
    CQuillpostApp app("");
    const std::string own = m_home.Path() + "/" + qp::CurrentLoginName();
    EXPECT_EQ(app.PortFile(), own + "/fax.ps");
    EXPECT_TRUE(m_messages.Texts().empty());
    // Where the folder may be made, it is made for its user alone.
    struct stat st {};
    ASSERT_EQ(::lstat(own.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
}

TEST_F(StartupTest, WithoutTheVariableTheSpoolFolderIsUsed) {
    ScopedEnv unset("QUILLPOST_COMMON_DIR", std::nullopt);
    CQuillpostApp app("");
    const std::string own = "/var/spool/quillpost/" + qp::CurrentLoginName();
    EXPECT_EQ(app.PortFile(), own + "/fax.ps");
}

// The printer's queue may name a folder of its own: only a start-up that finds no folder at all
// for the jobs says so, and it makes none.
TEST_F(StartupTest, TheSpoolFolderMessageComesOnlyWhenNoFolderForJobsIsFound) {
    ScopedEnv missing("QUILLPOST_COMMON_DIR", m_home.File("absent"));
    const std::string login = qp::CurrentLoginName();
    std::filesystem::create_directory(m_home.File("queue"));
    const struct {
        const char* what;
        std::string printerPort;
        std::string portFile;
        bool told;
    } cases[] = {
        {"no printer", "", m_home.File("absent/" + login + "/fax.ps"), true},
        {"a printer whose folder is missing too", m_home.File("gone/fax.ps"),
         m_home.File("gone/" + login + "/fax.ps"), true},
        {"a printer whose folder exists", m_home.File("queue/fax.ps"),
         m_home.File("queue/" + login + "/fax.ps"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_messages.Clear();
        RecordingServices services;
        services.printerPort = c.printerPort;
        CQuillpostApp app("");
        EXPECT_TRUE(m_messages.Texts().empty()) << "told before the printer was asked";
        ASSERT_EQ(app.InitInstance(services), CQuillpostApp::StartOutcome::RunEventLoop);
        EXPECT_EQ(app.PortFile(), c.portFile);
        if (!c.told) {
            EXPECT_TRUE(m_messages.Texts().empty());
            continue;
        }
        ASSERT_EQ(m_messages.Texts(),
                  std::vector<std::string>{"Unable to retrieve directory for processing faxes"});
        EXPECT_EQ(m_messages.Messages()[0].icon, qp::MessageIcon::Warning);
    }
    EXPECT_FALSE(std::filesystem::exists(m_home.File("absent")));
}

TEST_F(StartupTest, TrayModeRunsItsStepsInOrderAndAsksForTheAccountOnFirstUse) {
    // No number at all, and an empty number accepted with OK earlier, both count as none.
    for (const std::optional<std::string>& stored :
         {std::optional<std::string>(), std::optional<std::string>("")}) {
        qp::Profile().WriteString(kSection, kLogin.key, stored);
        RecordingServices services;
        CQuillpostApp app("");
        EXPECT_EQ(app.InitInstance(services), CQuillpostApp::StartOutcome::RunEventLoop);
        EXPECT_EQ(services.calls, (std::vector<std::string>{"tray", "find-port", "viewer",
                                                            "preferences", "watcher"}));
        const qp::AccountSettings account = app.Account().Get();
        EXPECT_EQ(account.host, kDefaultFaxHost);
        EXPECT_EQ(account.port, 7541);
        EXPECT_EQ(account.login, "");
    }
}

TEST_F(StartupTest, StoredAccountIsReadAndPreferencesAreSkipped) {
    qp::Profile profile;
    profile.WriteString(kSection, kLogin.key, std::string("5550100"));
    profile.WriteString(kSection, kPin.key, std::string("1234"));
    profile.WriteString(kSection, kHost.key, std::string("fax.example.com"));
    profile.WriteInt(kSection, kPort.key, 9100);
    profile.WriteString(kSection, kNotifyEmail.key, std::string("me@example.com"));

    CQuillpostApp app("");
    app.InitInstance(m_services);
    EXPECT_EQ(m_services.calls,
              (std::vector<std::string>{"tray", "find-port", "viewer", "watcher"}));
    const qp::AccountSettings account = app.Account().Get();
    EXPECT_EQ(account.login, "5550100");
    EXPECT_EQ(account.pin, "1234");
    EXPECT_EQ(account.host, "fax.example.com");
    EXPECT_EQ(account.port, 9100);
    EXPECT_EQ(account.notifyEmail, "me@example.com");
}

TEST_F(StartupTest, APrinterPortLongerThanFourCharactersMovesThePortFileToItsFolder) {
    const std::string login = qp::CurrentLoginName();
    {
        // One client at a time: the second starts once the first has ended.
        CQuillpostApp shortPort("");
        m_services.printerPort = "/a/b";
        shortPort.InitInstance(m_services);
        EXPECT_EQ(shortPort.PortFile(), m_home.Path() + "/" + login + "/fax.ps");
    }
    CQuillpostApp longPort("");
    m_services.printerPort = "/a/bc";
    longPort.InitInstance(m_services);
    EXPECT_EQ(longPort.PortFile(), "/a/" + login + "/bc");
}

TEST_F(StartupTest, AStartWhileTheClientRunsAsksItAndSaysSoInAWindowWhenItDoesNotAnswer) {
    ScopedEnv runtime("XDG_RUNTIME_DIR", m_home.Path());
    // Without an event loop the first client takes the lock but never listens: a client that
    // hangs, or one still starting when the start gives up.
    auto first = std::make_unique<CQuillpostApp>("");
    ASSERT_EQ(first->InitInstance(m_services), CQuillpostApp::StartOutcome::RunEventLoop);
    const std::vector<std::string> firstCalls = m_services.calls;

    for (const char* line : {"", "-configure", "-log", "-contacts", "-cover"}) {
        SCOPED_TRACE(line);
        m_messages.Clear();
        qp::test::FakeClock clock;
        RecordingServices secondServices;
        CQuillpostApp second(line);
        second.SetHandOverClock(clock);
        testing::internal::CaptureStderr();
        EXPECT_EQ(second.InitInstance(secondServices), CQuillpostApp::StartOutcome::Fail);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Quillpost is already running for this user.\n");
        EXPECT_TRUE(secondServices.calls.empty());
        ASSERT_EQ(m_messages.Texts().size(), 1u);
        EXPECT_NE(m_messages.Texts()[0].find("did not answer"), std::string::npos);
        EXPECT_FALSE(clock.Sleeps().empty()) << "a client still starting is given time";
    }
    EXPECT_EQ(m_services.calls, firstCalls);

    // The lock goes with the client that held it; then each mode runs as itself.
    first.reset();
    RecordingServices alone;
    CQuillpostApp configure("-configure");
    EXPECT_EQ(configure.InitInstance(alone), CQuillpostApp::StartOutcome::Exit);
    EXPECT_EQ(alone.calls, std::vector<std::string>{"initial-config"});
    alone.calls.clear();
    CQuillpostApp cover("-cover");
    cover.SetDesktopActivation("startup-7", "");
    EXPECT_EQ(cover.InitInstance(alone), CQuillpostApp::StartOutcome::RunEventLoop);
    ASSERT_FALSE(alone.calls.empty());
    EXPECT_EQ(alone.calls.back(), "request:cover startup-7") << "once the watcher runs";
}

TEST_F(StartupTest, AStartWhileTheClientRunsHandsItsRequestWithTheDesktopsTokensAndEnds) {
    ScopedEnv runtime("XDG_RUNTIME_DIR", m_home.Path());
    int argc = 1;
    char name[] = "app_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication qt(argc, argv);
    CQuillpostApp first("");
    ASSERT_EQ(first.InitInstance(m_services), CQuillpostApp::StartOutcome::RunEventLoop);
    m_services.calls.clear();

    CQuillpostApp second("-contacts");
    second.SetDesktopActivation("startup-9", "wayland-token");
    auto outcome = std::async(std::launch::async, [&] { return second.InitInstance(m_services); });
    while (outcome.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
        QCoreApplication::processEvents();
    EXPECT_EQ(outcome.get(), CQuillpostApp::StartOutcome::Exit);
    EXPECT_EQ(m_services.calls,
              std::vector<std::string>{"request:contacts startup-9 wayland-token"});
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(StartupTest, ConfigureModeReadsTheSettingsBeforeItsDialogAndExits) {
    qp::Profile().WriteString(kSection, kLogin.key, std::string("5550100"));
    CQuillpostApp app("-configure");
    m_services.account = &app.Account();
    EXPECT_EQ(app.InitInstance(m_services), CQuillpostApp::StartOutcome::Exit);
    EXPECT_EQ(m_services.calls, std::vector<std::string>{"initial-config"});
    EXPECT_EQ(m_services.accountSeenByConfig.login, "5550100");
    EXPECT_EQ(m_services.accountSeenByConfig.host, kDefaultFaxHost);
}

TEST_F(StartupTest, UpdateModeTakesTheHostFromTheCommandLineOnly) {
    qp::Profile().WriteString(kSection, kHost.key, std::string("stored.example.com"));
    CQuillpostApp app("-update -configure -h:updates.example.com");
    EXPECT_EQ(app.InitInstance(m_services), CQuillpostApp::StartOutcome::Exit);
    EXPECT_EQ(m_services.calls, std::vector<std::string>{"update"});
    EXPECT_EQ(m_services.hostSeenByUpdate, "updates.example.com");
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(StartupTest, BootstrapAndUpdateTouchNoSetting) {
    for (const char* commandLine : {"-bootstrap", "-update -h:updates.example.com"}) {
        CQuillpostApp app(commandLine, nullptr, m_runner, nullptr, {});
        EXPECT_EQ(app.InitInstance(m_services), CQuillpostApp::StartOutcome::Exit);
        EXPECT_FALSE(std::filesystem::exists(app.Profile().FilePath())) << commandLine;
    }
}

TEST_F(StartupTest, BootstrapStartsTheFirstInstalledCopyFromItsFolder) {
    const std::string first = m_home.Path() + "/opt/";
    const std::string second = m_home.Path() + "/lib/";
    std::filesystem::create_directories(second);
    qp::test::WriteFile(second + "quillpost", "#!/bin/sh\n");

    CQuillpostApp app("-bootstrap -update", nullptr, m_runner, nullptr, {first, second});
    EXPECT_EQ(app.InitInstance(m_services), CQuillpostApp::StartOutcome::Exit);
    ASSERT_EQ(m_runner.detached.size(), 1u);
    EXPECT_EQ(m_runner.detached[0], std::vector<std::string>{second + "quillpost"});
    EXPECT_EQ(m_runner.detachedWorkDirs[0], second);
    EXPECT_TRUE(m_services.calls.empty());
}

TEST_F(StartupTest, BootstrapWithoutAnInstalledCopyStartsNothing) {
    CQuillpostApp app("-bootstrap", nullptr, m_runner, nullptr, {m_home.Path() + "/nowhere/"});
    EXPECT_EQ(app.InitInstance(m_services), CQuillpostApp::StartOutcome::Exit);
    EXPECT_TRUE(m_runner.detached.empty());
    EXPECT_TRUE(m_messages.Texts().empty());
}
