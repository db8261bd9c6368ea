#include "app/QuillpostApp.h"
#include "app/Settings.h"
#include "fax/FaxDialog.h"
#include "fax/log/FaxLogWindow.h"
#include "fax/log/Resend.h"
#include "fax/log/SendNotices.h"
#include "platform/ControlLookup.h"
#include "platform/FileOps.h"
#include "platform/Profile.h"
#include "shell/TrayIcon.h"
#include "tests/fax/support/ChildProcess.h"
#include "tests/fax/support/SamplePostScript.h"
#include "tests/shell/FakeTrayBackend.h"
#include "tests/shell/ModalHelpers.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

using qp::faxlog::Entry;
using qp::faxlog::Outcome;
using qp::test::ReadFile;
using qp::test::WriteFile;

namespace {

constexpr const char* kLoginFailed = "Login failed due to an invalid username or password.";

// A user whose send dialogs are logged and announced at a recorded tray icon, with a real
// quillpost-faxd and real Ghostscript behind them.
class FaxLogDialogTest : public ::testing::Test {
protected:
    FaxLogDialogTest() {
        WriteFile(m_app.m_bodyFile, qp::test::TextPostScript(2));
        UseAccount("2468");
        m_icon.SetIconById(130);
        FaxDialog::SetAttemptRecorder(
            [this](CQuillpostApp& app, const qp::faxlog::SendAttempt& attempt) {
                qp::faxlog::RecordDialogAttempt(app, attempt, &m_icon, m_log);
            });
    }
    ~FaxLogDialogTest() override { FaxDialog::SetAttemptRecorder(nullptr); }

    void UseAccount(const std::string& pin) {
        m_app.SetAccount({"127.0.0.1", m_server.Port(), "5550100", pin, ""});
    }
    static void Send(FaxDialog& dialog, const QString& number) {
        QComboBox* box = qp::FindControl<QComboBox>(&dialog, 1000);
        box->lineEdit()->clear();
        QTest::keyClicks(box->lineEdit(), number);
        qp::FindControl<QPushButton>(&dialog, 1)->click();
    }
    std::vector<std::string> Notices() const {
        std::vector<std::string> texts;
        for (const auto& call : m_tray.calls) {
            if (call.data.flags & qp::kTrayFlagInfo)
                texts.push_back(call.data.info);
        }
        return texts;
    }

    qp::test::TempUserEnvironment m_env;
    qp::test::ScopedEnv m_home{"HOME", m_env.home.Path()};
    qp::test::FaxdProcess m_server{m_env.home.Path(), "5550100 2468\n"};
    CQuillpostApp m_app{""};
    qp::faxlog::FaxLog m_log;
    qp::test::FakeTrayBackend m_tray;
    qp::CTrayIcon m_icon{135, m_tray};
};

TEST_F(FaxLogDialogTest, SentFailedAndCancelledDialogsAreLoggedAndSendsAnnounced) {
    {
        FaxDialog dialog(m_app);
        auto* pages = dialog.findChild<QLabel*>("pageCountLabel");
        ASSERT_NE(pages, nullptr);
        EXPECT_EQ(pages->text(), "");
        Send(dialog, " (555) 123-4567 ");
        EXPECT_EQ(pages->text(), "2 pages");
    }
    UseAccount("0000");
    {
        FaxDialog dialog(m_app);
        Send(dialog, "5551112222");
        dialog.reject();
    }

    const std::vector<Entry> entries = m_log.Entries();
    ASSERT_EQ(entries.size(), 3u);
    const Entry& cancelled = entries[0];
    const Entry& failed = entries[1];
    const Entry& sent = entries[2];
    EXPECT_EQ(sent.record.outcome, Outcome::Sent);
    EXPECT_EQ(sent.record.typed, " (555) 123-4567 ");
    EXPECT_EQ(sent.record.dialled, "5551234567");
    ASSERT_TRUE(sent.hasImage);
    EXPECT_EQ(ReadFile(sent.ImagePath()), ReadFile(m_server.Stored(".tif").at(0)));
    EXPECT_EQ(ReadFile(sent.BodyPath()), ReadFile(m_app.m_bodyFile));
    EXPECT_FALSE(sent.hasCover);

    EXPECT_EQ(failed.record.outcome, Outcome::Failed);
    EXPECT_EQ(failed.record.message.rfind(kLoginFailed, 0), 0u) << failed.record.message;
    EXPECT_TRUE(failed.hasImage);
    EXPECT_EQ(cancelled.record.outcome, Outcome::NotSent);
    EXPECT_EQ(cancelled.record.dialled, "5551112222");
    EXPECT_FALSE(cancelled.hasImage);
    EXPECT_TRUE(cancelled.hasBody);

    EXPECT_EQ(Notices(), (std::vector<std::string>{"Fax sent to (555) 123-4567: 2 pages",
                                                   failed.record.message}));
}

TEST_F(FaxLogDialogTest, ResendFromTheLogWindowSendsTheSameImageAgain) {
    {
        FaxDialog dialog(m_app);
        Send(dialog, "5551234567");
    }
    // The watcher clears the work files after the dialog; the log keeps its own copies.
    for (const std::string* path : {&m_app.m_bodyFile, &m_app.m_coverFile, &m_app.m_faxImage})
        qp::RemoveFile(*path);

    FaxLogWindow window(m_app, m_log);
    QTableWidget* table = window.Table();
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(table->item(0, FaxLogWindow::kRecipientColumn)->text(), "(555) 123-4567");
    EXPECT_EQ(table->item(0, FaxLogWindow::kOutcomeColumn)->text(), "Sent");
    table->selectRow(0);

    std::string recipient;
    qp::test::WhenModalOpens([&](QDialog& dialog) {
        recipient = qp::FindControl<QComboBox>(&dialog, 1000)->currentText().toStdString();
        qp::FindControl<QPushButton>(&dialog, 1)->click();
    });
    window.OnResend();

    EXPECT_EQ(recipient, "(555) 123-4567");
    ASSERT_TRUE(m_server.WaitForLog("fax stored: box=5550100 to=5551234567"));
    const std::vector<std::string> stored = m_server.Stored(".tif");
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(ReadFile(stored[0]), ReadFile(stored[1]));
    EXPECT_EQ(table->rowCount(), 2) << "the resend is logged too";
    EXPECT_FALSE(qp::FileExists(m_app.m_bodyFile)) << "the work files are cleared afterwards";
    EXPECT_FALSE(qp::FileExists(m_app.m_faxImage));

    // Delete asks first; only Yes removes the entry.
    table->selectRow(0);
    m_env.messages.SetNextAnswer(qp::MessageAnswer::No);
    window.OnDelete();
    EXPECT_EQ(table->rowCount(), 2);
    m_env.messages.SetNextAnswer(qp::MessageAnswer::Yes);
    window.OnDelete();
    EXPECT_EQ(m_log.Entries().size(), 1u);
    EXPECT_EQ(table->rowCount(), 1);
}

TEST_F(FaxLogDialogTest, ResendWaitsWhileAnotherFaxIsBeingPrepared) {
    {
        FaxDialog dialog(m_app);
        dialog.reject();
    }
    const Entry entry = m_log.Entries().at(0);
    WriteFile(m_app.m_bodyFile, "a job the watcher has just moved in");
    EXPECT_FALSE(qp::faxlog::PutBackWorkFiles(
        entry, {m_app.m_bodyFile, m_app.m_coverFile, m_app.m_faxImage}));
    EXPECT_EQ(m_env.messages.Texts(), std::vector<std::string>{qp::faxlog::kResendBusyMessage});
    EXPECT_EQ(ReadFile(m_app.m_bodyFile), "a job the watcher has just moved in");

    // A cover-only fax has no body file, but its open dialog owns the cover and the image.
    qp::RemoveFile(m_app.m_bodyFile);
    WriteFile(m_app.m_coverFile, "the cover-only fax's cover");
    m_env.messages.Clear();
    FaxLogWindow window(m_app, m_log);
    window.Table()->selectRow(0);
    {
        FaxDialog coverOnly(m_app);
        // Should the resend go ahead regardless, its dialog is closed rather than waited for.
        QTimer::singleShot(0, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
        });
        window.OnResend();
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(m_env.messages.Texts(), std::vector<std::string>{qp::faxlog::kResendBusyMessage});
    EXPECT_EQ(ReadFile(m_app.m_coverFile), "the cover-only fax's cover");
    EXPECT_FALSE(qp::FileExists(m_app.m_bodyFile));
}

TEST_F(FaxLogDialogTest, AJobWaitingAtStartIsAnnounced) {
    EXPECT_FALSE(qp::faxlog::AnnounceWaitingJob(m_app.m_portFile, m_icon));
    WriteFile(m_app.m_portFile, "");
    EXPECT_FALSE(qp::faxlog::AnnounceWaitingJob(m_app.m_portFile, m_icon));
    WriteFile(m_app.m_portFile, "%!PS\n");
    EXPECT_TRUE(qp::faxlog::AnnounceWaitingJob(m_app.m_portFile, m_icon));
    EXPECT_EQ(Notices(), std::vector<std::string>{qp::faxlog::kWaitingJobText});
}

} // namespace
