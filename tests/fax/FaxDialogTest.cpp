#include "fax/gui/FaxDialog.h"

#include "base/Settings.h"
#include "fax/Conversion.h"
#include "fax/log/SendNotices.h"
#include "platform/ControlLookup.h"
#include "platform/FileOps.h"
#include "platform/Profile.h"
#include "tests/fax/support/FaxdProcess.h"
#include "tests/fax/support/Outcomes.h"
#include "tests/fax/support/SamplePostScript.h"
#include "tests/fax/support/TiffPages.h"
#include "tests/support/GuiChecks.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestSupport.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QWindow>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace qp::settings;
using qp::test::FaxdProcess;
using qp::test::ReadFile;
using qp::test::WriteFile;

using qp::test::PumpUntil;

namespace {

constexpr const char* kTooShort = "Fax phone number must be at least ten digits in length.";
constexpr const char* kNotNumeric = "Invalid Fax To phone number (must be numeric only)";
// PostScript that never ends: a conversion that runs until it is stopped.
constexpr const char* kEndlessPostScript = "%!PS\n{ } loop\n";

class FaxDialogTest : public ::testing::Test {
protected:
    FaxDialogTest() { m_account = {"127.0.0.1", m_server.Port(), "5550100", "2468", ""}; }

    SendDialogServices Services() {
        SendDialogServices services;
        services.profile = &m_profile;
        services.clock = &m_clock;
        services.convert = [this](const qp::Job& job, const qp::ConversionParams& params,
                                  std::stop_token stop) {
            ++m_conversions;
            return qp::CreateFaxImage("/usr/bin/gs", job.CoverInput(), job.BodyFile(),
                                      job.FaxImage(), params, qp::SystemProcessRunner(),
                                      std::move(stop));
        };
        services.upload = [this](const std::string& number, const std::string& email,
                                 const std::string& image, const qp::UploadProgress& progress,
                                 std::stop_token stop) {
            return qp::UploadFax(m_account, number, email, image, progress,
                                 qp::DefaultFaxConnector(), std::move(stop));
        };
        services.preview = [this](const std::string&) { ++m_previews; };
        services.record = [this](const qp::faxlog::SendAttempt& attempt, const qp::Job& job) {
            return qp::faxlog::RecordJobAttempt(m_log, attempt, job);
        };
        services.notify = [this](const std::string& text) { m_notices.push_back(text); };
        return services;
    }

    std::unique_ptr<FaxDialog> Open(const std::string& body = qp::test::TextPostScript(2)) {
        std::optional<qp::Job> job = m_store.Create();
        EXPECT_TRUE(job);
        m_jobFolder = job->Folder();
        if (!body.empty())
            WriteFile(job->BodyFile(), body);
        auto dialog = std::make_unique<FaxDialog>(std::move(*job), Services());
        dialog->show();
        return dialog;
    }

    template <typename T> T* Control(FaxDialog& dialog, int id) {
        T* control = qp::FindControl<T>(&dialog, id);
        EXPECT_NE(control, nullptr) << "control " << id;
        return control;
    }
    void TypeNumber(FaxDialog& dialog, const QString& text) {
        QComboBox* box = Control<QComboBox>(dialog, 1000);
        box->lineEdit()->clear();
        QTest::keyClicks(box->lineEdit(), text);
    }
    void Click(FaxDialog& dialog, int id) {
        QAbstractButton* button = Control<QAbstractButton>(dialog, id);
        const bool marked = qobject_cast<QPushButton*>(button) == nullptr;
        QTest::mouseClick(button, Qt::LeftButton, {},
                          marked ? QPoint(6, button->height() / 2) : QPoint());
    }
    static bool Idle(const FaxDialog& dialog) {
        return dialog.CurrentState() == FaxDialog::State::Idle;
    }
    static bool Ended(const FaxDialog& dialog) {
        return dialog.CurrentState() == FaxDialog::State::Ended;
    }
    std::vector<qp::faxlog::Entry> Logged() const { return m_log.Entries(); }

    qp::test::TempUserEnvironment m_env;
    qp::Profile m_profile;
    qp::test::FakeClock m_clock;
    qp::JobStore m_store{m_env.home.File("jobs")};
    qp::faxlog::FaxLog m_log{m_env.home.File("log")};
    FaxdProcess m_server{m_env.home.Path(), "5550100 2468\n"};
    qp::AccountSettings m_account;
    std::atomic<int> m_conversions{0};
    int m_previews = 0;
    std::vector<std::string> m_notices;
    std::string m_jobFolder;
};

} // namespace

TEST_F(FaxDialogTest, OpensAsTheSendTemplateWithEveryNumberedControl) {
    WriteFile(m_env.home.File(".fx.hs"), "(555) 123-4567\r\n5551112222\r\n");
    auto dialog = Open();
    EXPECT_EQ(dialog->windowTitle(), "Quill Post");
    EXPECT_TRUE(dialog->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(dialog->isModal()) << "faxes of several jobs may be open side by side";
    EXPECT_TRUE(qp::test::LooksFixedSize(*dialog));
    for (int id : {1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1011, 1019, 1028, 1, 2})
        EXPECT_NE(qp::FindControl<QWidget>(dialog.get(), id), nullptr) << id;
    EXPECT_FALSE(Control<QLineEdit>(*dialog, 1006)->isVisible());
    EXPECT_TRUE(Control<QRadioButton>(*dialog, 1002)->isChecked());
    EXPECT_TRUE(Control<QPushButton>(*dialog, 1)->isDefault());
    QComboBox* box = Control<QComboBox>(*dialog, 1000);
    ASSERT_EQ(box->count(), 2);
    EXPECT_EQ(box->itemText(0), "(555) 123-4567");
    TypeNumber(*dialog, "abc");
    EXPECT_EQ(box->currentText(), "ABC");
}

TEST_F(FaxDialogTest, SendConvertsUploadsLogsAndTakesItsJobAlong) {
    auto dialog = Open();
    TypeNumber(*dialog, " (555) 123-4567 ");
    Click(*dialog, 1003);
    Click(*dialog, 1);
    // Busy: the choices are taken, the controls wait, Cancel stays to stop the work.
    EXPECT_EQ(dialog->CurrentState(), FaxDialog::State::Converting);
    for (int id : {1, 1004, 1005, 1003, 1001})
        EXPECT_FALSE(qp::FindControl<QWidget>(dialog.get(), id)->isEnabled()) << id;
    EXPECT_TRUE(Control<QPushButton>(*dialog, 2)->isEnabled());
    Click(*dialog, 1001); // a click on a disabled control changes nothing
    ASSERT_TRUE(PumpUntil([&] { return Ended(*dialog); }));

    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(Control<QLineEdit>(*dialog, 1007)->text(), "Fax uploaded.");
    QProgressBar* bar = Control<QProgressBar>(*dialog, 1028);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_FALSE(qp::FileExists(m_jobFolder)) << "the job goes once it is logged";
    ASSERT_TRUE(m_server.WaitForLog("5551234567"));
    const std::vector<std::string> stored = m_server.Stored(".tif");
    ASSERT_EQ(stored.size(), 1u);
    const std::vector<qp::test::TiffPage> pages = qp::test::ReadTiffPages(stored[0]);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].xResolution, 300) << "the image follows the choice made before Send";
    const std::vector<qp::faxlog::Entry> logged = Logged();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].record.outcome, qp::faxlog::Outcome::Sent);
    EXPECT_EQ(logged[0].record.resolution, qp::Resolution::High);
    EXPECT_EQ(logged[0].record.pages, 2);
    EXPECT_EQ(m_notices, std::vector<std::string>{"Fax sent to (555) 123-4567: 2 pages"});
    EXPECT_EQ(ReadFile(m_env.home.File(".fx.hs")), "(555) 123-4567\r\n");
    EXPECT_TRUE(m_env.messages.Texts().empty());
}

TEST_F(FaxDialogTest, NumbersAreCheckedAndMissingInputsReportedWithoutEndingTheDialog) {
    auto dialog = Open(std::string());
    for (const char* typed : {"555-1234", "abc", "+1 555 123 4567"}) {
        TypeNumber(*dialog, typed);
        Click(*dialog, 1);
    }
    EXPECT_EQ(m_conversions, 0);
    TypeNumber(*dialog, "5551234567");
    Click(*dialog, 1);
    ASSERT_TRUE(PumpUntil([&] { return Idle(*dialog); }));
    EXPECT_EQ(m_env.messages.Texts(), (std::vector<std::string>{kTooShort, kTooShort, kNotNumeric,
                                                                "No cover or body to create fax"}));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(Logged().empty()) << "the fax is logged once, when its dialog closes";
    Click(*dialog, 2);
    ASSERT_TRUE(PumpUntil([&] { return Ended(*dialog); }));
    ASSERT_EQ(Logged().size(), 1u);
    EXPECT_EQ(Logged()[0].record.outcome, qp::faxlog::Outcome::Failed);
    EXPECT_EQ(Logged()[0].record.message, "No cover or body to create fax");
    EXPECT_EQ(Logged()[0].record.tries, 1);
}

TEST_F(FaxDialogTest, AFailedUploadKeepsTheImageAndAChoiceMakesItStale) {
    m_account.pin = "wrong";
    auto dialog = Open();
    Click(*dialog, 1004);
    ASSERT_TRUE(PumpUntil([&] { return Idle(*dialog); }));
    EXPECT_EQ(m_previews, 1);
    TypeNumber(*dialog, "5551234567");
    Click(*dialog, 1);
    ASSERT_TRUE(PumpUntil([&] { return Idle(*dialog) && !m_env.messages.Texts().empty(); }));
    EXPECT_EQ(m_conversions, 1) << "the preview's image is sent";
    EXPECT_EQ(m_env.messages.Texts(), std::vector<std::string>{qp::test::kLoginFailed});
    EXPECT_EQ(Control<QLineEdit>(*dialog, 1007)->text(), "Fax upload failed.");
    for (int id : {1, 1004, 1005})
        EXPECT_TRUE(Control<QPushButton>(*dialog, id)->isEnabled()) << id;

    m_account.pin = "2468";
    Click(*dialog, 1019); // legal size: the image no longer shows the fax
    Click(*dialog, 1);
    ASSERT_TRUE(PumpUntil([&] { return Ended(*dialog); }));
    EXPECT_EQ(m_conversions, 2);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    const std::vector<qp::faxlog::Entry> logged = Logged();
    ASSERT_EQ(logged.size(), 1u) << "one row for the fax, with its tries";
    EXPECT_EQ(logged[0].record.outcome, qp::faxlog::Outcome::Sent);
    EXPECT_TRUE(logged[0].record.legal);
    EXPECT_EQ(logged[0].record.tries, 2);
}

TEST_F(FaxDialogTest, TheDialogSaysWhatItSendsAndACoverOnlyFaxNeverTriedLeavesNoEntry) {
    const struct {
        const char* what;
        std::string header;
        QString shown;
    } cases[] = {
        {"plain", "%%Title: Quarterly report.odt\n", "Quarterly report.odt"},
        {"in parentheses", "%%Title: (Invoice 42)\n", "Invoice 42"},
        {"markup and controls", "%%Title: <b>x</b>\x1b[2J\n", "<b>x</b>?[2J"},
        {"long", "%%Title: " + std::string(200, 'a') + "\n", QString(79, u'a') + u'\u2026'},
        {"none", "", ""},
    };
    for (const auto& c : cases) {
        auto dialog = Open("%!PS-Adobe-3.0\n" + c.header + "%%Pages: 1\nshowpage\n");
        auto* title = dialog->findChild<QLabel*>("documentTitleLabel");
        ASSERT_NE(title, nullptr);
        EXPECT_EQ(title->text(), c.shown) << c.what;
        EXPECT_EQ(title->textFormat(), Qt::PlainText) << c.what;
        EXPECT_EQ(dialog->windowTitle(), "Quill Post");
    }
    auto coverOnly = Open(std::string());
    EXPECT_EQ(Control<QPushButton>(*coverOnly, 1011)->text(), "Add Cover Sheet...");
    Click(*coverOnly, 2);
    ASSERT_TRUE(PumpUntil([&] { return Ended(*coverOnly); }));
    EXPECT_TRUE(Logged().empty());
    EXPECT_FALSE(qp::FileExists(m_jobFolder));
}

TEST_F(FaxDialogTest, StoppingTheWorkOrCancellingEndsTheDialogAndDiscardsTheJob) {
    qp::test::LoopbackServer silent; // never answers
    struct Case {
        const char* what;
        std::string body;
        bool upload;
        std::function<void(FaxDialog&)> stop;
    };
    const Case cases[] = {
        {"cancel while idle", qp::test::TextPostScript(1), false,
         [this](FaxDialog& d) { Click(d, 2); }},
        {"cancel during a conversion", kEndlessPostScript, true,
         [this](FaxDialog& d) { Click(d, 2); }},
        {"escape during an upload", qp::test::TextPostScript(1), true,
         [](FaxDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"close box during an upload", qp::test::TextPostScript(1), true,
         [](FaxDialog& d) { d.windowHandle()->close(); }},
    };
    m_account.port = silent.Port();
    for (const Case& c : cases) {
        const std::size_t loggedBefore = Logged().size();
        auto dialog = Open(c.body);
        Click(*dialog, 1001);
        if (c.upload) {
            TypeNumber(*dialog, "5551234567");
            Click(*dialog, 1);
            const bool uploading = c.body == kEndlessPostScript || PumpUntil([&] {
                                       return dialog->CurrentState() == FaxDialog::State::Uploading;
                                   });
            ASSERT_TRUE(uploading) << c.what;
        }
        c.stop(*dialog);
        ASSERT_TRUE(PumpUntil([&] { return Ended(*dialog); })) << c.what;
        EXPECT_EQ(dialog->result(), QDialog::Rejected) << c.what;
        EXPECT_FALSE(qp::FileExists(m_jobFolder)) << c.what;
        ASSERT_EQ(Logged().size(), loggedBefore + 1) << c.what;
        EXPECT_EQ(Logged()[0].record.outcome, qp::faxlog::Outcome::NotSent) << c.what;
        EXPECT_EQ(qp::LoadSendChoices(m_profile).resolution, qp::Resolution::Normal) << c.what;
    }
    EXPECT_TRUE(m_env.messages.Texts().empty());
}

TEST_F(FaxDialogTest, AnOrderlyEndKeepsTheJobAndLogsItAsNotSent) {
    qp::test::LoopbackServer silent; // never answers
    m_account.port = silent.Port();
    for (const bool uploading : {false, true}) {
        auto dialog = Open();
        if (uploading) {
            TypeNumber(*dialog, "5551234567");
            Click(*dialog, 1);
            ASSERT_TRUE(
                PumpUntil([&] { return dialog->CurrentState() == FaxDialog::State::Uploading; }));
        }
        EXPECT_TRUE(dialog->EndForShutdown());
        EXPECT_TRUE(Ended(*dialog));
        EXPECT_TRUE(qp::FileExists(m_jobFolder + "/faxbody.ps"))
            << "offered again at the next start";
        EXPECT_EQ(Logged()[0].record.outcome, qp::faxlog::Outcome::NotSent);
    }
}

TEST_F(FaxDialogTest, APickedContactFillsTheNumberAndTheCoverPagesRecipient) {
    std::vector<std::string> asked;
    std::string coverTo;
    SendDialogServices services = Services();
    services.suggest = [&](const std::string& typed, const std::vector<std::string>&) {
        asked.push_back(typed);
        return std::vector<qp::RecipientSuggestion>{
            {"Alice Smith (Acme) - (555) 123-4567", "(555) 123-4567", "Alice Smith", "Acme"},
            {"(555) 765-4321", "(555) 765-4321", "", ""}};
    };
    services.coverSheet = [&](QWidget*, const std::string&) -> QDialog* {
        coverTo = m_profile.GetString(kSection, kCoverTo.key, "");
        return nullptr;
    };
    std::optional<qp::Job> job = m_store.Create();
    ASSERT_TRUE(job);
    FaxDialog dialog(std::move(*job), services);
    dialog.show();
    TypeNumber(dialog, "ali");
    EXPECT_EQ(asked.back(), "ALI") << "the box upper-cases what is typed";
    QCompleter* completer = Control<QComboBox>(dialog, 1000)->lineEdit()->completer();
    ASSERT_NE(completer, nullptr);
    ASSERT_EQ(completer->completionModel()->rowCount(), 2);
    EXPECT_EQ(completer->completionModel()->index(0, 0).data().toString(),
              "Alice Smith (Acme) - (555) 123-4567");
    QTest::keyClick(completer->popup(), Qt::Key_Down);
    QTest::keyClick(completer->popup(), Qt::Key_Return);
    EXPECT_EQ(Control<QComboBox>(dialog, 1000)->currentText(), "(555) 123-4567");
    Click(dialog, 1011);
    EXPECT_EQ(coverTo, "Alice Smith, Acme");

    // A number typed over the contact's is no longer that contact's.
    coverTo.clear();
    TypeNumber(dialog, "5559990000");
    Click(dialog, 1011);
    EXPECT_EQ(coverTo, "");
}
