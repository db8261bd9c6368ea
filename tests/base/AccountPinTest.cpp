// Where the PIN is, and what a send is told, in a session whose keyring may not be reachable.
#include "base/AccountStore.h"
#include "base/Settings.h"
#include "platform/Profile.h"
#include "tests/support/HeldSecretStore.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <tuple>

using namespace qp::settings;
using qp::SecretOutcome;

namespace {

const char* const kNoBus = "no session bus (DBUS_SESSION_BUS_ADDRESS is not set)";
const char* const kUnreachable =
    "The PIN is kept in the desktop keyring, which this session cannot reach.";
// Where the settings remember that the keyring holds the PIN.
const Setting kMark{"pinkeyring"};

class AccountPinTest : public ::testing::Test {
protected:
    void Store(const Setting& setting, const char* value) const {
        Write(m_profile, setting, value ? std::optional<std::string>(value) : std::nullopt);
    }
    std::string Stored(const Setting& setting) const {
        return m_profile.GetString(kSection, setting.key, "<missing>");
    }
    std::string SettingsFile() const { return qp::test::ReadFile(m_profile.FilePath()); }

    // An account read at start, the keyring's answer to the read given (when one is asked).
    std::unique_ptr<qp::AccountStore> ReadAccount(const SecretOutcome& answer) {
        auto owned = std::make_unique<qp::test::HeldSecretStore>();
        m_keyring = owned.get();
        auto account = std::make_unique<qp::AccountStore>(m_profile, std::move(owned));
        account->Read();
        if (!m_keyring->asked.empty() && m_keyring->asked.front().first == "read")
            m_keyring->AnswerNext(answer);
        return account;
    }

    qp::test::TempUserEnvironment m_user;
    qp::Profile m_profile;
    qp::test::HeldSecretStore* m_keyring = nullptr;
};

TEST_F(AccountPinTest, ASessionWithoutAKeyringSaysSoOnlyWhenTheKeyringHoldsThePin) {
    struct Case {
        const char* what;
        const char* pin;  // "ps"; nullptr: none
        const char* mark; // "pinkeyring"; nullptr: none
        const char* message;
    };
    const Case cases[] = {
        {"moved into the keyring", nullptr, "true", kUnreachable},
        {"moved there before the mark existed", nullptr, nullptr, kUnreachable},
        {"the keyring said it holds none", nullptr, "false", ""},
        {"an empty PIN stored without a keyring", "", nullptr, ""},
        {"a PIN in the settings", "1234", "true", ""},
    };
    Store(kLogin, "5550100");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Store(kPin, c.pin);
        Store(kMark, c.mark);
        const std::unique_ptr<qp::AccountStore> account =
            ReadAccount(SecretOutcome::NoService(kNoBus));
        const qp::Outcome outcome = account->WaitForPin(std::chrono::milliseconds(0));
        EXPECT_EQ(outcome.message, c.message);
    }
}

// The user typed the PIN in the configuration dialog: the sends use it, nothing keeps it.
TEST_F(AccountPinTest, APinTypedWhileTheKeyringIsOutOfReachServesThisProgramAndIsStoredNowhere) {
    Store(kLogin, "5550100");
    Store(kMark, "true");
    const std::unique_ptr<qp::AccountStore> account = ReadAccount(SecretOutcome::NoService(kNoBus));
    const std::string before = SettingsFile();

    account->SavePin("2468");
    EXPECT_TRUE(account->WaitForPin(std::chrono::milliseconds(0)));
    EXPECT_EQ(account->Get().pin, "2468");
    EXPECT_TRUE(m_keyring->asked.empty()) << m_keyring->asked.front().first;
    EXPECT_EQ(SettingsFile(), before);

    // An emptied field gives the keyring's PIN its place again.
    account->SavePin("");
    EXPECT_EQ(account->WaitForPin(std::chrono::milliseconds(0)).message, kUnreachable);
    EXPECT_EQ(SettingsFile(), before);
}

// The mark follows the keyring's own word wherever it is heard.
TEST_F(AccountPinTest, TheSettingsRememberWhetherTheKeyringHoldsThePin) {
    Store(kLogin, "5550100");
    ReadAccount(SecretOutcome::Found("2468"));
    EXPECT_EQ(Stored(kMark), "true") << "an earlier release's move is marked";

    ReadAccount(SecretOutcome::NotFound());
    EXPECT_EQ(Stored(kMark), "false");

    // A PIN left in the settings moves into the keyring, which then holds it.
    Store(kPin, "1357");
    {
        const std::unique_ptr<qp::AccountStore> account = ReadAccount({});
        ASSERT_EQ(m_keyring->asked.front().first, "write 1357");
        m_keyring->AnswerNext(SecretOutcome::Found("1357"));
        EXPECT_EQ(Stored(kMark), "true");
        EXPECT_EQ(Stored(kPin), "<missing>");

        // Removed from the keyring in a dialog, it is nowhere.
        account->SavePin("");
        m_keyring->AnswerNext(SecretOutcome::NotFound());
        EXPECT_EQ(Stored(kMark), "false");

        // Typed where the keyring would not take it, it lives in the settings.
        account->SavePin("9753");
        m_keyring->AnswerNext(SecretOutcome::Failed("the collection is locked"));
        EXPECT_EQ(Stored(kMark), "false");
        EXPECT_EQ(Stored(kPin), "9753");
    }
}

TEST_F(AccountPinTest, AnAccountChangedByAnotherProgramIsTakenUpAndKeepsThePinItCannotSee) {
    Store(kMark, "true");
    Store(kHost, "old.example");
    std::unique_ptr<qp::AccountStore> account = ReadAccount(SecretOutcome::Found("2468"));
    Store(kHost, "new.example");
    Store(kPort, "7000");
    Store(kLogin, "5550199");
    account->Reload();
    const qp::AccountSettings changed = account->Get();
    using Account = std::tuple<std::string, int, std::string, std::string>;
    EXPECT_EQ(Account(changed.host, changed.port, changed.login, changed.pin),
              Account("new.example", 7000, "5550199", "2468"))
        << "the keyring's PIN is not in the file";
    Store(kPin, "1357");
    account->Reload();
    EXPECT_EQ(account->Get().pin, "1357") << "a PIN the file keeps is the file's";
}

} // namespace
