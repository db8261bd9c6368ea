#include "fax/gui/FaxDialog.h"

#include "base/JobCoverText.h"
#include "base/Settings.h"
#include "fax/log/SendNotices.h"
#include "platform/FileOps.h"
#include "platform/Profile.h"
#include "platform/gui/ControlLookup.h"
#include "tests/fax/support/SamplePostScript.h"
#include "tests/fax/support/TiffPages.h"
#include "tests/support/GuiChecks.h"
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
#include <condition_variable>
#include <deque>
#include <gtest/gtest.h>
#include <map>
#include <mutex>

using namespace qp::settings;
using qp::Outcome;
using qp::test::ReadFile;
using qp::test::WriteFile;

using qp::test::PumpUntil;

namespace {

// Holds the work that waits on it until the test lets it go on, or the work is stopped.
class Gate {
public:
    // True once opened; false when stopped first.
    bool Wait(std::stop_token stop) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait(lock, stop, [this] { return m_open; });
    }
    void Open() {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }
    void Close() {
        std::lock_guard lock(m_mutex);
        m_open = false;
    }

private:
    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    bool m_open = false;
};

// The dialog's conversion and upload are played here: the dialog hands them its choices, shows
// what they end with, and calls them off.
class FaxDialogTest : public ::testing::Test {
protected:
    SendDialogServices Services() {
        SendDialogServices services;
        services.profile = &m_profile;
        services.clock = &m_clock;
        services.convert = [this](const qp::Job& job, const qp::ConversionParams& params,
                                  std::stop_token stop) {
            ++m_conversions;
            m_converted = params;
            if (m_gateConversion && !m_gate.Wait(stop))
                return Outcome::Stopped();
            if (m_holdConversion) {
                qp::test::WaitUntilStopped(std::move(stop));
                return Outcome::Stopped();
            }
            if (!m_conversionFailure.empty())
                return Outcome::Failure(m_conversionFailure);
            qp::test::WriteTiffPages(job.FaxImage(), 2);
            return Outcome::Success();
        };
        services.upload = [this](const std::string& number, const std::string&,
                                 const std::string& image, const qp::UploadProgress& progress,
                                 std::stop_token stop) {
            m_uploaded.push_back(number + " " + image);
            if (m_gateUpload && !m_gate.Wait(stop))
                return Outcome::Stopped();
            if (m_holdUpload) {
                qp::test::WaitUntilStopped(std::move(stop));
                return Outcome::Stopped();
            }
            progress(0, 2);
            progress(2, 2);
            if (m_uploadOutcomes.empty())
                return Outcome::Success();
            const Outcome outcome = m_uploadOutcomes.front();
            m_uploadOutcomes.pop_front();
            return outcome;
        };
        services.preview = [this](const std::string&) { ++m_previews; };
        services.record = [this](const qp::faxlog::SendAttempt& attempt, const qp::Job& job) {
            return qp::faxlog::RecordJobAttempt(m_log, attempt, job);
        };
        services.notify = [this](const std::string& text) { m_notices.push_back(text); };
        services.keep = m_keep;
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
    std::atomic<int> m_conversions{0};
    qp::ConversionParams m_converted;
    std::string m_conversionFailure;
    std::atomic<bool> m_holdConversion{false};
    std::atomic<bool> m_holdUpload{false};
    std::atomic<bool> m_gateConversion{false};
    std::atomic<bool> m_gateUpload{false};
    Gate m_gate;
    std::deque<Outcome> m_uploadOutcomes;
    std::vector<std::string> m_uploaded; // "number image" of each upload
    int m_previews = 0;
    std::vector<std::string> m_notices;
    std::string m_jobFolder;
    std::function<Outcome(qp::Job&, const qp::faxlog::SendAttempt&)> m_keep;
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
    const std::string image = dialog->CurrentJob().FaxImage();
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
    EXPECT_EQ(m_converted, qp::ChooseConversionParams(qp::Resolution::High, false))
        << "the image follows the choice made before Send";
    EXPECT_EQ(m_uploaded, std::vector<std::string>{"5551234567 " + image});
    EXPECT_EQ(Control<QLineEdit>(*dialog, 1007)->text(), "Fax uploaded.");
    QProgressBar* bar = Control<QProgressBar>(*dialog, 1028);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_FALSE(qp::FileExists(m_jobFolder)) << "the job goes once it is logged";
    const std::vector<qp::faxlog::Entry> logged = Logged();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].record.outcome, qp::faxlog::Outcome::Sent);
    EXPECT_EQ(logged[0].record.resolution, qp::Resolution::High);
    EXPECT_EQ(logged[0].record.pages, 2);
    EXPECT_EQ(m_notices, std::vector<std::string>{"Fax sent to (555) 123-4567: 2 pages"});
    EXPECT_EQ(ReadFile(m_env.home.File(".fx.hs")), "(555) 123-4567\r\n");
    EXPECT_TRUE(m_env.messages.Texts().empty());
}

TEST_F(FaxDialogTest, ABadNumberOrAFailedConversionIsToldWithoutEndingTheDialog) {
    auto dialog = Open();
    TypeNumber(*dialog, "555-1234");
    Click(*dialog, 1);
    EXPECT_EQ(m_conversions, 0);
    m_conversionFailure = "No cover or body to create fax";
    TypeNumber(*dialog, "5551234567");
    Click(*dialog, 1);
    ASSERT_TRUE(PumpUntil([&] { return Idle(*dialog); }));
    EXPECT_EQ(m_env.messages.Texts(),
              (std::vector<std::string>{"Fax phone number must be at least ten digits in length.",
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
    m_uploadOutcomes.push_back(Outcome::Failure("The fax server said no."));
    auto dialog = Open();
    Click(*dialog, 1004);
    ASSERT_TRUE(PumpUntil([&] { return Idle(*dialog); }));
    EXPECT_EQ(m_previews, 1);
    TypeNumber(*dialog, "5551234567");
    Click(*dialog, 1);
    ASSERT_TRUE(PumpUntil([&] { return Idle(*dialog) && !m_env.messages.Texts().empty(); }));
    EXPECT_EQ(m_conversions, 1) << "the preview's image is sent";
    EXPECT_EQ(m_env.messages.Texts(), std::vector<std::string>{"The fax server said no."});
    EXPECT_EQ(Control<QLineEdit>(*dialog, 1007)->text(), "Fax upload failed.");
    for (int id : {1, 1004, 1005})
        EXPECT_TRUE(Control<QPushButton>(*dialog, id)->isEnabled()) << id;

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
    using State = FaxDialog::State;
    struct Case {
        const char* what;
        State during; // Idle: nothing under way
        std::function<void(FaxDialog&)> stop;
    };
    const Case cases[] = {
        {"cancel while idle", State::Idle, [this](FaxDialog& d) { Click(d, 2); }},
        {"cancel during a conversion", State::Converting, [this](FaxDialog& d) { Click(d, 2); }},
        {"escape during an upload", State::Uploading,
         [](FaxDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"close box during an upload", State::Uploading,
         [](FaxDialog& d) { d.windowHandle()->close(); }},
    };
    for (const Case& c : cases) {
        const std::size_t loggedBefore = Logged().size();
        m_holdConversion = c.during == State::Converting;
        m_holdUpload = c.during == State::Uploading;
        auto dialog = Open();
        Click(*dialog, 1001);
        if (c.during != State::Idle) {
            TypeNumber(*dialog, "5551234567");
            Click(*dialog, 1);
            ASSERT_TRUE(PumpUntil([&] { return dialog->CurrentState() == c.during; })) << c.what;
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
    m_holdUpload = true;
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

// The number a print job named opens in "Fax to:", is sent only when the user sends, and may be
// changed first; a document that carries such a line further on names nobody.
TEST_F(FaxDialogTest, APrintJobsNumberOpensInFaxToAndOnlyItsFirstLineCounts) {
    const std::string document = qp::test::TextPostScript(1);
    auto named = Open("%%QuillpostPhone: 555 201 0001\n" + document);
    QComboBox* box = Control<QComboBox>(*named, 1000);
    EXPECT_EQ(box->currentText(), "555 201 0001");
    EXPECT_EQ(m_conversions, 0);
    EXPECT_TRUE(m_uploaded.empty());
    TypeNumber(*named, "5559990000");
    Click(*named, 1);
    ASSERT_TRUE(PumpUntil([&] { return Ended(*named); }));
    ASSERT_EQ(m_uploaded.size(), 1u);
    EXPECT_EQ(m_uploaded[0].rfind("5559990000 ", 0), 0u) << m_uploaded[0];

    auto reprinted = Open(document + "%%QuillpostPhone: 5552010001\n");
    EXPECT_EQ(Control<QComboBox>(*reprinted, 1000)->currentText(), "");
    auto hostile = Open("%%QuillpostPhone: <b>5552010001</b>\n" + document);
    EXPECT_EQ(Control<QComboBox>(*hostile, 1000)->currentText(), "");
    // Written with "+", it is dialled by the account's rules (country 1, long distance 1).
    auto international = Open("%%QuillpostPhone: +1 555 201 0001\n" + document);
    EXPECT_EQ(Control<QComboBox>(*international, 1000)->currentText(), "15552010001");
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
    services.coverSheet = [&](QWidget*, const std::string& coverFile) -> QDialog* {
        coverTo = qp::ReadJobCoverText(qp::CoverTextFileBeside(coverFile)).to;
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

// Two faxes open side by side, each with its contact: each cover page names its own recipient,
// whichever dialog opened or picked last, and the settings that every fax reads hold neither.
TEST_F(FaxDialogTest, TwoOpenDialogsKeepTheirCoverRecipientsApart) {
    std::map<std::string, std::string> coverTo; // job folder -> To the sheet opens with
    SendDialogServices services = Services();
    services.suggest = [](const std::string& typed, const std::vector<std::string>&) {
        if (typed == "ALI")
            return std::vector<qp::RecipientSuggestion>{
                {"Alice Smith (Acme)", "(555) 123-4567", "Alice Smith", "Acme"}};
        return std::vector<qp::RecipientSuggestion>{
            {"Bob Jones (Beta)", "(555) 765-4321", "Bob Jones", "Beta"}};
    };
    services.coverSheet = [&](QWidget*, const std::string& coverFile) -> QDialog* {
        coverTo[coverFile] = qp::ReadJobCoverText(qp::CoverTextFileBeside(coverFile)).to;
        return nullptr;
    };
    auto open = [&](const QString& typed) {
        std::optional<qp::Job> job = m_store.Create();
        EXPECT_TRUE(job);
        auto dialog = std::make_unique<FaxDialog>(std::move(*job), services);
        dialog->show();
        TypeNumber(*dialog, typed);
        QCompleter* completer = Control<QComboBox>(*dialog, 1000)->lineEdit()->completer();
        QTest::keyClick(completer->popup(), Qt::Key_Down);
        QTest::keyClick(completer->popup(), Qt::Key_Return);
        Click(*dialog, 1011);
        return dialog;
    };
    auto first = open("ali");
    auto second = open("bob");
    Click(*first, 1011);
    EXPECT_EQ(coverTo[first->CurrentJob().CoverFile()], "Alice Smith, Acme");
    EXPECT_EQ(coverTo[second->CurrentJob().CoverFile()], "Bob Jones, Beta");
    EXPECT_EQ(m_profile.GetString(kSection, kCoverTo.key, "<absent>"), "<absent>");
}

// Work started from the keyboard (Enter, or Preview's shortcut) while the "Fax to:" box has the
// focus: the focus rests where no key discards the fax, and is back in the box when the work ends.
TEST_F(FaxDialogTest, WhileWorkRunsTheFocusIsWhereNoKeyDiscardsTheFax) {
    struct Case {
        const char* what;
        bool send; // else a preview
        std::optional<Outcome> uploaded;
    };
    const Case cases[] = {
        {"preview", false, std::nullopt},
        {"failed send", true, Outcome::Failure("The fax server said no.")},
    };
    for (const Case& c : cases) {
        m_gate.Close();
        m_gateConversion = !c.send;
        m_gateUpload = c.send;
        if (c.uploaded)
            m_uploadOutcomes.push_back(*c.uploaded);
        auto dialog = Open();
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get())) << c.what;
        QComboBox* box = Control<QComboBox>(*dialog, 1000);
        box->setFocus();
        TypeNumber(*dialog, "5551234567");
        if (c.send)
            QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        else
            dialog->OnPreview();
        ASSERT_TRUE(PumpUntil([&] { return !Idle(*dialog); })) << c.what;

        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr) << c.what;
        EXPECT_EQ(focused, Control<QLineEdit>(*dialog, 1007)) << c.what;
        QTest::keyClick(focused, Qt::Key_Space);
        QTest::keyClick(focused, Qt::Key_Return);
        QCoreApplication::processEvents();
        EXPECT_FALSE(Idle(*dialog) || Ended(*dialog)) << c.what << ": the work goes on";

        m_gate.Open();
        ASSERT_TRUE(PumpUntil([&] { return Idle(*dialog); })) << c.what;
        EXPECT_TRUE(box->hasFocus()) << c.what;
        QTest::keyClicks(QApplication::focusWidget(), "9");
        EXPECT_EQ(box->currentText(), "55512345679") << c.what;
        EXPECT_TRUE(Logged().empty()) << c.what;
    }
}

// Enter on the suggestions sends when the number typed is the first of them; with another one
// chosen, or a number not yet whole, it takes the suggestion into the box as before.
TEST_F(FaxDialogTest, EnterSendsWhenTheTypedNumberIsTheFirstSuggestion) {
    SendDialogServices services = Services();
    services.suggest = [](const std::string&, const std::vector<std::string>&) {
        return std::vector<qp::RecipientSuggestion>{
            {"(555) 123-4567", "(555) 123-4567", "", ""},
            {"Alice Smith - (555) 123-9999", "(555) 123-9999", "Alice Smith", ""}};
    };
    struct Case {
        const char* what;
        QString typed;
        bool down; // another suggestion chosen first
        bool sent;
        QString inBox;
    };
    const Case cases[] = {
        {"as typed", "5551234567", false, true, "5551234567"},
        {"as the history writes it", "(555) 123-4567", false, true, "(555) 123-4567"},
        {"another chosen", "5551234567", true, false, "(555) 123-9999"},
        {"not whole", "555123", false, false, "555123"},
    };
    for (const Case& c : cases) {
        m_uploaded.clear();
        m_conversions = 0;
        std::optional<qp::Job> job = m_store.Create();
        ASSERT_TRUE(job);
        const std::string image = job->FaxImage();
        FaxDialog dialog(std::move(*job), services);
        dialog.show();
        TypeNumber(dialog, c.typed);
        QCompleter* completer = Control<QComboBox>(dialog, 1000)->lineEdit()->completer();
        ASSERT_TRUE(completer->popup()->isVisible()) << c.what;
        for (int i = 0; i < (c.down ? 2 : 0); ++i)
            QTest::keyClick(completer->popup(), Qt::Key_Down);
        QTest::keyClick(completer->popup(), Qt::Key_Return);
        EXPECT_EQ(Control<QComboBox>(dialog, 1000)->currentText(), c.inBox) << c.what;
        if (c.sent) {
            ASSERT_TRUE(PumpUntil([&] { return Ended(dialog); })) << c.what;
            EXPECT_EQ(m_uploaded, std::vector<std::string>{"5551234567 " + image}) << c.what;
        } else {
            EXPECT_TRUE(Idle(dialog)) << c.what;
            EXPECT_EQ(m_conversions, 0) << c.what;
        }
    }
}

TEST_F(FaxDialogTest, ClosingAfterATryThatMayPassAsksToKeepTheFaxOrDiscardIt) {
    std::optional<qp::Job> kept;
    m_keep = [&kept](qp::Job& job, const qp::faxlog::SendAttempt&) {
        kept.emplace(std::move(job));
        return Outcome::Success();
    };
    for (const bool keep : {true, false}) {
        SCOPED_TRACE(keep ? "keep" : "discard");
        m_env.messages.Clear();
        const std::size_t loggedBefore = Logged().size();
        m_uploadOutcomes.push_back(Outcome::Failure("No server", qp::FailureKind::CannotConnect));
        auto dialog = Open();
        TypeNumber(*dialog, "5551234567");
        Click(*dialog, 1);
        ASSERT_TRUE(PumpUntil([&] { return Idle(*dialog) && !m_env.messages.Texts().empty(); }));
        m_env.messages.SetNextAnswer(keep ? qp::MessageAnswer::Yes : qp::MessageAnswer::No);
        QTest::keyClick(dialog.get(), Qt::Key_Escape);
        ASSERT_TRUE(PumpUntil([&] { return Ended(*dialog); }));
        const std::vector<qp::MessageRequest> asked = m_env.messages.Messages();
        ASSERT_EQ(asked.size(), 2u);
        EXPECT_EQ(std::tuple(asked[1].text, asked[1].buttons, asked[1].yesText, asked[1].noText),
                  std::tuple("Keep this fax in the outbox and send it automatically?",
                             qp::MessageButtons::YesNo, "Keep", "Discard"));
        EXPECT_EQ(kept.has_value(), keep);
        EXPECT_EQ(qp::FileExists(m_jobFolder), keep);
        EXPECT_EQ(Logged().size(), loggedBefore + (keep ? 0 : 1)) << "a kept fax is logged later";
        if (kept)
            qp::JobStore::Remove(std::move(*kept));
        kept.reset();
    }
}
