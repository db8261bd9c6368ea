// The outbox as the running client wires it: a fax kept from its dialog while the server is down
// waits, outlives the client, and goes without a dialog once the account points at a server.
#include "app/GuiStartup.h"
#include "app/QuillpostApp.h"
#include "app/SendDialogs.h"
#include "base/Settings.h"
#include "fax/log/FaxLog.h"
#include "fax/log/gui/QuillPostWindow.h"
#include "fax/outbox/Outbox.h"
#include "platform/CommonFolder.h"
#include "platform/gui/ControlLookup.h"
#include "tests/fax/support/FaxdProcess.h"
#include "tests/fax/support/SamplePostScript.h"
#include "tests/support/GuiChecks.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

using qp::test::PumpUntil;

namespace {

class OutboxClientTest : public ::testing::Test {
protected:
    OutboxClientTest() {
        qp::settings::Write(m_app.Profile(), qp::settings::kTiffViewer, "/bin/true");
        qp::settings::Write(m_app.Profile(), qp::settings::kHost, "127.0.0.1");
        qp::settings::Write(m_app.Profile(), qp::settings::kLogin, "5550100");
        qp::settings::Write(m_app.Profile(), qp::settings::kPin, "2468");
        PointAt(m_down.Port());
        m_app.Account().Read();
    }

    // The account's server port as a configuration saved by any process sets it.
    void PointAt(int port) {
        qp::settings::Write(m_app.Profile(), qp::settings::kPort, std::to_string(port));
    }
    std::unique_ptr<qp::GuiStartupServices> StartClient() {
        auto client = std::make_unique<qp::GuiStartupServices>(m_app.Account(), m_app.Runner());
        EXPECT_TRUE(client->StartWatcher(m_app.PortFile()));
        EXPECT_TRUE(PumpUntil([&] { return client->Outbox()->Loaded(); }));
        return client;
    }
    void Print(const std::string& postScript) {
        qp::test::WriteFile(m_app.PortFile() + ".new", postScript);
        std::filesystem::rename(m_app.PortFile() + ".new", m_app.PortFile());
    }
    static std::vector<qp::outbox::Item> Waiting(const qp::GuiStartupServices& client) {
        return client.Outbox()->Items();
    }

    qp::test::TempUserEnvironment m_env;
    // Notices go to standard error: no notification service, no tray.
    qp::test::ScopedEnv m_noBus{"DBUS_SESSION_BUS_ADDRESS", std::nullopt};
    qp::test::ScopedEnv m_runtime{"XDG_RUNTIME_DIR", m_env.home.Path()};
    qp::test::RefusingPort m_down;
    // The user's folder in the printer's common folder, which the application looks for.
    bool m_userFolder =
        std::filesystem::create_directories(m_env.home.File(qp::CurrentLoginName()));
    CQuillpostApp m_app{""};
};

TEST_F(OutboxClientTest, AFaxKeptWhileTheServerIsDownGoesWithoutADialogAfterARestart) {
    std::unique_ptr<qp::GuiStartupServices> client = StartClient();
    Print(qp::test::TextPostScript(1));
    ASSERT_TRUE(PumpUntil([&] {
        return client->Dialogs().OpenCount() == 1 &&
               client->Dialogs().Dialogs()[0]->CurrentState() == FaxDialog::State::Idle;
    }));
    FaxDialog* dialog = client->Dialogs().Dialogs()[0].get();
    QComboBox* number = qp::FindControl<QComboBox>(dialog, 1000);
    QTest::keyClicks(number->lineEdit(), "5551234567");
    qp::FindControl<QPushButton>(dialog, 1)->click();
    ASSERT_TRUE(PumpUntil([&] {
        return dialog->CurrentState() == FaxDialog::State::Idle && !m_env.messages.Texts().empty();
    }));
    // Closed, and the question answered with its default, Keep.
    QTest::keyClick(dialog, Qt::Key_Escape);
    ASSERT_TRUE(PumpUntil([&] { return client->Dialogs().OpenCount() == 0; }));
    ASSERT_EQ(Waiting(*client).size(), 1u);
    EXPECT_EQ(Waiting(*client)[0].pages, 1);
    client->ShowOutbox();
    EXPECT_EQ(client->Window()->Table(qp::window::List::Outbox)->rowCount(), 1);

    // A second try finds the server still down; the client then ends before the next one.
    client->Outbox()->BringForward();
    ASSERT_TRUE(PumpUntil([&] {
        const std::vector<qp::outbox::Item> items = Waiting(*client);
        return items.size() == 1 && items[0].tries == 2 &&
               items[0].state == qp::outbox::State::Waiting;
    }));
    client.reset();

    client = StartClient();
    client->ShowOutbox();
    ASSERT_EQ(Waiting(*client).size(), 1u) << "taken up again at the start";
    QTableWidget* sent = client->Window()->Table(qp::window::List::Sent);
    ASSERT_EQ(sent->rowCount(), 0);
    qp::test::FaxdProcess server(m_env.home.Path(), "5550100 2468\n");
    testing::internal::CaptureStderr();
    PointAt(server.Port());
    const bool left = PumpUntil([&] { return sent->rowCount() == 1; });
    const std::string told = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(left) << told << (Waiting(*client).empty() ? "" : Waiting(*client)[0].reason);

    EXPECT_TRUE(Waiting(*client).empty());
    EXPECT_EQ(client->Dialogs().OpenCount(), 0u) << "no dialog at any point after the Keep";
    EXPECT_EQ(server.Stored(".tif").size(), 1u);
    const std::vector<qp::faxlog::Entry> logged =
        qp::faxlog::FaxLog(m_env.home.File("data/Quillpost/log")).Entries();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(std::tuple(logged[0].record.outcome, logged[0].record.tries),
              std::tuple(qp::faxlog::Outcome::Sent, 3));
    const std::string notice = "Fax sent to (555) 123-4567 after 3 tries.";
    ASSERT_NE(told.find(notice), std::string::npos) << told;
    EXPECT_EQ(told.find(notice, told.find(notice) + 1), std::string::npos) << "told once";
}

} // namespace
