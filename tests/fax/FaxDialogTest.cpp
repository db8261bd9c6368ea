#include "fax/FaxDialog.h"
#include "app/QuillpostApp.h"
#include "app/Settings.h"
#include "fax/UploadProgressBar.h"
#include "platform/ControlLookup.h"
#include "platform/GuiThread.h"
#include "platform/Profile.h"
#include "shell/TrayDialog.h"
#include "shell/TrayEvents.h"
#include "tests/fax/support/ChildProcess.h"
#include "tests/fax/support/Loopback.h"
#include "tests/fax/support/SamplePostScript.h"
#include "tests/shell/FakeTrayBackend.h"
#include "tests/support/GuiChecks.h"
#include "tests/support/TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QWindow>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace qp::settings;
using qp::test::FakeClock;
using qp::test::FaxdProcess;
using qp::test::ReadFile;
using qp::test::RecordingMessageSink;
using qp::test::ScopedEnv;
using qp::test::TempDir;
using qp::test::WriteFile;

namespace {

using qp::test::WaitUntil;

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

    using qp::ProcessRunner::RunAndWait;
    qp::ProcessResult RunAndWait(const std::vector<std::string>& argv,
                                 std::stop_token stop) override {
        ++conversions;
        if (std::function<void()> hook = std::exchange(duringNextConversion, nullptr))
            hook();
        return qp::SystemProcessRunner().RunAndWait(argv, stop);
    }
    bool StartDetached(const std::vector<std::string>&, const std::string&) override {
        ++viewerStarts;
        return true;
    }
};

// The fake clock, with a hook run once on the first reading taken off the GUI thread: the upload
// reads it for its first progress report, after the server has accepted the announcement.
class HookedClock final : public qp::Clock {
public:
    mutable std::function<void()> onWorkerReading;
    // Run once on the first pause taken off the GUI thread: the conversion's, after Ghostscript.
    std::function<void()> onWorkerSleep;
    TimePoint Now() const override {
        if (!qp::IsGuiThread()) {
            if (std::function<void()> hook = std::exchange(onWorkerReading, nullptr))
                hook();
        }
        return m_fake.Now();
    }
    void SleepMs(int milliseconds) override {
        if (!qp::IsGuiThread()) {
            if (std::function<void()> hook = std::exchange(onWorkerSleep, nullptr))
                hook();
        }
        m_fake.SleepMs(milliseconds);
    }

private:
    FakeClock m_fake;
};

// Ghostscript processes this test process has started and not yet reaped.
std::vector<pid_t> GhostscriptChildren() {
    std::vector<pid_t> children;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        std::ifstream stat(entry.path() / "stat");
        pid_t pid = 0, parent = 0;
        std::string name;
        char state = 0;
        if (stat >> pid >> name >> state >> parent && name == "(gs)" && parent == ::getpid())
            children.push_back(pid);
    }
    return children;
}

// Whether the kernel lists a handshake to `port` that is still unanswered (state SYN_SENT).
bool HandshakeWaiting(int port) {
    std::ifstream table("/proc/net/tcp");
    std::string line, slot, local, peer;
    int state = 0;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream(line) >> slot >> local >> peer >> std::hex >> state;
        if (state == 0x02 && std::stoi(peer.substr(peer.find(':') + 1), nullptr, 16) == port)
            return true;
    }
    return false;
}

// A fax server that never answers a handshake: a listener with a backlog of 0 that never accepts,
// its one place in the queue taken.
class UnansweringServer {
public:
    UnansweringServer()
        : m_listener(qp::test::ListenOnLoopback(m_port, 0)),
          m_filler(qp::test::ConnectToLoopback(m_port)) {}
    ~UnansweringServer() {
        ::close(m_filler);
        ::close(m_listener);
    }
    int Port() const { return m_port; }

private:
    int m_port = 0;
    int m_listener;
    int m_filler;
};

// Where a send dialog is busy when the user stops it; ConversionEnd is after Ghostscript has
// finished its image.
enum class BusyPhase { Conversion, ConversionEnd, Handshake, Upload };
// How a user stops a busy dialog; a delayed click (an accelerator's) reaches Cancel directly.
enum class StopGesture { CloseBox, Escape, CancelButton, CancelAccelerator, DelayedCancelClick };

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
    void Perform(FaxDialog& dialog, StopGesture gesture) {
        switch (gesture) {
        case StopGesture::CloseBox:
            dialog.windowHandle()->close();
            break;
        case StopGesture::Escape:
            QTest::keyClick(&dialog, Qt::Key_Escape);
            break;
        case StopGesture::CancelButton:
            Click(dialog, 2);
            break;
        case StopGesture::CancelAccelerator:
            QTest::keyClick(&dialog, Qt::Key_C, Qt::AltModifier);
            break;
        case StopGesture::DelayedCancelClick:
            Control<QPushButton>(dialog, 2)->click();
            break;
        }
    }

    TempDir m_home;
    ScopedEnv m_homeEnv{"HOME", m_home.Path()};
    ScopedEnv m_xdg{"XDG_CONFIG_HOME", m_home.Path() + "/config"};
    std::string m_spool = MakeFolder(m_home.Path() + "/spool");
    ScopedEnv m_common{"QUILLPOST_COMMON_DIR", m_spool};
    RecordingMessageSink m_messages;
    qp::ScopedMessageSink m_sink{m_messages};
    HookedClock m_clock;
    CountingRunner m_runner;
    FaxdProcess m_server{m_home.Path(), "5550100 2468\n"};
    CQuillpostApp m_app{"", nullptr, m_runner};
    qp::test::FakeTrayBackend m_trayBackend;
};

} // namespace

TEST_F(FaxDialogTest, OpensAsTheSendTemplateWithEveryNumberedControl) {
    FaxDialog dialog(m_app, nullptr, m_clock);
    EXPECT_EQ(dialog.windowTitle(), "Quill Post");
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(qp::test::LooksFixedSize(dialog));
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

TEST_F(FaxDialogTest, CancelEscapeOrTheCloseBoxStopAConversionOrUploadAndCancel) {
    UnansweringServer unanswering;
    std::vector<qp::faxlog::Outcome> logged;
    FaxDialog::SetAttemptRecorder([&](CQuillpostApp&, const qp::faxlog::SendAttempt& attempt) {
        EXPECT_FALSE(qp::IsGuiThread()) << "the log copies the work files off the GUI thread";
        logged.push_back(attempt.outcome);
    });
    for (const BusyPhase phase : {BusyPhase::Conversion, BusyPhase::ConversionEnd,
                                  BusyPhase::Handshake, BusyPhase::Upload}) {
        for (const StopGesture gesture :
             {StopGesture::CloseBox, StopGesture::Escape, StopGesture::CancelButton,
              StopGesture::CancelAccelerator, StopGesture::DelayedCancelClick}) {
            SCOPED_TRACE(testing::Message() << "phase " << static_cast<int>(phase) << " gesture "
                                            << static_cast<int>(gesture));
            // A document that never ends converting keeps Ghostscript busy until it is killed.
            WriteFile(m_app.m_bodyFile, phase == BusyPhase::Conversion
                                            ? std::string("%!PS\n{} loop\n")
                                            : qp::test::TextPostScript(1));
            const int port = phase == BusyPhase::Handshake ? unanswering.Port() : m_server.Port();
            m_app.SetAccount({"127.0.0.1", port, "5550100", "2468", ""});
            FaxDialog dialog(m_app, nullptr, m_clock);
            dialog.show();
            Click(dialog, 1001);
            TypeNumber(dialog, "5551234567");
            const auto stop = [&] { Perform(dialog, gesture); };
            const std::function<bool()> waiting = [&] {
                return phase == BusyPhase::Conversion ? !GhostscriptChildren().empty()
                                                      : HandshakeWaiting(port);
            };
            std::thread stopper;
            bool waitEnded = true;
            logged.clear();
            if (phase == BusyPhase::Upload) {
                m_clock.onWorkerReading = [&] { qp::RunOnGuiThread(stop); };
            } else if (phase == BusyPhase::ConversionEnd) {
                m_clock.onWorkerSleep = [&] { qp::RunOnGuiThread(stop); };
            } else {
                m_runner.duringNextConversion = [&] {
                    stopper = std::thread([&] {
                        WaitUntil(waiting);
                        QMetaObject::invokeMethod(&dialog, stop, Qt::QueuedConnection);
                        // Should the gesture not stop it, end Ghostscript here so the test fails
                        // rather than waits for ever.
                        waitEnded = WaitUntil([&] { return !waiting(); });
                        if (!waitEnded) {
                            for (pid_t child : GhostscriptChildren())
                                ::kill(child, SIGKILL);
                        }
                    });
                };
            }
            Click(dialog, 1);
            if (stopper.joinable())
                stopper.join();

            EXPECT_TRUE(waitEnded);
            EXPECT_FALSE(dialog.isVisible());
            EXPECT_EQ(dialog.result(), QDialog::Rejected);
            EXPECT_EQ(qp::Profile().GetString(kSection, kResolution, ""), "normal");
            EXPECT_TRUE(m_messages.Texts().empty());
            EXPECT_TRUE(GhostscriptChildren().empty());
            EXPECT_FALSE(std::filesystem::exists(m_home.File(".fx.hs")));
            EXPECT_EQ(logged, std::vector<qp::faxlog::Outcome>{qp::faxlog::Outcome::NotSent});
        }
    }
    FaxDialog::SetAttemptRecorder(nullptr);
    EXPECT_TRUE(m_server.Stored(".tif").empty());
}

TEST_F(FaxDialogTest, ASecondSendDialogAskedForDuringTheWorkOpensOnceTheFirstHasReported) {
    TrayDialog tray(m_app, std::make_unique<qp::test::BorrowedTrayBackend>(m_trayBackend));
    tray.SetSendDialogRunner([this] { RunFaxDialog(m_app); });
    for (const bool duringUpload : {false, true}) {
        for (const bool fromTray : {false, true}) {
            SCOPED_TRACE(testing::Message() << "upload " << duringUpload << " tray " << fromTray);
            WriteFile(m_app.m_bodyFile, qp::test::TextPostScript(1));
            m_runner.viewerStarts = 0;
            FaxDialog first(m_app, nullptr, m_clock);
            first.show();
            TypeNumber(first, "5551234567");

            // What the first dialog had reported when the second opened; the second then closes.
            std::atomic<bool> opened = false;
            bool closed = false;
            std::string reported;
            qp::test::EventWatch watch([&](QObject* object, QEvent* event) {
                auto* second = dynamic_cast<FaxDialog*>(object);
                if (second == nullptr || second == &first)
                    return;
                if (event->type() == QEvent::Show && !opened) {
                    reported = Control<QLineEdit>(first, 1007)->text().toStdString() + "|" +
                               std::to_string(first.ImageReady()) + "|" +
                               std::to_string(m_runner.viewerStarts);
                    opened = true;
                    QMetaObject::invokeMethod(second, &QDialog::reject, Qt::QueuedConnection);
                } else if (event->type() == QEvent::Hide && opened) {
                    closed = true;
                }
            });

            std::size_t waitingDuringWork = 0;
            std::thread watcher;
            const std::function<void()> askForSecond = [&] {
                if (fromTray) {
                    qp::RunOnGuiThread([&] {
                        qp::CommandEvent command(32773);
                        QCoreApplication::sendEvent(&tray, &command);
                    });
                } else {
                    watcher = std::thread([&] { RunFaxDialog(m_app); });
                    WaitUntil([&] { return qp::DeferredGuiRequests() > 0 || opened; });
                }
                waitingDuringWork = qp::DeferredGuiRequests();
            };
            if (duringUpload)
                m_clock.onWorkerReading = askForSecond;
            else
                m_runner.duringNextConversion = askForSecond;
            Click(first, duringUpload ? 1 : 1004);

            EXPECT_EQ(waitingDuringWork, 1u);
            EXPECT_TRUE(QTest::qWaitFor([&] { return closed; }, 20000));
            if (watcher.joinable())
                watcher.join();
            EXPECT_EQ(reported, duringUpload ? "Fax uploaded.|1|0" : "|1|1");
            EXPECT_TRUE(m_messages.Texts().empty());
        }
    }
}

TEST_F(FaxDialogTest, TickingLegalSizeAfterAPreviewMakesTheImageStale) {
    FaxDialog dialog(m_app, nullptr, m_clock);
    dialog.show();
    Click(dialog, 1004);
    EXPECT_TRUE(dialog.ImageReady());
    Click(dialog, 1019);
    EXPECT_FALSE(dialog.ImageReady());
}

// An accelerator's click arrives a moment after its key, so it can land while the dialog is busy;
// clicks held back during the upload reach a dialog that has already closed.
TEST_F(FaxDialogTest, ClicksLandingWhileBusyStartNoSecondConversionOrUpload) {
    int coverSheets = 0;
    FaxDialog::SetCoverSheetRunner([&](CQuillpostApp&, QWidget*) { ++coverSheets; });
    FaxDialog dialog(m_app, nullptr, m_clock);
    dialog.show();
    TypeNumber(dialog, "5551234567");
    m_runner.duringNextConversion = [&] {
        qp::RunOnGuiThread([&] {
            Control<QPushButton>(dialog, 1004)->click();
            Control<QPushButton>(dialog, 1)->click();
        });
    };
    m_clock.onWorkerReading = [&] {
        qp::RunOnGuiThread([&] {
            for (const int id : {1011, 1004, 1})
                Click(dialog, id);
        });
    };
    Click(dialog, 1);
    QCoreApplication::processEvents();
    FaxDialog::SetCoverSheetRunner(nullptr);
    EXPECT_EQ(m_runner.conversions, 1);
    EXPECT_EQ(m_runner.viewerStarts, 0);
    EXPECT_EQ(coverSheets, 0);
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

TEST(UploadProgressBar, AnEmptyImageShowsAnEmptyBarNotABusyIndicator) {
    QProgressBar bar;
    FakeClock clock;
    qp::ProgressBarReporter(&bar, clock)(0, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(bar.minimum(), 0);
    EXPECT_EQ(bar.maximum(), 1);
    EXPECT_EQ(bar.value(), 0);
}
