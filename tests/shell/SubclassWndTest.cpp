#include "shell/SubclassWnd.h"
#include "tests/shell/CoreApp.h"
#include "tests/shell/RecordingWindow.h"

#include <gtest/gtest.h>
#include <memory>

using qp::test::RecordingWindow;

namespace {

const QEvent::Type kProbe = static_cast<QEvent::Type>(QEvent::registerEventType());

class NamedHook final : public qp::CSubclassWnd {
public:
    NamedHook(std::string name, std::vector<std::string>& log, bool swallow = false)
        : m_name(std::move(name)), m_log(log), m_swallow(swallow) {}

protected:
    bool ProcessMessage(QEvent* event) override {
        if (event->type() == kProbe)
            m_log.push_back(m_name);
        return m_swallow || CSubclassWnd::ProcessMessage(event);
    }

private:
    std::string m_name;
    std::vector<std::string>& m_log;
    bool m_swallow;
};

class SubclassWndTest : public ::testing::Test {
protected:
    void SetUp() override { qp::test::EnsureCoreApplication(); }

    std::vector<std::string> Probe(QObject& window) {
        m_log.clear();
        QEvent probe(kProbe);
        QCoreApplication::sendEvent(&window, &probe);
        return m_log;
    }

    std::vector<std::string> m_log;
    NamedHook m_older{"older", m_log};
    NamedHook m_newer{"newer", m_log};
    using Log = std::vector<std::string>;
};

TEST_F(SubclassWndTest, NewestHookSeesEachEventFirstThenTheOlderThenTheWindow) {
    RecordingWindow window(&m_log);
    EXPECT_TRUE(m_older.Hook(&window));
    EXPECT_TRUE(m_newer.Hook(&window));
    EXPECT_EQ(Probe(window), (Log{"newer", "older", "window"}));
    EXPECT_EQ(m_newer.HookedWindow(), &window);
}

TEST_F(SubclassWndTest, EitherHookCanLeaveAndTheOtherKeepsWorking) {
    RecordingWindow window(&m_log);
    m_older.Hook(&window);
    m_newer.Hook(&window);
    m_older.Hook(nullptr);
    EXPECT_FALSE(m_older.IsHooked());
    EXPECT_EQ(Probe(window), (Log{"newer", "window"}));

    m_older.Hook(&window);
    m_newer.Hook(nullptr);
    EXPECT_EQ(Probe(window), (Log{"older", "window"}));

    m_older.Hook(nullptr);
    EXPECT_EQ(Probe(window), (Log{"window"}));
    EXPECT_FALSE(m_older.IsHooked());
    EXPECT_FALSE(m_newer.IsHooked());
}

TEST_F(SubclassWndTest, AHookThatSwallowsAnEventStopsItThere) {
    RecordingWindow window(&m_log);
    NamedHook swallowing("swallowing", m_log, true);
    m_older.Hook(&window);
    swallowing.Hook(&window);
    EXPECT_EQ(Probe(window), (Log{"swallowing"}));
}

TEST_F(SubclassWndTest, DestroyingTheWindowUnhooksEveryHook) {
    auto window = std::make_unique<RecordingWindow>(&m_log);
    m_older.Hook(window.get());
    m_newer.Hook(window.get());
    window.reset();
    EXPECT_FALSE(m_older.IsHooked());
    EXPECT_FALSE(m_newer.IsHooked());
    EXPECT_EQ(m_newer.HookedWindow(), nullptr);

    // Unhooked hooks can serve a new window.
    RecordingWindow next(&m_log);
    m_older.Hook(&next);
    EXPECT_EQ(Probe(next), (Log{"older", "window"}));
}

TEST_F(SubclassWndTest, DestroyedHookNoLongerSeesItsWindow) {
    RecordingWindow window(&m_log);
    m_older.Hook(&window);
    {
        NamedHook shortLived("short", m_log);
        shortLived.Hook(&window);
        EXPECT_EQ(Probe(window), (Log{"short", "older", "window"}));
    }
    EXPECT_EQ(Probe(window), (Log{"older", "window"}));
}

TEST_F(SubclassWndTest, AHookMovedToAnotherWindowLeavesTheFirst) {
    RecordingWindow first(&m_log);
    RecordingWindow second(&m_log);
    m_older.Hook(&first);
    m_older.Hook(&second);
    EXPECT_EQ(Probe(first), (Log{"window"}));
    EXPECT_EQ(Probe(second), (Log{"older", "window"}));
}

} // namespace
