// A quit signal (logout, shutdown, Ctrl+C) during start-up: a modal window open then closes,
// start-up takes no further step (no watcher, no send dialog) and the client ends in order with
// exit code 0.
#include "app/QuillpostApp.h"
#include "app/StartupServices.h"
#include "platform/gui/QtMessageSink.h"
#include "tests/support/ModalHelpers.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <ostream>

namespace {

void OpenModalDialog() {
    QDialog dialog;
    dialog.exec();
}

// Records the steps; the step named in `during` runs its action as it is taken.
class StepServices final : public qp::StartupServices {
public:
    std::vector<std::string> calls;
    std::map<std::string, std::function<void()>> during;

    void RunUpdate(const std::string&) override { Step("update"); }
    void RunInitialConfig() override { Step("initial-config"); }
    bool RunFaxLog() override {
        Step("log");
        return false;
    }
    void CreateTrayWindow() override { Step("tray"); }
    std::string FindFaxPrinterPort() override {
        Step("find-port");
        return {};
    }
    void SetDefaultViewer() override { Step("viewer"); }
    // The first-use dialog, modal as the real one.
    void RunPreferences() override { Step("preferences"); }
    bool StartWatcher(const std::string&) override {
        Step("watcher");
        return true;
    }
    void Shutdown() override { Step("shutdown"); }

private:
    void Step(const std::string& name) {
        calls.push_back(name);
        if (const auto action = during.find(name); action != during.end())
            action->second();
    }
};

enum class QuitWhile { FirstUseDialog, SpoolMessageBox, PortLookup };

struct Case {
    const char* what;
    QuitWhile quitWhile;
    std::vector<std::string> steps;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.what;
}

const Case kCases[] = {
    {"the first-use dialog is open",
     QuitWhile::FirstUseDialog,
     {"tray", "find-port", "viewer", "preferences", "shutdown"}},
    {"a message box is open", QuitWhile::SpoolMessageBox, {"tray", "find-port", "shutdown"}},
    {"a step runs outside any event loop",
     QuitWhile::PortLookup,
     {"tray", "find-port", "shutdown"}},
};

class StartupEndTest : public ::testing::TestWithParam<Case> {
protected:
    ~StartupEndTest() override {
        // Ending every event loop ends, at once, each one started later until the application's
        // own loop has run: the next test's windows need theirs.
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }

    qp::test::TempUserEnvironment m_env;
    qp::QtMessageSink m_boxes;
};

TEST_P(StartupEndTest, AQuitSignalEndsStartUpInOrderWithExitCodeZero) {
    const Case& c = GetParam();
    StepServices services;
    std::optional<qp::test::ScopedEnv> noSpool;
    std::optional<qp::ScopedMessageSink> boxesOnScreen;
    switch (c.quitWhile) {
    case QuitWhile::FirstUseDialog:
        services.during["preferences"] = OpenModalDialog;
        qp::test::WhenModalOpens([](QDialog&) { std::raise(SIGTERM); });
        break;
    case QuitWhile::SpoolMessageBox:
        noSpool.emplace("QUILLPOST_COMMON_DIR", m_env.home.File("absent"));
        boxesOnScreen.emplace(m_boxes);
        qp::test::WhenModalOpens([](QDialog&) { std::raise(SIGTERM); });
        break;
    case QuitWhile::PortLookup:
        services.during["find-port"] = [] { std::raise(SIGTERM); };
        break;
    }

    CQuillpostApp app("");
    EXPECT_EQ(app.Run(services), 0);
    EXPECT_EQ(services.calls, c.steps);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Moments, StartupEndTest, ::testing::ValuesIn(kCases),
                         qp::test::CaseName());

} // namespace
