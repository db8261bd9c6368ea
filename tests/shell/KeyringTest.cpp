// The PIN against a real Secret Service: GNOME Keyring on a D-Bus session of this test's own, so
// the user's keyring is never touched. Skipped, with the reason, where they cannot be started.
#include "base/AccountStore.h"
#include "base/Settings.h"
#include "platform/KeyringSecretStore.h"
#include "platform/Profile.h"
#include "platform/gui/ControlLookup.h"
#include "shell/gui/PreferencesDialog.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ModalHelpers.h"
#include "tests/support/PrivateSessionBus.h"
#include "tests/support/TestSupport.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>

using qp::SecretOutcome;
using qp::settings::kLogin;
using qp::settings::kPin;
using qp::settings::kSection;
using Kind = qp::SecretOutcome::Kind;

namespace {

class PrivateKeyring final : public ::testing::Environment {
public:
    // Why there is no keyring to test against; empty when there is one.
    static std::string s_missing;

    void SetUp() override {
        try {
            s_missing = Start();
        } catch (const std::exception& e) {
            s_missing = std::string(e.what()) + " (scripts/deps installs it)";
        }
    }
    // GNOME Keyring ends with the bus it serves.
    void TearDown() override { m_bus.reset(); }

private:
    std::string Start() {
        const std::string run = m_dir.File("run");
        std::filesystem::create_directories(m_dir.File("home"));
        ::mkdir(run.c_str(), 0700);
        std::map<std::string, std::optional<std::string>> env{
            {"HOME", m_dir.File("home")},
            {"XDG_DATA_HOME", m_dir.File("home/data")},
            {"XDG_RUNTIME_DIR", run}};
        m_bus = std::make_unique<qp::test::PrivateSessionBus>(env);
        if (!m_bus->Missing().empty())
            return m_bus->Missing();
        const std::string address = m_bus->Address();
        env["DBUS_SESSION_BUS_ADDRESS"] = address;
        const qp::test::ProgramRun keyring = qp::test::RunProgram(
            {"sh", "-c",
             "printf %s test-password | "
             "exec gnome-keyring-daemon --daemonize --components=secrets --unlock"},
            env);
        if (keyring.exitCode != 0)
            return "gnome-keyring-daemon (scripts/deps installs it) did not start: " + keyring.err;
        // Before the first use of D-Bus in this process, which keeps its session bus for good.
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        const bool registered = qp::test::WaitUntil([] {
            return QDBusConnection::sessionBus().interface()->isServiceRegistered(
                QStringLiteral("org.freedesktop.secrets"));
        });
        return registered ? std::string() : "GNOME Keyring never came onto the session bus";
    }

    qp::test::TempDir m_dir;
    std::unique_ptr<qp::test::PrivateSessionBus> m_bus;
};

std::string PrivateKeyring::s_missing;
[[maybe_unused]] const auto* const g_keyring =
    ::testing::AddGlobalTestEnvironment(new PrivateKeyring);

SecretOutcome Read(qp::SecretStore& store) {
    return qp::AwaitSecret([&](qp::SecretAnswer done) { store.Read(std::move(done)); });
}
SecretOutcome Write(qp::SecretStore& store, const std::string& pin) {
    return qp::AwaitSecret([&](qp::SecretAnswer done) { store.Write(pin, std::move(done)); });
}
SecretOutcome Remove(qp::SecretStore& store) {
    return qp::AwaitSecret([&](qp::SecretAnswer done) { store.Remove(std::move(done)); });
}

const std::chrono::seconds kBound(20);

class KeyringTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PrivateKeyring::s_missing.empty())
            GTEST_SKIP() << PrivateKeyring::s_missing;
    }

    std::string Stored() const { return m_profile.GetString(kSection, kPin.key, "<missing>"); }

    qp::test::TempUserEnvironment m_env;
    qp::Profile m_profile;
    qp::KeyringSecretStore m_keyring{kBound};
};

TEST_F(KeyringTest, StartTakesThePinFromWhereItLivesAndMovesItOutOfTheSettings) {
    struct Case {
        const char* what;
        bool keyring;
        const char* storedBefore; // "ps"; nullptr: none
        const char* keyringBefore;
        const char* pin;
        const char* storedAfter;
        const char* keyringAfter;
    };
    const Case cases[] = {
        {"a PIN in the settings moves into the keyring", true, "1234", nullptr, "1234", nullptr,
         "1234"},
        {"one entered without a keyring is newer than the keyring's", true, "1234", "9999", "1234",
         nullptr, "1234"},
        {"the keyring's PIN comes after start", true, nullptr, "p!n \xc3\xa9", "p!n \xc3\xa9",
         nullptr, "p!n \xc3\xa9"},
        {"without a keyring the settings keep it", false, "1234", "9999", "1234", "1234", "9999"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_profile.WriteString(kSection, kLogin.key, std::string("5550100"));
        m_profile.WriteString(kSection, kPin.key,
                              c.storedBefore ? std::optional<std::string>(c.storedBefore)
                                             : std::nullopt);
        if (c.keyringBefore)
            ASSERT_EQ(Write(m_keyring, c.keyringBefore).kind, Kind::Found);
        else
            ASSERT_EQ(Remove(m_keyring).kind, Kind::NotFound);
        std::unique_ptr<qp::SecretStore> store;
        if (c.keyring)
            store = std::make_unique<qp::KeyringSecretStore>(kBound);
        else
            store = std::make_unique<qp::NoSecretStore>();
        qp::SecretStore& appStore = *store;

        qp::AccountStore app(m_profile, std::move(store));
        app.Read();
        // Nothing waits for the keyring at start.
        EXPECT_EQ(app.PinKnown(), c.storedBefore != nullptr || !c.keyring);
        // The app's store answers in turn: after this, start's look-up and move are done.
        Read(appStore);

        EXPECT_TRUE(app.PinKnown());
        EXPECT_EQ(app.Get().pin, c.pin);
        EXPECT_EQ(Stored(), c.storedAfter ? c.storedAfter : "<missing>");
        EXPECT_EQ(Read(m_keyring).pin, c.keyringAfter);
    }
}

TEST_F(KeyringTest, TheConfigurationDialogPutsThePinIntoTheKeyringAndNotIntoTheSettings) {
    // An old PIN that a start without a keyring left behind.
    m_profile.WriteString(kSection, kPin.key, std::string("1234"));
    auto owned = std::make_unique<qp::KeyringSecretStore>(kBound);
    qp::KeyringSecretStore& appStore = *owned;
    qp::AccountStore app(m_profile, std::move(owned));
    app.Set({"fax.example.com", 7541, "5550100", "1234", "", {}});
    qp::test::WhenModalOpens([](QDialog& dialog) {
        qp::FindControl<QLineEdit>(&dialog, 1006)->setText(QStringLiteral("9876"));
        qp::FindControl<QPushButton>(&dialog, 1)->click();
    });
    qp::RunConfigurationFromSendDialog(app);

    EXPECT_EQ(app.Get().pin, "9876");
    // Asked of the app's own store, this comes after the dialog's write and what followed it.
    EXPECT_EQ(Read(appStore).pin, "9876");
    const std::string file = qp::test::ReadFile(m_profile.FilePath());
    EXPECT_EQ(file.find("ps="), std::string::npos) << file;
}

} // namespace
