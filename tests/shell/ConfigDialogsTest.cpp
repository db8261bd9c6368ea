#include "base/AccountStore.h"
#include "base/Settings.h"
#include "platform/Profile.h"
#include "platform/gui/ControlLookup.h"
#include "shell/gui/AboutDlg.h"
#include "shell/gui/InitialConfigDialog.h"
#include "shell/gui/PreferencesDialog.h"
#include "tests/support/GuiChecks.h"
#include "tests/support/HeldSecretStore.h"
#include "tests/support/ModalHelpers.h"
#include "tests/support/TestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace qp::settings;
using qp::FindControl;
using qp::test::WhenModalOpens;

namespace {

QLineEdit* Edit(const QWidget& dialog, int id) {
    QLineEdit* edit = FindControl<QLineEdit>(&dialog, id);
    EXPECT_NE(edit, nullptr) << "control " << id;
    return edit;
}
void Retype(QLineEdit* edit, const char* text) {
    edit->clear();
    QTest::keyClicks(edit, QString::fromLatin1(text));
}
void Click(QDialog& dialog, int id) {
    FindControl<QPushButton>(&dialog, id)->click();
}

// Controls that take the focus, in tab order, from the first one.
std::vector<int> TabOrder(const QWidget& dialog, int firstId) {
    std::vector<int> ids;
    QWidget* first = FindControl<QWidget>(&dialog, firstId);
    QWidget* w = first;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            ids.push_back(w->property(qp::kControlIdProperty).toInt());
        w = w->nextInFocusChain();
    } while (w != first && ids.size() < 20);
    return ids;
}

class ConfigDialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_profile.WriteString(kSection, kLogin.key, std::string("5550100"));
        m_profile.WriteString(kSection, kPin.key, std::string("1234"));
        m_profile.WriteString(kSection, kHost.key, std::string("fax.example.com"));
        m_profile.WriteInt(kSection, kPort.key, 9100);
        m_profile.WriteString(kSection, kNotifyEmail.key, std::string("me@example.com"));
        // What start-up would have read.
        m_app.Set({"fax.example.com", 9100, "5550100", "1234", "me@example.com", {}});
    }

    std::string Stored(const Setting& entry) const {
        return m_profile.GetString(kSection, entry.key, "<missing>");
    }
    std::string SettingsFile() const { return qp::test::ReadFile(qp::DefaultProfilePath()); }

    qp::test::TempUserEnvironment m_user;
    qp::Profile m_profile;
    qp::AccountStore m_app;
};

TEST_F(ConfigDialogsTest, ConfigurationAndAboutDialogsOfferNoMaximiseButton) {
    InitialConfigDialog initial(m_app);
    PreferencesDialog preferences(m_app);
    CAboutDlg about;
    for (const QDialog* dialog :
         std::initializer_list<const QDialog*>{&initial, &preferences, &about})
        EXPECT_TRUE(qp::test::LooksFixedSize(*dialog)) << dialog->windowTitle().toStdString();
}

TEST_F(ConfigDialogsTest, MessageBoxDialogShowsTheAccount) {
    InitialConfigDialog dialog(m_app);
    EXPECT_EQ(dialog.windowTitle(), "Configure Fax Message Box");
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(Edit(dialog, 1000)->text(), "5550100");
    EXPECT_EQ(Edit(dialog, 1006)->text(), "1234");
    EXPECT_EQ(TabOrder(dialog, 1000), (std::vector<int>{1000, 1006, 1, 2}));
}

TEST_F(ConfigDialogsTest, MessageBoxDialogOkStoresNumberAndPinAndKeepsTheServer) {
    WhenModalOpens([](QDialog& dialog) {
        Retype(Edit(dialog, 1000), "5551234");
        Retype(Edit(dialog, 1006), "9876");
        Click(dialog, 1);
    });
    qp::RunInitialConfigDialog(m_app);

    EXPECT_EQ(Stored(kLogin), "5551234");
    EXPECT_EQ(Stored(kPin), "9876");
    EXPECT_EQ(Stored(kHost), "fax.example.com");
    EXPECT_EQ(m_app.Get().login, "5551234");
    EXPECT_EQ(m_app.Get().pin, "9876");
    EXPECT_EQ(m_app.Get().host, "fax.example.com");
    EXPECT_EQ(m_app.Get().port, 9100);
}

// A cancelled dialog, however it was closed and wherever it was opened from, changed nothing.
TEST_F(ConfigDialogsTest, OpeningAndCancellingAConfigurationDialogLeavesTheSettingsAsTheyWere) {
    struct Case {
        const char* what;
        void (*run)(qp::AccountStore&);
        void (*close)(QDialog&);
    };
    const Case cases[] = {
        {"-configure, Cancel", [](qp::AccountStore& a) { qp::RunInitialConfigDialog(a); },
         [](QDialog& d) { Click(d, 2); }},
        {"-configure, Escape", [](qp::AccountStore& a) { qp::RunInitialConfigDialog(a); },
         [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"-configure, close box", [](qp::AccountStore& a) { qp::RunInitialConfigDialog(a); },
         [](QDialog& d) { d.close(); }},
        {"tray, Cancel", [](qp::AccountStore& a) { qp::RunPreferencesDialog(a); },
         [](QDialog& d) { Click(d, 2); }},
        {"send dialog, close box",
         [](qp::AccountStore& a) { qp::RunConfigurationFromSendDialog(a); },
         [](QDialog& d) { d.close(); }},
    };
    const std::string before = SettingsFile();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WhenModalOpens([&c](QDialog& dialog) {
            Retype(Edit(dialog, 1000), "5559999");
            Retype(Edit(dialog, 1006), "9999");
            c.close(dialog);
        });
        c.run(m_app);

        EXPECT_EQ(SettingsFile(), before);
        const qp::AccountSettings account = m_app.Get();
        EXPECT_EQ(account.host, "fax.example.com");
        EXPECT_EQ(account.login, "5550100");
        EXPECT_EQ(account.pin, "1234");
    }
}

// Settings that name no server yet get the service's, whatever the first dialog comes to.
TEST_F(ConfigDialogsTest, MessageBoxDialogPutsTheServiceServerOnlyIntoSettingsWithoutOne) {
    for (const int button : {1, 2}) {
        m_profile.WriteString(kSection, kHost.key, std::nullopt);
        WhenModalOpens([this, button](QDialog& dialog) {
            EXPECT_EQ(Stored(kHost), kDefaultFaxHost) << "on opening";
            Click(dialog, button);
        });
        qp::RunInitialConfigDialog(m_app);
        EXPECT_EQ(Stored(kHost), kDefaultFaxHost) << button;
        EXPECT_EQ(m_profile.GetInt(kSection, kPortWritten.key, 0), 7541) << button;
    }
}

TEST_F(ConfigDialogsTest, MessageBoxDialogTakesDigitsOnlyAndMasksThePin) {
    InitialConfigDialog dialog(m_app);
    QLineEdit* number = Edit(dialog, 1000);
    QLineEdit* pin = Edit(dialog, 1006);
    Retype(number, "55a5-01 0");
    Retype(pin, "1x2.3");
    EXPECT_EQ(number->text(), "555010");
    EXPECT_EQ(pin->text(), "123");
    EXPECT_EQ(number->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(pin->echoMode(), QLineEdit::Password);
}

TEST_F(ConfigDialogsTest, PreferencesShowTheRunningAccount) {
    m_app.Set({"live.example.com", 7541, "5557777", "42", "you@example.com", {}});
    PreferencesDialog dialog(m_app);
    EXPECT_EQ(dialog.windowTitle(), "Quill Post Configuration");
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(Edit(dialog, 1000)->text(), "5557777");
    EXPECT_EQ(Edit(dialog, 1006)->text(), "42");
    EXPECT_EQ(Edit(dialog, 1007)->text(), "live.example.com");
    EXPECT_EQ(Edit(dialog, 1012)->text(), "you@example.com");
    EXPECT_EQ(TabOrder(dialog, 1000),
              (std::vector<int>{1000, 1006, 1007, 1012, 1013, 1014, 1015, 1, 2}));
    // The dial rules: country code, long-distance and international prefix, at their defaults.
    EXPECT_EQ(Edit(dialog, 1013)->text() + " " + Edit(dialog, 1014)->text() + " " +
                  Edit(dialog, 1015)->text(),
              "1 1 011");
    EXPECT_EQ(Stored(kHost), "fax.example.com") << "opening writes nothing";
}

TEST_F(ConfigDialogsTest, PreferencesOkWritesEveryValueEvenUnchanged) {
    WhenModalOpens([](QDialog& dialog) { Click(dialog, 1); });
    qp::RunPreferencesDialog(m_app);

    EXPECT_EQ(Stored(kLogin), "5550100");
    EXPECT_EQ(Stored(kPin), "1234");
    EXPECT_EQ(Stored(kHost), "fax.example.com");
    EXPECT_EQ(Stored(kNotifyEmail), "me@example.com");
    EXPECT_EQ(m_profile.GetInt(kSection, kPortWritten.key, 0), 7541);
    EXPECT_EQ(m_profile.GetInt(kSection, kPort.key, 0), 9100);
    EXPECT_EQ(m_app.Get().port, 9100) << "the port the user set is the port used";
}

TEST_F(ConfigDialogsTest, PreferencesOkStoresWhatWasTypedUntrimmedAndAnEmptyNumber) {
    WhenModalOpens([](QDialog& dialog) {
        Edit(dialog, 1000)->clear();
        Retype(Edit(dialog, 1006), "p!n 7");
        Retype(Edit(dialog, 1007), " new.example.com ");
        Retype(Edit(dialog, 1012), "");
        Retype(Edit(dialog, 1013), "+44");
        Retype(Edit(dialog, 1014), "0");
        Retype(Edit(dialog, 1015), "00");
        Click(dialog, 1);
    });
    qp::RunConfigurationFromSendDialog(m_app);
    // Digits only, for the next number dialled and in the settings.
    EXPECT_EQ(m_app.Get().dialRules, (qp::DialRules{"44", "0", "00"}));
    EXPECT_EQ(qp::LoadDialRules(m_profile), (qp::DialRules{"44", "0", "00"}));

    EXPECT_EQ(Stored(kLogin), "");
    EXPECT_EQ(Stored(kPin), "p!n 7");
    EXPECT_EQ(Stored(kHost), " new.example.com ");
    EXPECT_EQ(Stored(kNotifyEmail), "");
    const qp::AccountSettings account = m_app.Get();
    EXPECT_EQ(account.login, "");
    EXPECT_EQ(account.pin, "p!n 7");
    EXPECT_EQ(account.host, " new.example.com ");
    EXPECT_EQ(account.notifyEmail, "");
    EXPECT_EQ(account.port, 9100);
}

TEST_F(ConfigDialogsTest, PreferencesNumberTakesDigitsOnlyWhileThePinTakesAnythingMasked) {
    PreferencesDialog dialog(m_app);
    Retype(Edit(dialog, 1000), "(555) 0100");
    Retype(Edit(dialog, 1006), "ab-12");
    Retype(Edit(dialog, 1007), "fax-1.example.com");
    EXPECT_EQ(Edit(dialog, 1000)->text(), "5550100");
    EXPECT_EQ(Edit(dialog, 1006)->text(), "ab-12");
    EXPECT_EQ(Edit(dialog, 1006)->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Edit(dialog, 1007)->text(), "fax-1.example.com");
    EXPECT_EQ(Edit(dialog, 1012)->echoMode(), QLineEdit::Normal);
}

TEST_F(ConfigDialogsTest, APinTheKeyringHasNotGivenYetIsFilledInLaterAndNeverWipedMeanwhile) {
    m_profile.WriteString(kSection, kPin.key, std::nullopt);
    auto owned = std::make_unique<qp::test::HeldSecretStore>();
    qp::test::HeldSecretStore& keyring = *owned;
    qp::AccountStore app(qp::Profile(), std::move(owned));
    app.Read();
    ASSERT_EQ(keyring.asked.size(), 1u);

    // OK before the answer: the other values are stored, the PIN is left where it is.
    WhenModalOpens([](QDialog& dialog) {
        EXPECT_FALSE(Edit(dialog, 1006)->isEnabled());
        Retype(Edit(dialog, 1000), "5551234");
        Click(dialog, 1);
    });
    qp::RunPreferencesDialog(app);
    EXPECT_EQ(Stored(kLogin), "5551234");
    EXPECT_EQ(Stored(kPin), "<missing>");
    EXPECT_EQ(keyring.asked.size(), 1u) << "nothing written to the keyring";

    // A dialog still open when the answer comes shows the PIN from then on.
    PreferencesDialog dialog(app);
    keyring.AnswerNext(qp::SecretOutcome::Found("5678"));
    EXPECT_TRUE(Edit(dialog, 1006)->isEnabled());
    EXPECT_EQ(Edit(dialog, 1006)->text(), "5678");
    EXPECT_EQ(app.Get().pin, "5678");
}

// A session without the keyring that holds the PIN: the dialogs say so, and the tray's lets the
// user type the PIN for the sends of this session.
TEST_F(ConfigDialogsTest, APinInAKeyringOutOfReachIsNamedAndMayBeTypedForTheSession) {
    const QString unreachable =
        "The PIN is kept in the desktop keyring, which this session cannot reach.";
    m_profile.WriteString(kSection, kPin.key, std::nullopt);
    m_profile.WriteString(kSection, "pinkeyring", std::string("true"));
    auto owned = std::make_unique<qp::test::HeldSecretStore>();
    qp::test::HeldSecretStore& keyring = *owned;
    qp::AccountStore app(qp::Profile(), std::move(owned));
    app.Read();

    // The keyring's answer comes while the dialog is open; the note makes room for itself.
    PreferencesDialog dialog(app);
    const int height = dialog.height();
    keyring.AnswerNext(qp::SecretOutcome::NoService("no session bus"));
    const auto* note = dialog.findChild<QLabel*>(QStringLiteral("pinNoteLabel"));
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->text().startsWith(unreachable)) << note->text().toStdString();
    EXPECT_TRUE(note->isVisibleTo(&dialog));
    EXPECT_LT(note->geometry().bottom(), Edit(dialog, 1007)->y());
    EXPECT_EQ(dialog.height() - height, Edit(dialog, 1007)->y() - 75);
    QLineEdit* pin = Edit(dialog, 1006);
    ASSERT_TRUE(pin->isEnabled());
    EXPECT_EQ(pin->text(), "");

    // -configure ends with its dialog, so nothing there could use a PIN typed for the session.
    {
        InitialConfigDialog initial(app);
        const auto* shut = initial.findChild<QLabel*>(QStringLiteral("pinNoteLabel"));
        ASSERT_NE(shut, nullptr);
        EXPECT_TRUE(shut->text().startsWith(unreachable));
        EXPECT_FALSE(Edit(initial, 1006)->isEnabled());
    }

    Retype(pin, "2468");
    Click(dialog, 1);
    // What the store does with a PIN typed for the session is the account's test.
    EXPECT_EQ(app.Get().pin, "2468");
    EXPECT_EQ(Stored(kPin), "<missing>");
}

} // namespace
