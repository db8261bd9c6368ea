#include "fax/FaxDialog.h"
#include "app/QuillpostApp.h"
#include "app/Settings.h"
#include "platform/ControlLookup.h"
#include "platform/GuiThread.h"
#include "platform/Profile.h"
#include "tests/fax/support/ChildProcess.h"
#include "tests/fax/support/SamplePostScript.h"
#include "tests/support/TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QWindow>
#include <atomic>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <utility>

using namespace qp::settings;
using qp::test::FakeClock;
using qp::test::FaxdProcess;
using qp::test::ReadFile;
using qp::test::RecordingMessageSink;
using qp::test::ScopedEnv;
using qp::test::TempDir;
using qp::test::WriteFile;

namespace {

constexpr const char* kTooShort = "Fax phone number must be at least ten digits in length.";
constexpr const char* kNotNumeric = "Invalid Fax To phone number (must be numeric only)";

std::string MakeFolder(const std::string& path) {
    std::filesystem::create_directories(path);
    return path;
}

// The real runner, counting Ghostscript runs and viewer starts.
class CountingRunner final : public qp::ProcessRunner {
public:
    std::atomic<int> conversions{0};
    std::atomic<int> viewerStarts{0};
    // Runs once on the conversion's worker thread, while the dialog is busy.
    std::function<void()> duringNextConversion;

    qp::ProcessResult RunAndWait(const std::vector<std::string>& argv) override {
        ++conversions;
        if (std::function<void()> hook = std::exchange(duringNextConversion, nullptr))
            hook();
        return qp::SystemProcessRunner().RunAndWait(argv);
    }
    bool StartDetached(const std::vector<std::string>&, const std::string&) override {
        ++viewerStarts;
        return true;
    }
};

class FaxDialogTest : public ::testing::Test {
protected:
    FaxDialogTest() {
        WriteFile(m_app.m_bodyFile, qp::test::TextPostScript(2));
        m_app.SetAccount({"127.0.0.1", m_server.Port(), "5550100", "2468", ""});
        qp::Profile().WriteString(kSection, kTiffViewer, std::string("/usr/bin/true"));
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
    // Clicks where a user would: on a check or radio button's mark, in a push button's middle.
    void Click(FaxDialog& dialog, int id) {
        QAbstractButton* button = Control<QAbstractButton>(dialog, id);
        const bool marked = qobject_cast<QPushButton*>(button) == nullptr;
        QTest::mouseClick(button, Qt::LeftButton, {},
                          marked ? QPoint(6, button->height() / 2) : QPoint());
    }
    std::string History() const { return ReadFile(m_home.File(".fx.hs")); }

    TempDir m_home;
    ScopedEnv m_homeEnv{"HOME", m_home.Path()};
    ScopedEnv m_xdg{"XDG_CONFIG_HOME", m_home.Path() + "/config"};
    std::string m_spool = MakeFolder(m_home.Path() + "/spool");
    ScopedEnv m_common{"QUILLPOST_COMMON_DIR", m_spool};
    RecordingMessageSink m_messages;
    qp::ScopedMessageSink m_sink{m_messages};
    FakeClock m_clock;
    CountingRunner m_runner;
    FaxdProcess m_server{m_home.Path(), "5550100 2468\n"};
    CQuillpostApp m_app{"", nullptr, m_runner};
};

} // namespace

TEST_F(FaxDialogTest, OpensAsTheSendTemplateWithEveryNumberedControl) {
    FaxDialog dialog(m_app, nullptr, m_clock);
    EXPECT_EQ(dialog.windowTitle(), "Quill Post");
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    for (int id : {1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1011, 1019, 1028, 1, 2})
        EXPECT_NE(qp::FindControl<QWidget>(&dialog, id), nullptr) << id;
    dialog.show();
    EXPECT_FALSE(Control<QLineEdit>(dialog, 1006)->isVisible());
    EXPECT_TRUE(Control<QRadioButton>(dialog, 1002)->isChecked());
    EXPECT_FALSE(Control<QCheckBox>(dialog, 1019)->isChecked());
    EXPECT_EQ(Control<QPushButton>(dialog, 1004)->text(), "&Preview");
    EXPECT_TRUE(Control<QPushButton>(dialog, 1)->isDefault());
}

TEST_F(FaxDialogTest, RecipientBoxTurnsLettersToUpperCaseAndListsTheHistoryInFileOrder) {
    WriteFile(m_home.File(".fx.hs"), "(555) 123-4567\r\n5551112222\r\n");
    FaxDialog dialog(m_app, nullptr, m_clock);
    QComboBox* box = Control<QComboBox>(dialog, 1000);
    ASSERT_EQ(box->count(), 2);
    EXPECT_EQ(box->itemText(0), "(555) 123-4567");
    EXPECT_EQ(box->itemText(1), "5551112222");
    TypeNumber(dialog, "abc");
    EXPECT_EQ(box->currentText(), "ABC");
}

TEST_F(FaxDialogTest, InvalidNumbersAreRefusedBeforeAnythingIsConverted) {
    FaxDialog dialog(m_app, nullptr, m_clock);
    dialog.show();
    for (const char* typed : {"555-1234", "abc", "+1 555 123 4567"}) {
        TypeNumber(dialog, typed);
        Click(dialog, 1);
    }
    EXPECT_EQ(m_messages.Texts(), (std::vector<std::string>{kTooShort, kTooShort, kNotNumeric}));
    EXPECT_EQ(m_runner.conversions, 0);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(Control<QLineEdit>(dialog, 1007)->text().isEmpty());
}

TEST_F(FaxDialogTest, PreviewThenSendConvertsOnceUploadsAndRecordsTheNumber) {
    FaxDialog dialog(m_app, nullptr, m_clock);
    dialog.show();
    Click(dialog, 1004);
    EXPECT_EQ(m_runner.conversions, 1);
    EXPECT_EQ(m_runner.viewerStarts, 1);
    EXPECT_TRUE(dialog.ImageReady());

    TypeNumber(dialog, " (555) 123-4567 ");
    Click(dialog, 1);
    EXPECT_EQ(m_runner.conversions, 1);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(Control<QLineEdit>(dialog, 1007)->text(), "Fax uploaded.");
    QProgressBar* bar = Control<QProgressBar>(dialog, 1028);
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(History(), "(555) 123-4567\r\n");
    EXPECT_TRUE(m_server.WaitForLog("5551234567").has_value());
    EXPECT_EQ(m_server.Stored(".tif").size(), 1u);
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(FaxDialogTest, ResolutionClickBetweenPreviewAndSendConvertsAgain) {
    FaxDialog dialog(m_app, nullptr, m_clock);
    dialog.show();
    Click(dialog, 1004);
    Click(dialog, 1002); // the button already selected still makes the image stale
    EXPECT_FALSE(dialog.ImageReady());
    TypeNumber(dialog, "555.123.4567");
    Click(dialog, 1);
    EXPECT_EQ(m_runner.conversions, 2);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(FaxDialogTest, FailedUploadReenablesTheButtonsAndTheNextSendReusesTheImage) {
    m_app.SetAccount({"127.0.0.1", m_server.Port(), "5550100", "wrong", ""});
    FaxDialog dialog(m_app, nullptr, m_clock);
    dialog.show();
    TypeNumber(dialog, "5551234567");
    Click(dialog, 1);
    EXPECT_EQ(m_runner.conversions, 1);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Control<QLineEdit>(dialog, 1007)->text(), "Fax upload failed.");
    for (int id : {1, 1004, 1005})
        EXPECT_TRUE(Control<QPushButton>(dialog, id)->isEnabled()) << id;
    ASSERT_EQ(m_messages.Texts().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(m_home.File(".fx.hs")));

    m_app.SetAccount({"127.0.0.1", m_server.Port(), "5550100", "2468", ""});
    Click(dialog, 1);
    EXPECT_EQ(m_runner.conversions, 1);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(History(), "(555) 123-4567\r\n");
}

TEST_F(FaxDialogTest, MissingInputsEndSendAndPreviewWithTheConversionMessage) {
    std::filesystem::remove(m_app.m_bodyFile);
    FaxDialog dialog(m_app, nullptr, m_clock);
    dialog.show();
    Click(dialog, 1004);
    TypeNumber(dialog, "5551234567");
    Click(dialog, 1);
    EXPECT_EQ(m_messages.Texts(), (std::vector<std::string>{"No cover or body to create fax",
                                                            "No cover or body to create fax"}));
    EXPECT_EQ(m_runner.viewerStarts, 0);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(Control<QLineEdit>(dialog, 1007)->text().isEmpty());
}

TEST_F(FaxDialogTest, CancelSavesTheChoicesForTheNextDialog) {
    qp::Profile().WriteString(kSection, kResolution, std::string("High"));
    {
        FaxDialog dialog(m_app, nullptr, m_clock);
        dialog.show();
        EXPECT_TRUE(Control<QRadioButton>(dialog, 1002)->isChecked());
        Click(dialog, 1001);
        Click(dialog, 1019);
        Click(dialog, 2);
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
    EXPECT_EQ(qp::Profile().GetString(kSection, kResolution, ""), "normal");
    EXPECT_EQ(qp::Profile().GetString(kSection, kLegal, ""), "true");
    FaxDialog next(m_app, nullptr, m_clock);
    EXPECT_TRUE(Control<QRadioButton>(next, 1001)->isChecked());
    EXPECT_TRUE(Control<QCheckBox>(next, 1019)->isChecked());
}

TEST_F(FaxDialogTest, EscapeCancelsAndSavesTheChoicesLikeTheCancelButton) {
    FaxDialog dialog(m_app, nullptr, m_clock);
    dialog.show();
    Click(dialog, 1003);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(qp::Profile().GetString(kSection, kResolution, ""), "high");
}

TEST_F(FaxDialogTest, AnEntryPickedFromTheHistoryIsSentAsItsDigits) {
    const std::string history = "(555) 123-4567\r\n5551112222\r\n";
    WriteFile(m_home.File(".fx.hs"), history);
    FaxDialog dialog(m_app, nullptr, m_clock);
    dialog.show();
    QComboBox* box = Control<QComboBox>(dialog, 1000);
    QTest::keyClick(box->lineEdit(), Qt::Key_Down);
    EXPECT_EQ(box->currentText(), "(555) 123-4567");

    Click(dialog, 1);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(m_server.WaitForLog("5551234567").has_value());
    EXPECT_EQ(History(), history);
}

TEST_F(FaxDialogTest, SendClickedDuringThePreviewConversionWaitsAndThenUsesItsImage) {
    FaxDialog dialog(m_app, nullptr, m_clock);
    dialog.show();
    TypeNumber(dialog, "5551234567");
    m_runner.duringNextConversion = [&] { qp::RunOnGuiThread([&] { Click(dialog, 1); }); };
    Click(dialog, 1004);
    EXPECT_EQ(m_runner.viewerStarts, 1);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(Control<QLineEdit>(dialog, 1007)->text().isEmpty());

    QCoreApplication::processEvents();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_runner.conversions, 1);
}

TEST_F(FaxDialogTest, TheCloseBoxDuringAConversionCancelsOnceItHasFinished) {
    FaxDialog dialog(m_app, nullptr, m_clock);
    dialog.show();
    Click(dialog, 1001);
    bool visibleAfterCloseBox = false;
    m_runner.duringNextConversion = [&] {
        qp::RunOnGuiThread([&] {
            dialog.windowHandle()->close();
            visibleAfterCloseBox = dialog.isVisible();
        });
    };
    Click(dialog, 1004);
    EXPECT_TRUE(visibleAfterCloseBox);
    EXPECT_EQ(m_runner.viewerStarts, 1);

    QCoreApplication::processEvents();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(qp::Profile().GetString(kSection, kResolution, ""), "normal");
}

// An accelerator's click arrives a moment after its key, so it can land while the dialog is busy.
TEST_F(FaxDialogTest, ClicksLandingWhileBusyStartNoSecondConversionOrUpload) {
    FaxDialog dialog(m_app, nullptr, m_clock);
    dialog.show();
    TypeNumber(dialog, "5551234567");
    m_runner.duringNextConversion = [&] {
        qp::RunOnGuiThread([&] {
            Control<QPushButton>(dialog, 1004)->click();
            Control<QPushButton>(dialog, 1)->click();
        });
    };
    Click(dialog, 1);
    EXPECT_EQ(m_runner.conversions, 1);
    EXPECT_EQ(m_runner.viewerStarts, 0);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_TRUE(m_server.WaitForLog("fax stored").has_value());
    EXPECT_EQ(m_server.Stored(".tif").size(), 1u);
}

TEST_F(FaxDialogTest, AResolutionClickLandingDuringAConversionMakesItsImageStale) {
    FaxDialog dialog(m_app, nullptr, m_clock);
    dialog.show();
    m_runner.duringNextConversion = [&] {
        qp::RunOnGuiThread([&] { Control<QRadioButton>(dialog, 1001)->click(); });
    };
    Click(dialog, 1004);
    EXPECT_EQ(m_runner.viewerStarts, 1);
    EXPECT_FALSE(dialog.ImageReady());

    TypeNumber(dialog, "5551234567");
    Click(dialog, 1);
    EXPECT_EQ(m_runner.conversions, 2);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(FaxDialogTest, PerFaxCoverFieldsAreForgottenOnOpenAndOnDestruction) {
    qp::Profile profile;
    auto writeCoverFields = [&] {
        for (const char* name : {kCoverTo, kCoverRe, kCoverNote, kCoverFrom})
            profile.WriteString(kSection, name, std::string("x"));
    };
    auto remaining = [&] {
        int count = 0;
        for (const char* name : {kCoverTo, kCoverRe, kCoverNote})
            count += profile.GetString(kSection, name, "") == "x";
        return count;
    };
    writeCoverFields();
    {
        FaxDialog dialog(m_app, nullptr, m_clock);
        EXPECT_EQ(remaining(), 0);
        writeCoverFields();
    }
    EXPECT_EQ(remaining(), 0);
    EXPECT_EQ(profile.GetString(kSection, kCoverFrom, ""), "x");
}

TEST_F(FaxDialogTest, ConfigureRunsTheRegisteredDialogAndItsAccountIsUsedNext) {
    int runs = 0;
    FaxDialog::SetConfigureRunner([&](CQuillpostApp& app, QWidget* parent) {
        ++runs;
        EXPECT_NE(parent, nullptr);
        qp::AccountSettings account = app.Account();
        account.pin = "2468";
        app.SetAccount(account);
    });
    m_app.SetAccount({"127.0.0.1", m_server.Port(), "5550100", "", ""});
    FaxDialog dialog(m_app, nullptr, m_clock);
    dialog.show();
    Click(dialog, 1005);
    TypeNumber(dialog, "5551234567;5559876543");
    Click(dialog, 1);
    FaxDialog::SetConfigureRunner(nullptr);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(History(), "5551234567;5559876543\r\n");
}
