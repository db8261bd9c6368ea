#include "shell/TrayDialog.h"
#include "app/QuillpostApp.h"
#include "platform/ControlLookup.h"
#include "platform/FileOps.h"
#include "platform/gui/GuiThread.h"
#include "res/Features.h"
#include "shell/gui/AboutDlg.h"
#include "shell/QtTrayBackend.h"
#include "shell/TrayEvents.h"
#include "shell/TrayHostState.h"
#include "tests/shell/FakeTrayBackend.h"
#include "tests/shell/ModalHelpers.h"
#include "tests/shell/RecordingWindow.h"
#include "tests/support/TestSupport.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using qp::TrayAction;
using qp::test::FakeTrayBackend;
using qp::test::WhenModalOpens;

namespace {

class TrayDialogTest : public ::testing::Test {
protected:
    std::unique_ptr<TrayDialog> MakeTray() {
        return std::make_unique<TrayDialog>(
            m_app, std::make_unique<qp::test::BorrowedTrayBackend>(m_backend));
    }
    static void Notify(TrayDialog& tray, int mouseEvent) {
        qp::TrayNotifyEvent event(TrayDialog::kTrayCallbackMessage, 135, mouseEvent);
        QCoreApplication::sendEvent(&tray, &event);
    }

    qp::test::TempDir m_home;
    qp::test::ScopedEnv m_xdg{"XDG_CONFIG_HOME", m_home.Path() + "/config"};
    qp::test::ScopedEnv m_common{"QUILLPOST_COMMON_DIR", m_home.Path()};
    qp::test::RecordingMessageSink m_messages;
    qp::ScopedMessageSink m_sink{m_messages};
    CQuillpostApp m_app{""};
    FakeTrayBackend m_backend;
};

TEST_F(TrayDialogTest, HiddenWindowShowsTheIconFromCreationToDestruction) {
    auto tray = MakeTray();
    EXPECT_FALSE(tray->isVisible());
    ASSERT_EQ(m_backend.calls.size(), 1u);
    const auto& add = m_backend.calls[0];
    EXPECT_EQ(add.action, TrayAction::Add);
    EXPECT_EQ(add.data.window, tray.get());
    EXPECT_EQ(add.data.callbackMessage, TrayDialog::kTrayCallbackMessage);
    EXPECT_EQ(add.data.id, 135);
    EXPECT_EQ(add.data.tip, "Quill Post");

    // Start-up asks once more, which only changes the icon in place.
    tray->TrayIcon().SetIconById(130);
    EXPECT_EQ(m_backend.calls.back().action, TrayAction::Modify);

    tray.reset();
    EXPECT_EQ(m_backend.calls.back().action, TrayAction::Delete);
}

TEST_F(TrayDialogTest, DoubleClickSendsACoverOnlyFax) {
    auto tray = MakeTray();
    int opened = 0;
    tray->SetSendDialogRunner([&] { ++opened; });
    Notify(*tray, qp::mouse::kLeftButtonUp);
    EXPECT_EQ(opened, 0) << "a single click does nothing";
    Notify(*tray, qp::mouse::kLeftButtonDoubleClick);
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(TrayDialogTest, MenuChoiceOpensTheAboutBox) {
    auto tray = MakeTray();
    m_backend.choice = 32772;
    std::vector<std::string> seen;
    WhenModalOpens([&](QDialog& about) {
        seen.push_back(about.windowTitle().toStdString());
        for (QLabel* label : about.findChildren<QLabel*>()) {
            if (!label->text().isEmpty())
                seen.push_back(label->text().toStdString());
            else if (!label->pixmap().isNull())
                seen.push_back("icon");
        }
        qp::FindControl<QPushButton>(&about, 1)->click();
    });
    Notify(*tray, qp::mouse::kRightButtonUp);
    ASSERT_EQ(m_backend.popups.size(), 1u);
    QCoreApplication::sendPostedEvents(tray.get());

    std::sort(seen.begin() + 1, seen.end());
    EXPECT_EQ(seen,
              (std::vector<std::string>{"About Quillpost", "Quill Post Version 1.0.030", "icon"}));
}

// Commands wait while a send dialog's work runs, so that their windows cannot hold it up; quitting
// opens none and must not wait for an upload that may take minutes.
TEST_F(TrayDialogTest, MenuChoicesReachTheirRunnersAndOnlyQuitDoesNotWaitForWork) {
    const struct {
        int command;
        void (TrayDialog::*setRunner)(std::function<void()>);
        bool runsDuringWork;
    } cases[] = {
        {32774, &TrayDialog::SetUpdateCheckRunner, false},
        {32780, &TrayDialog::SetFaxLogRunner, false},
        {32782, &TrayDialog::SetContactsRunner, false},
        {32781, &TrayDialog::SetQuitRunner, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        auto tray = MakeTray();
        int runs = 0;
        (tray.get()->*c.setRunner)([&] { ++runs; });
        m_backend.choice = c.command;
        {
            qp::GuiWorkScope work;
            Notify(*tray, qp::mouse::kRightButtonUp);
            QCoreApplication::sendPostedEvents();
            EXPECT_EQ(runs, c.runsDuringWork ? 1 : 0);
        }
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(runs, 1);
    }
}

TEST_F(TrayDialogTest, ShowConfigurationOpensThePreferences) {
    auto tray = MakeTray();
    std::string title;
    WhenModalOpens([&](QDialog& dialog) {
        title = dialog.windowTitle().toStdString();
        dialog.reject();
    });
    qp::CommandEvent command(32771);
    QCoreApplication::sendEvent(tray.get(), &command);
    EXPECT_EQ(title, "Quill Post Configuration");
}

class QtTrayBackendTest : public ::testing::Test {
protected:
    qp::QtTrayBackend m_backend;
};

TEST_F(QtTrayBackendTest, ServesTheProgramsResources) {
    EXPECT_EQ(m_backend.LoadString(130), "Quill Post");
    EXPECT_EQ(m_backend.LoadString(135), "");
    const qp::IconHandle icon = m_backend.LoadIcon(130);
    EXPECT_NE(icon, 0u);
    EXPECT_EQ(m_backend.LoadIcon(130), icon);
    EXPECT_EQ(m_backend.LoadIcon(131), 0u);
    EXPECT_FALSE(m_backend.LoadMenu(130).has_value());
    ASSERT_TRUE(m_backend.LoadMenu(135).has_value());
    EXPECT_EQ(m_backend.LoadMenu(135)->popups.at(0).text, "&Tray");
}

TEST_F(QtTrayBackendTest, PopupMarksTheDefaultItemAndSendsTheChoiceToItsOwner) {
    qp::test::RecordingWindow owner;
    std::vector<std::string> texts;
    std::string defaultText;
    qp::test::WhenPopupOpens([&](QWidget& popup) {
        auto& menu = dynamic_cast<QMenu&>(popup);
        for (QAction* action : menu.actions())
            texts.push_back(action->isSeparator() ? "-" : action->text().toStdString());
        defaultText = menu.defaultAction()->text().toStdString();
        QAction* about = menu.actions().at(3);
        QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(about).center());
    });
    m_backend.TrackPopupMenu(qp::LoadMenuResource(135)->popups[0], 0, &owner);
    QCoreApplication::sendPostedEvents(&owner);

    std::vector<std::string> expected{"Send Cover Only Fax...", "Show &Configuration", "-",
                                      "About Quill Post ..."};
    if (QUILLPOST_SELF_UPDATE)
        expected.push_back("Check for Updates...");
    expected.insert(expected.end(), {"Fax Log...", "Contacts...", "-", "Quit Quill Post"});
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(defaultText, "Send Cover Only Fax...");
    EXPECT_EQ(owner.commands, std::vector<int>{32772});
}

TEST_F(QtTrayBackendTest, PopupClosedByAClickElsewhereOrEscapeSendsNoCommand) {
    qp::test::RecordingWindow owner;
    const qp::PopupMenu popup = qp::LoadMenuResource(135)->popups[0];
    qp::test::WhenPopupOpens(
        [](QWidget& menu) { QTest::mouseClick(&menu, Qt::LeftButton, {}, QPoint(-20, -20)); });
    m_backend.TrackPopupMenu(popup, 0, &owner);
    qp::test::WhenPopupOpens([](QWidget& menu) { QTest::keyClick(&menu, Qt::Key_Escape); });
    m_backend.TrackPopupMenu(popup, 0, &owner);
    QCoreApplication::sendPostedEvents(&owner);
    EXPECT_TRUE(owner.commands.empty());
}

TEST_F(QtTrayBackendTest, WithoutATrayHostTheIconWaitsAndTheUserIsToldOnce) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()) << "offscreen has no tray";
    qp::NotifyIconData data;
    data.id = 135;
    data.icon = m_backend.LoadIcon(130);
    data.tip = "Quill Post";
    data.flags = qp::kTrayFlagIcon | qp::kTrayFlagTip;

    testing::internal::CaptureStderr();
    EXPECT_TRUE(m_backend.NotifyIcon(TrayAction::Add, data));
    EXPECT_TRUE(m_backend.NotifyIcon(TrayAction::Modify, data));
    EXPECT_TRUE(m_backend.NotifyIcon(TrayAction::Delete, data));
    EXPECT_FALSE(m_backend.NotifyIcon(TrayAction::Delete, data)) << "nothing left to remove";
    EXPECT_FALSE(m_backend.NotifyIcon(TrayAction::Modify, data));
    EXPECT_TRUE(m_backend.NotifyIcon(TrayAction::Add, data));
    const std::string err = testing::internal::GetCapturedStderr();
    // Qt may add its own warnings; ours comes exactly once.
    const std::string line = std::string(qp::kNoTrayMessage) + "\n";
    const auto first = err.find(line);
    ASSERT_NE(first, std::string::npos) << err;
    EXPECT_EQ(err.find(line, first + 1), std::string::npos) << err;
}

} // namespace
