#include "shell/gui/TrayDialog.h"
#include "platform/gui/GuiThread.h"
#include "res/Features.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

// The offscreen platform has no tray host: these tests drive the icon's menu and signals directly.
namespace {

TEST(TrayDialogTest, MenuListsTheCommandsWithTheFirstAsDefaultWhichADoubleClickRuns) {
    TrayDialog tray;
    std::vector<std::string> texts;
    for (QAction* action : tray.Menu().actions())
        texts.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    std::vector<std::string> expected{"Send Cover Only Fax...", "Show &Configuration", "-",
                                      "About Quill Post ..."};
    if (QUILLPOST_SELF_UPDATE)
        expected.push_back("Check for Updates...");
    expected.insert(expected.end(), {"Fax Log...", "Contacts...", "-", "Quit Quill Post"});
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(tray.Menu().defaultAction(), tray.Menu().actions().at(0)) << "shown in bold";
    EXPECT_EQ(tray.Icon().contextMenu(), &tray.Menu());
    EXPECT_EQ(tray.Icon().toolTip(), "Quill Post");
    EXPECT_FALSE(tray.Icon().icon().isNull());

    int opened = 0;
    tray.SetSendDialogRunner([&] { ++opened; });
    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::Context,
                        QSystemTrayIcon::MiddleClick, QSystemTrayIcon::DoubleClick}) {
        emit tray.Icon().activated(reason);
        QCoreApplication::sendPostedEvents();
    }
    EXPECT_EQ(opened, 1);
}

// Commands wait while a send dialog's work runs, so that their windows cannot hold it up; quitting
// opens none and must not wait for an upload that may take minutes.
TEST(TrayDialogTest, EachCommandRunsItsRunnerAndOnlyQuitDoesNotWaitForWork) {
    const struct {
        const char* text;
        void (TrayDialog::*setRunner)(std::function<void()>);
    } runners[] = {
        {"Send Cover Only Fax...", &TrayDialog::SetSendDialogRunner},
        {"Show &Configuration", &TrayDialog::SetConfigurationRunner},
        {"Check for Updates...", &TrayDialog::SetUpdateCheckRunner},
        {"Fax Log...", &TrayDialog::SetFaxLogRunner},
        {"Contacts...", &TrayDialog::SetContactsRunner},
        {"Quit Quill Post", &TrayDialog::SetQuitRunner},
    };
    TrayDialog tray;
    std::vector<std::string> ran;
    for (const auto& r : runners)
        (tray.*r.setRunner)([&ran, &r] { ran.push_back(r.text); });
    for (QAction* action : tray.Menu().actions()) {
        const std::string text = action->text().toStdString();
        if (action->isSeparator() || text == "About Quill Post ...")
            continue;
        SCOPED_TRACE(text);
        ran.clear();
        {
            qp::GuiWorkScope work;
            action->trigger();
            QCoreApplication::sendPostedEvents();
            EXPECT_EQ(ran.size(), text == "Quit Quill Post" ? 1u : 0u);
        }
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(ran, std::vector<std::string>{text});
    }
}

TEST(TrayDialogTest, WithoutATrayHostNoBalloonIsClaimedAndItSaysOnceThatNoTrayHoldsIt) {
    // The offscreen platform, like stock GNOME, has no tray host.
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    testing::internal::CaptureStderr();
    TrayDialog tray;
    // A balloon that goes nowhere is not claimed, so the notice can take another way.
    EXPECT_FALSE(tray.ShowNotification("Quill Post", "Fax sent"));
    tray.SetIconShown(false);
    EXPECT_FALSE(tray.ShowNotification("Quill Post", "Fax sent"));
    tray.SetIconShown(true);
    EXPECT_TRUE(tray.Icon().isVisible());
    EXPECT_FALSE(tray.ShowNotification("Quill Post", "Fax sent"));
    const std::string err = testing::internal::GetCapturedStderr();
    // Qt adds warnings of its own; ours comes exactly once.
    const std::string line = "Quillpost: no system tray is available;";
    ASSERT_NE(err.find(line), std::string::npos) << err;
    EXPECT_EQ(err.find(line, err.find(line) + 1), std::string::npos) << err;
}

} // namespace
