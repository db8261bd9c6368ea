#include "app/GuiStartup.h"
#include "app/QuillpostApp.h"
#include "app/SendDialogs.h"
#include "base/Settings.h"
#include "fax/log/SendNotices.h"
#include "fax/log/gui/QuillPostWindow.h"
#include "platform/CommonFolder.h"
#include "platform/FileOps.h"
#include "platform/gui/ControlLookup.h"
#include "tests/fax/support/FaxdProcess.h"
#include "tests/fax/support/SamplePostScript.h"
#include "tests/fax/support/TiffPages.h"
#include "tests/support/GuiChecks.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

using qp::test::PumpUntil;
using qp::test::ReadFile;
using qp::test::WriteFile;

namespace {

// The running client's pieces as start-up wires them, with the user's folders in a temporary
// home, a real quillpost-faxd and real Ghostscript; print jobs are dropped where the printer's
// backend puts them.
std::string MakeUserFolder(const std::string& common) {
    std::filesystem::create_directories(common + "/" + qp::CurrentLoginName());
    return common;
}

class ClientTest : public ::testing::Test {
protected:
    ClientTest() {
        m_app.Account().Set({"127.0.0.1", m_server.Port(), "5550100", "2468", "", {}});
        qp::settings::Write(m_app.Profile(), qp::settings::kTiffViewer, "/bin/true");
    }
    ~ClientTest() override { m_services.Shutdown(); }

    // A job printed by the user: written aside and renamed into place, as the backend does.
    void Print(const std::string& postScript) {
        WriteFile(m_app.PortFile() + ".new", postScript);
        std::filesystem::rename(m_app.PortFile() + ".new", m_app.PortFile());
    }
    std::vector<FaxDialog*> Open() {
        std::vector<FaxDialog*> open;
        for (const auto& dialog : m_services.Dialogs().Dialogs())
            open.push_back(dialog.get());
        return open;
    }
    bool WaitForDialogs(std::size_t count) {
        return PumpUntil([&] {
            return Open().size() == count &&
                   Open().back()->CurrentState() == FaxDialog::State::Idle;
        });
    }
    void Send(FaxDialog& dialog, const QString& number) {
        QComboBox* box = qp::FindControl<QComboBox>(&dialog, 1000);
        box->lineEdit()->clear();
        QTest::keyClicks(box->lineEdit(), number);
        qp::FindControl<QPushButton>(&dialog, 1)->click();
    }
    // The pages of the fax the server stored for `number`.
    std::size_t StoredPages(const std::string& number) {
        if (!m_server.WaitForLog("to=" + number))
            return 0;
        for (const std::string& meta : m_server.Stored(".meta")) {
            if (ReadFile(meta).find("to: " + number + "\n") != std::string::npos)
                return qp::test::ReadTiffPages(meta.substr(0, meta.size() - 5) + ".tif").size();
        }
        return 0;
    }

    qp::test::TempUserEnvironment m_env;
    // The printer's common folder, with this user's folder in it, as provisioning leaves them.
    std::string m_spool = MakeUserFolder(m_env.home.File("spool"));
    qp::test::ScopedEnv m_commonEnv{"QUILLPOST_COMMON_DIR", m_spool};
    qp::test::FaxdProcess m_server{m_env.home.Path(), "5550100 2468\n"};
    CQuillpostApp m_app{""};
    qp::GuiStartupServices m_services{m_app.Account(), m_app.Runner()};
};

TEST_F(ClientTest, FaxesOfDifferentJobsOpenTogetherAndEachSendsOnlyItsOwnPages) {
    ASSERT_TRUE(m_services.StartWatcher(m_app.PortFile()));
    m_services.OpenCoverOnly();
    ASSERT_TRUE(WaitForDialogs(1));
    FaxDialog* coverOnly = Open()[0];

    // The cover sheet for recipient B; a document printed just before its OK stays a document.
    qp::FindControl<QPushButton>(coverOnly, 1011)->click();
    auto* sheet = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(sheet, nullptr);
    sheet->findChild<QLineEdit*>("toEdit")->setText("Recipient B");
    Print(qp::test::TextPostScript(2));
    sheet->findChild<QPushButton*>("okButton")->click();
    ASSERT_TRUE(PumpUntil([&] { return QApplication::activeModalWidget() == nullptr; }));
    EXPECT_TRUE(qp::FileExists(coverOnly->CurrentJob().CoverFile()));
    EXPECT_EQ(qp::FindControl<QPushButton>(coverOnly, 1011)->text(), "Edit Cover Sheet...");
    ASSERT_TRUE(WaitForDialogs(2)) << "the printed document opens a dialog of its own";
    FaxDialog* printed = Open()[1];

    Send(*printed, "5551110000");
    ASSERT_TRUE(PumpUntil([&] { return Open().size() == 1; }));
    EXPECT_EQ(StoredPages("5551110000"), 2u) << "no cover page of the other fax";
    Send(*coverOnly, "5552220000");
    ASSERT_TRUE(PumpUntil([&] { return Open().empty(); }));
    EXPECT_EQ(StoredPages("5552220000"), 1u) << "the cover-only fax keeps its cover";

    // A fax sent again from the log, open while the next document is printed and sent.
    m_services.ShowFaxLog();
    QuillPostWindow* window = m_services.Window();
    ASSERT_EQ(window->CurrentList(), qp::window::List::Sent);
    QTableWidget* log = window->Table(qp::window::List::Sent);
    ASSERT_EQ(log->rowCount(), 2);
    log->sortItems(QuillPostWindow::kRecipientColumn);
    log->selectRow(0);
    ASSERT_EQ(log->item(0, QuillPostWindow::kRecipientColumn)->text(), "(555) 111-0000");
    window->Run(qp::window::Command::SendAgain);
    ASSERT_TRUE(WaitForDialogs(1));
    FaxDialog* resent = Open()[0];
    EXPECT_TRUE(resent->ImageReady()) << "the logged image is sent as it was";
    EXPECT_EQ(qp::FindControl<QComboBox>(resent, 1000)->currentText(), "(555) 111-0000");
    Print(qp::test::TextPostScript(3));
    ASSERT_TRUE(WaitForDialogs(2));
    // Its own cover page, drawn in place with no print server: the fax is cover and body.
    qp::FindControl<QPushButton>(Open()[1], 1011)->click();
    auto* ownSheet = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(ownSheet, nullptr);
    ownSheet->findChild<QPushButton*>("okButton")->click();
    ASSERT_TRUE(PumpUntil([&] { return QApplication::activeModalWidget() == nullptr; }));
    Send(*Open()[1], "5553330000");
    ASSERT_TRUE(PumpUntil([&] { return Open().size() == 1; }));
    EXPECT_EQ(StoredPages("5553330000"), 4u);
    Send(*resent, "5554440000");
    ASSERT_TRUE(PumpUntil([&] { return Open().empty(); }));
    EXPECT_EQ(StoredPages("5554440000"), 2u);
    EXPECT_EQ(log->rowCount(), 4) << "the window shows the new entries";
    EXPECT_TRUE(m_env.messages.Texts().empty());
    EXPECT_TRUE(std::filesystem::is_empty(m_env.home.File("data/Quillpost/jobs")))
        << "every job went with its dialog";
}

TEST_F(ClientTest, AtTheStartTheEntriesTheLogCouldNotTakeAreWrittenBeforeAnyJobIsOffered) {
    const std::string logFolder = m_env.home.File("data/Quillpost/log");
    std::filesystem::create_directories(m_env.home.File("data/Quillpost"));
    WriteFile(logFolder, "a file where the log should be");
    std::string sentFolder;
    for (const qp::faxlog::Outcome outcome :
         {qp::faxlog::Outcome::Sent, qp::faxlog::Outcome::NotSent}) {
        std::optional<qp::Job> job = qp::JobStore::ForUser().Create();
        ASSERT_TRUE(job);
        WriteFile(job->BodyFile(), qp::test::TextPostScript(1));
        qp::faxlog::FaxLog broken(logFolder);
        ASSERT_FALSE(qp::faxlog::RecordJobAttempt(
                         broken, {"5551234567", "5551234567", {}, outcome, "", false, 1}, *job)
                         .onDisk);
        if (outcome == qp::faxlog::Outcome::Sent)
            sentFolder = job->Folder();
    }
    qp::RemoveFile(logFolder);

    ASSERT_TRUE(m_services.StartWatcher(m_app.PortFile()));
    ASSERT_TRUE(WaitForDialogs(1)) << "the discarded fax is offered again";
    const std::vector<qp::faxlog::Entry> entries = qp::faxlog::FaxLog(logFolder).Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_NE(entries[0].record.outcome, entries[1].record.outcome) << "one entry for each";
    EXPECT_FALSE(qp::FileExists(sentFolder)) << "the sent fax went once it was logged";
    EXPECT_NE(Open()[0]->CurrentJob().Folder(), sentFolder);
    EXPECT_TRUE(m_env.messages.Texts().empty());
}

TEST_F(ClientTest, TheAddressBookFeedsTheSendDialogAndItsOwnWindow) {
    ASSERT_TRUE(m_services.StartWatcher(m_app.PortFile()));
    std::filesystem::create_directories(m_env.home.File("data/Quillpost"));
    WriteFile(m_env.home.File("data/Quillpost/contacts.vcf"),
              "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Alice Smith\r\nORG:Acme\r\n"
              "TEL;TYPE=fax:5551234567\r\nEND:VCARD\r\n");
    m_services.ShowContacts();
    int shown = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        shown += widget->windowTitle() == "Contacts" && widget->isVisible() ? 1 : 0;
    EXPECT_EQ(shown, 1);

    m_services.OpenCoverOnly();
    ASSERT_TRUE(WaitForDialogs(1));
    QComboBox* box = qp::FindControl<QComboBox>(Open()[0], 1000);
    QTest::keyClicks(box->lineEdit(), "smi");
    QCompleter* completer = box->lineEdit()->completer();
    ASSERT_NE(completer, nullptr);
    ASSERT_GE(completer->completionModel()->rowCount(), 1);
    EXPECT_NE(completer->completionModel()->index(0, 0).data().toString().indexOf("Alice Smith"),
              -1);
}

} // namespace
