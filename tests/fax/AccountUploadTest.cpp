#include "base/AccountStore.h"
#include "base/Settings.h"
#include "fax/Upload.h"
#include "platform/Profile.h"
#include "tests/fax/support/MemoryStream.h"
#include "tests/support/HeldSecretStore.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <thread>

using qp::test::TempDir;
using qp::test::WriteFile;
using namespace qp::settings;

namespace {

class AccountUploadTest : public ::testing::Test {
protected:
    qp::test::TempUserEnvironment m_env;
    TempDir& m_home = m_env.home;
};

} // namespace

TEST_F(AccountUploadTest, AnUploadWaitsForThePinTheKeyringIsStillLookingUp) {
    const qp::Profile profile;
    profile.WriteString(kSection, kLogin.key, std::string("5550100"));
    profile.WriteString(kSection, kHost.key, std::string("127.0.0.1"));
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
        {"out of reach", qp::SecretOutcome::NoService("no session bus"), nullptr,
         "The PIN is kept in the desktop keyring, which this session cannot reach."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto owned = std::make_unique<qp::test::HeldSecretStore>();
        qp::test::HeldSecretStore& keyring = *owned;
        qp::AccountStore account(profile, std::move(owned));
        account.Read();
        qp::test::MemoryConnector connector;
        connector.script->incoming = "success:\r\n\r\nsuccess:\r\n\r\n";
        qp::Outcome outcome;
        std::thread sender([&] {
            outcome = qp::UploadFax(account, "5551234567", "", m_home.File("fax.tif"), nullptr,
                                    connector);
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
    qp::AccountStore account(profile, std::make_unique<qp::test::HeldSecretStore>());
    account.Read();
    EXPECT_NE(account.WaitForPin(std::chrono::milliseconds(0)).message.find("still being read"),
              std::string::npos);
}
