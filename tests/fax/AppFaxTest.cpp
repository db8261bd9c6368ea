#include "app/QuillpostApp.h"
#include "app/Settings.h"
#include "fax/Viewer.h"
#include "platform/FileOps.h"
#include "platform/Profile.h"
#include "tests/fax/support/MemoryStream.h"
#include "tests/fax/support/TiffPages.h"
#include "tests/support/FakeRunner.h"
#include "tests/support/HeldSecretStore.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <thread>

using qp::test::FakeClock;
using qp::test::FakeRunner;
using qp::test::RecordingMessageSink;
using qp::test::ScopedEnv;
using qp::test::TempDir;
using qp::test::WriteFile;
using namespace qp::settings;

namespace {

class AppFaxTest : public ::testing::Test {
protected:
    qp::test::TempUserEnvironment m_env;
    TempDir& m_home = m_env.home;
    RecordingMessageSink& m_messages = m_env.messages;
    FakeRunner m_runner;
    FakeClock m_clock;

    void SetUp() override { m_runner.onRun = qp::test::WriteGhostscriptOutput; }
};

} // namespace

TEST_F(AppFaxTest, ConversionRunsTheApplicationsGhostscript) {
    CQuillpostApp app("", nullptr, m_runner);
    const std::string body = m_home.File("faxbody.ps");
    const std::string image = m_home.File("fax.tif");
    WriteFile(body, "%!PS\n");
    EXPECT_TRUE(app.CreateFaxImage(m_home.File("faxcover.pdf"), body, image, 204, 98, 1728, 1372));
    ASSERT_EQ(m_runner.waited.size(), 1u);
    EXPECT_EQ(
        m_runner.waited[0],
        (std::vector<std::string>{"/usr/bin/gs", "-sDEVICE=tiffg4", "-r204x98", "-q", "-dNOPAUSE",
                                  "-dBATCH", "-g1728x1372", "-sOutputFile=" + image, body}));
}

TEST_F(AppFaxTest, UploadTakesTheAccountAsItStandsAndTheFaxImage) {
    CQuillpostApp app("", nullptr, m_runner);
    app.SetAccount({"127.0.0.1", 9100, "5550100", "4321", "boss@example.com"});
    WriteFile(m_home.File("fax.tif"), "II*");
    qp::test::MemoryConnector connector;
    connector.script->incoming = "success:\r\n\r\nsuccess:\r\n\r\n";
    EXPECT_TRUE(app.UploadFax("5551234567", "", m_home.File("fax.tif"), nullptr, connector));
    EXPECT_EQ(connector.host, "127.0.0.1");
    EXPECT_EQ(connector.port, 9100);
    EXPECT_EQ(connector.script->writes[0], "login: 5550100\r\npass: 4321\r\n\r\n");
    EXPECT_NE(connector.script->writes[1].find("notifyemail: boss@example.com\r\n"),
              std::string::npos);
    EXPECT_EQ(connector.script->writes[2], "II*");
}

TEST_F(AppFaxTest, AnUploadWaitsForThePinTheKeyringIsStillLookingUp) {
    const qp::Profile profile;
    profile.WriteString(kSection, kLogin, std::string("5550100"));
    profile.WriteString(kSection, kHost, std::string("127.0.0.1"));
    WriteFile(m_home.File("fax.tif"), "II*");
    struct Case {
        const char* what;
        qp::SecretOutcome answer;
        const char* pass; // nullptr: nothing is sent
        const char* message;
    };
    const Case cases[] = {
        {"found", qp::SecretOutcome::Found("2468"), "2468", ""},
        {"locked", qp::SecretOutcome::Failed("the collection is locked"), nullptr,
         "The PIN could not be read from the keyring: the collection is locked"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto owned = std::make_unique<qp::test::HeldSecretStore>();
        qp::test::HeldSecretStore& keyring = *owned;
        CQuillpostApp app("", nullptr, m_runner, std::move(owned));
        app.ReadSettings();
        qp::test::MemoryConnector connector;
        connector.script->incoming = "success:\r\n\r\nsuccess:\r\n\r\n";
        qp::Outcome outcome;
        std::thread sender([&] {
            outcome = app.UploadFax("5551234567", "", m_home.File("fax.tif"), nullptr, connector);
        });
        // The answer comes on this thread, as it comes on the GUI thread in the client.
        keyring.AnswerNext(c.answer);
        sender.join();
        EXPECT_EQ(outcome.message, c.message);
        if (c.pass) {
            ASSERT_TRUE(outcome);
            EXPECT_EQ(connector.script->writes[0],
                      "login: 5550100\r\npass: " + std::string(c.pass) + "\r\n\r\n");
        } else {
            EXPECT_EQ(connector.connects, 0);
        }
    }

    // With no answer at all the wait has its bound.
    CQuillpostApp app("", nullptr, m_runner, std::make_unique<qp::test::HeldSecretStore>());
    app.ReadSettings();
    EXPECT_NE(app.WaitForPin(std::chrono::milliseconds(0)).message.find("still being read"),
              std::string::npos);
}

TEST_F(AppFaxTest, DefaultViewerIsTheDesktopOpenerWhenThereIsOne) {
    CQuillpostApp app("", nullptr, m_runner);
    app.SetDefaultViewer();
    const std::string stored = app.GetProfileString(kSection, kTiffViewer, "");
    if (qp::FileExists(qp::kDefaultViewerPath)) {
        EXPECT_TRUE(qp::FileExists(stored)) << stored;
    }

    app.WriteProfileString(kSection, kTiffViewer, "/opt/viewer");
    app.SetDefaultViewer();
    EXPECT_EQ(app.GetProfileString(kSection, kTiffViewer, ""), "/opt/viewer");
    EXPECT_TRUE(m_messages.Texts().empty());
}
