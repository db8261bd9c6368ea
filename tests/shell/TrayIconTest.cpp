#include "shell/TrayIcon.h"
#include "res/Features.h"
#include "shell/TrayHostState.h"
#include "tests/shell/CoreApp.h"
#include "tests/shell/FakeTrayBackend.h"
#include "tests/shell/RecordingWindow.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <memory>

using qp::CTrayIcon;
using qp::TrayAction;
using qp::TrayNotifyEvent;
using qp::test::FakeTrayBackend;
using qp::test::RecordingWindow;

namespace {

constexpr int kCallback = QEvent::User;

class TrayIconTest : public ::testing::Test {
protected:
    void SetUp() override { qp::test::EnsureCoreApplication(); }

    void Notify(int id, int mouseEvent) {
        TrayNotifyEvent event(kCallback, id, mouseEvent);
        QCoreApplication::sendEvent(&m_window, &event);
    }

    FakeTrayBackend m_backend;
    RecordingWindow m_window;
    qp::test::RecordingMessageSink m_messages;
    qp::ScopedMessageSink m_sink{m_messages};
    std::unique_ptr<CTrayIcon> m_icon = std::make_unique<CTrayIcon>(135, m_backend);
};

TEST_F(TrayIconTest, FirstIconIsAddedThenModifiedWithTooltipAndCallback) {
    EXPECT_TRUE(m_icon->Record().tip.empty()) << "there is no string 135";
    m_icon->SetNotifyTarget(&m_window, kCallback);
    EXPECT_TRUE(m_backend.calls.empty());

    ASSERT_TRUE(m_icon->SetIconById(130));
    ASSERT_TRUE(m_icon->SetIconById(130));
    ASSERT_EQ(m_backend.calls.size(), 2u);
    EXPECT_EQ(m_backend.calls[0].action, TrayAction::Add);
    EXPECT_EQ(m_backend.calls[1].action, TrayAction::Modify);
    for (const auto& call : m_backend.calls) {
        EXPECT_EQ(call.data.id, 135);
        EXPECT_EQ(call.data.icon, 130u);
        EXPECT_EQ(call.data.tip, "Quill Post");
        EXPECT_EQ(call.data.window, &m_window);
        EXPECT_EQ(call.data.callbackMessage, kCallback);
        EXPECT_EQ(call.data.flags, qp::kTrayFlagMessage | qp::kTrayFlagIcon | qp::kTrayFlagTip);
    }
    EXPECT_TRUE(m_icon->IsShown());
}

TEST_F(TrayIconTest, RemovingAnIconThatIsNotShownNeverAsksTheTray) {
    EXPECT_TRUE(m_icon->SetIconById(0));
    EXPECT_TRUE(m_icon->SetIconHandle(0));
    EXPECT_TRUE(m_icon->SetIconById(999)) << "an icon that cannot be loaded means none";
    EXPECT_TRUE(m_backend.calls.empty());
}

TEST_F(TrayIconTest, DeleteClearsTheShownStateSoTheNextIconIsAddedAnew) {
    m_icon->SetIconById(130);
    ASSERT_TRUE(m_icon->SetIconById(0));
    EXPECT_EQ(m_backend.calls.back().action, TrayAction::Delete);
    EXPECT_FALSE(m_icon->IsShown());

    m_icon->SetIconById(130);
    m_icon->SetIconById(999);
    EXPECT_EQ(m_backend.calls.back().action, TrayAction::Delete)
        << "an unloadable icon removes the shown one";

    m_icon->SetIconHandle(131, "Other tip");
    EXPECT_EQ(m_backend.calls.back().action, TrayAction::Add);
    EXPECT_EQ(m_backend.calls.back().data.tip, "Other tip");
}

TEST_F(TrayIconTest, RefusedAddLeavesTheIconNotShown) {
    m_backend.refuse = true;
    EXPECT_FALSE(m_icon->SetIconById(130));
    EXPECT_FALSE(m_icon->IsShown());
    m_backend.refuse = false;
    EXPECT_TRUE(m_icon->SetIconById(130));
    EXPECT_EQ(m_backend.calls.back().action, TrayAction::Add);

    m_backend.refuse = true;
    EXPECT_FALSE(m_icon->SetIconById(130));
    EXPECT_EQ(m_backend.calls.back().action, TrayAction::Modify);
    EXPECT_FALSE(m_icon->IsShown()) << "a refused change also counts as not shown";
}

TEST_F(TrayIconTest, TooltipIsCutToWhatTheRecordHolds) {
    m_icon->SetIconHandle(130, std::string(200, 'x').c_str());
    EXPECT_EQ(m_backend.calls.back().data.tip.size(), 127u);
    // Never half a character: "é" is two bytes and would straddle the limit.
    m_icon->SetIconHandle(130, (std::string(126, 'x') + "\xc3\xa9").c_str());
    EXPECT_EQ(m_backend.calls.back().data.tip, std::string(126, 'x'));
}

TEST_F(TrayIconTest, TrayRestartAddsTheIconAgainWithTheSameTooltip) {
    m_icon->SetNotifyTarget(&m_window, kCallback);
    QEvent restart(qp::TaskbarCreatedEventType());
    QCoreApplication::sendEvent(&m_window, &restart);
    EXPECT_TRUE(m_backend.calls.empty()) << "no icon shown, nothing to restore";

    m_icon->SetIconById(130);
    QCoreApplication::sendEvent(&m_window, &restart);
    ASSERT_EQ(m_backend.calls.size(), 2u);
    EXPECT_EQ(m_backend.calls[1].action, TrayAction::Add);
    EXPECT_EQ(m_backend.calls[1].data.tip, "Quill Post");
    EXPECT_EQ(m_backend.calls[1].data.icon, 130u);
    EXPECT_TRUE(m_icon->IsShown());
}

TEST_F(TrayIconTest, OnlyRightReleaseAndDoubleClickOnOurIconDoAnything) {
    m_icon->SetNotifyTarget(&m_window, kCallback);
    m_icon->SetIconById(130);

    Notify(136, qp::mouse::kRightButtonUp);
    Notify(135, qp::mouse::kLeftButtonUp);
    Notify(135, qp::mouse::kMiddleButtonUp);
    EXPECT_TRUE(m_backend.popups.empty());
    EXPECT_TRUE(m_window.commands.empty());
    EXPECT_EQ(m_window.types.size(), 3u) << "every callback still reaches the window";

    Notify(135, qp::mouse::kLeftButtonDoubleClick);
    EXPECT_EQ(m_window.commands, std::vector<int>{32773}) << "the first command, at once";
    EXPECT_TRUE(m_backend.popups.empty());

    Notify(135, qp::mouse::kRightButtonUp);
    ASSERT_EQ(m_backend.popups.size(), 1u);
    const auto& shown = m_backend.popups[0];
    EXPECT_EQ(shown.defaultPosition, 0);
    EXPECT_EQ(shown.owner, &m_window);
    ASSERT_EQ(shown.popup.items.size(), QUILLPOST_SELF_UPDATE ? 9u : 8u);
    EXPECT_EQ(shown.popup.items[0].text, "Send Cover Only Fax...");
    EXPECT_EQ(shown.popup.items[1].text, "Show &Configuration");
    EXPECT_TRUE(shown.popup.items[2].IsSeparator());
    EXPECT_EQ(shown.popup.items[3].text, "About Quill Post ...");
    const auto last = shown.popup.items.end();
    EXPECT_EQ(last[-4].text, "Fax Log...");
    EXPECT_EQ(last[-3].text, "Contacts...");
    EXPECT_TRUE(last[-2].IsSeparator());
    EXPECT_EQ(last[-1].text, "Quit Quill Post");
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(TrayIconTest, NotificationsGoToTheShownIconOnceAndAreClipped) {
    m_icon->SetNotifyTarget(&m_window, kCallback);
    EXPECT_FALSE(m_icon->ShowBalloon("Quill Post", "not shown yet"));
    EXPECT_TRUE(m_backend.calls.empty());

    m_icon->SetIconById(130);
    ASSERT_TRUE(m_icon->ShowBalloon("Quill Post", "Fax sent to (555) 123-4567: 3 pages"));
    const auto& shown = m_backend.calls.back();
    EXPECT_EQ(shown.action, TrayAction::Modify);
    EXPECT_EQ(shown.data.flags,
              qp::kTrayFlagMessage | qp::kTrayFlagIcon | qp::kTrayFlagTip | qp::kTrayFlagInfo);
    EXPECT_EQ(shown.data.infoTitle, "Quill Post");
    EXPECT_EQ(shown.data.info, "Fax sent to (555) 123-4567: 3 pages");
    EXPECT_EQ(shown.data.tip, "Quill Post");

    m_icon->ShowBalloon(std::string(100, 't'), std::string(300, 'x'));
    EXPECT_EQ(m_backend.calls.back().data.infoTitle.size(), qp::kTrayInfoTitleMax);
    EXPECT_EQ(m_backend.calls.back().data.info.size(), qp::kTrayInfoMax);

    m_icon->SetIconById(130);
    EXPECT_EQ(m_backend.calls.back().data.flags & qp::kTrayFlagInfo, 0u);
    EXPECT_TRUE(m_backend.calls.back().data.info.empty());
}

TEST_F(TrayIconTest, MissingMenuIsReportedAndAnEmptyMenuDoesNothing) {
    m_icon->SetNotifyTarget(&m_window, kCallback);
    m_backend.menuMissing = true;
    Notify(135, qp::mouse::kRightButtonUp);
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{"Could not load menu"});

    m_backend.menuMissing = false;
    m_backend.menuEmpty = true;
    Notify(135, qp::mouse::kLeftButtonDoubleClick);
    EXPECT_TRUE(m_window.commands.empty());
    EXPECT_EQ(m_messages.Texts().size(), 1u);
}

TEST_F(TrayIconTest, DestroyingTheIconRemovesItAndItsHook) {
    m_icon->SetNotifyTarget(&m_window, kCallback);
    m_icon->SetIconById(130);
    m_icon.reset();
    EXPECT_EQ(m_backend.calls.back().action, TrayAction::Delete);
    Notify(135, qp::mouse::kLeftButtonDoubleClick);
    EXPECT_TRUE(m_window.commands.empty());
}

TEST_F(TrayIconTest, TargetInsideAnotherWindowAlsoHearsOfTrayRestartsThroughItsParent) {
    RecordingWindow top;
    auto* child = new RecordingWindow(nullptr, &top);
    m_icon->SetNotifyTarget(child, kCallback);
    m_icon->SetIconById(130);
    QEvent restart(qp::TaskbarCreatedEventType());
    QCoreApplication::sendEvent(&top, &restart);
    EXPECT_EQ(m_backend.calls.back().action, TrayAction::Add);
    EXPECT_EQ(m_backend.calls.size(), 2u);

    // Mouse events count only on the notification window itself.
    TrayNotifyEvent onParent(kCallback, 135, qp::mouse::kLeftButtonDoubleClick);
    QCoreApplication::sendEvent(&top, &onParent);
    EXPECT_TRUE(top.commands.empty());
    EXPECT_TRUE(child->commands.empty());
    m_icon.reset();
}

TEST(TrayHostState, MissingTrayIsReportedOnceAndItsReturnRestoresTheIcons) {
    qp::TrayHostState state;
    auto step = state.Observe(false);
    EXPECT_TRUE(step.reportMissing);
    EXPECT_FALSE(step.restart);
    step = state.Observe(false);
    EXPECT_FALSE(step.reportMissing);
    step = state.Observe(true);
    EXPECT_TRUE(step.restart);
    step = state.Observe(true);
    EXPECT_FALSE(step.restart);
    step = state.Observe(false);
    EXPECT_FALSE(step.reportMissing) << "said once for the whole run";
    EXPECT_TRUE(state.Observe(true).restart);
}

TEST(TrayHostState, TrayPresentFromTheStartNeedsNothing) {
    qp::TrayHostState state;
    const auto step = state.Observe(true);
    EXPECT_FALSE(step.reportMissing);
    EXPECT_FALSE(step.restart);
}

} // namespace
