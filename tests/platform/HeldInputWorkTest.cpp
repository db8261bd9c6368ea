#include "platform/HeldInputWork.h"
#include "platform/GuiThread.h"
#include "platform/MessageBox.h"
#include "platform/QtMessageSink.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>

namespace {

struct Gate {
    std::mutex mutex;
    std::condition_variable cv;
    bool open = false;
    void Open() {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        cv.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait(lock, [&] { return open; });
    }
};

} // namespace

TEST(HeldInputWork, ClicksOnTheBusyWindowWaitUntilTheWorkHasReturned) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* button = new QPushButton("Send", &window);
    layout->addWidget(button);
    QPushButton elsewhere("Other");
    window.show();
    elsewhere.show();

    std::atomic<int> clicks{0};
    std::atomic<int> otherClicks{0};
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    QObject::connect(&elsewhere, &QPushButton::clicked, [&] { ++otherClicks; });

    Gate gate;
    int clicksSeenByWork = -1;
    int otherClicksSeenByWork = -1;
    QTimer::singleShot(0, [&] {
        QTest::mouseClick(button, Qt::LeftButton);
        QTest::mouseClick(&elsewhere, Qt::LeftButton);
        gate.Open();
    });
    qp::RunHoldingInput(&window, [&] {
        gate.Wait();
        clicksSeenByWork = clicks;
        otherClicksSeenByWork = otherClicks;
    });
    EXPECT_EQ(clicksSeenByWork, 0);
    EXPECT_EQ(otherClicksSeenByWork, 1);

    QCoreApplication::processEvents();
    EXPECT_EQ(clicks, 1);
}

TEST(HeldInputWork, WorkerMayAskTheGuiThreadForAMessageBox) {
    qp::test::RecordingMessageSink sink;
    qp::ScopedMessageSink scoped(sink);
    QWidget window;
    qp::RunHoldingInput(&window, [] { qp::ShowMessage("from the worker"); });
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"from the worker"});
}

TEST(HeldInputWork, ExceptionsFromTheWorkReachTheCaller) {
    QWidget window;
    EXPECT_THROW(qp::RunHoldingInput(&window, [] { throw std::runtime_error("x"); }),
                 std::runtime_error);
}

TEST(HeldInputWork, TheCloseBoxOfTheBusyWindowTakesEffectOnlyAfterTheWork) {
    QDialog window;
    window.show();
    Gate gate;
    bool visibleAfterCloseBox = false;
    QTimer::singleShot(0, [&] {
        window.windowHandle()->close();
        visibleAfterCloseBox = window.isVisible();
        gate.Open();
    });
    bool visibleWhenWorkEnded = false;
    qp::RunHoldingInput(&window, [&] {
        gate.Wait();
        qp::RunOnGuiThread([&] { visibleWhenWorkEnded = window.isVisible(); });
    });
    EXPECT_TRUE(visibleAfterCloseBox);
    EXPECT_TRUE(visibleWhenWorkEnded);

    QCoreApplication::processEvents();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Rejected);
}

TEST(HeldInputWork, InputForAControlDeletedMeanwhileIsDropped) {
    QWidget window;
    auto* button = new QPushButton("Send", &window);
    window.show();
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });

    Gate gate;
    QTimer::singleShot(0, [&] {
        QTest::mouseClick(button, Qt::LeftButton);
        delete button;
        gate.Open();
    });
    qp::RunHoldingInput(&window, [&] { gate.Wait(); });
    QCoreApplication::processEvents();
    EXPECT_EQ(clicks, 0);
}

// The tray client quits while a send is busy: the work must still reach the GUI thread (its message
// boxes go there), and the caller must get control back instead of waiting forever.
TEST(HeldInputWork, WorkStillReachesTheGuiThreadAfterTheApplicationWasToldToQuit) {
    QWidget window;
    Gate gate;
    bool ranOnGuiThread = false;
    bool returned = false;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&] {
            QCoreApplication::quit();
            gate.Open();
        });
        qp::RunHoldingInput(&window, [&] {
            gate.Wait();
            qp::RunOnGuiThread([&] { ranOnGuiThread = true; });
        });
        returned = true;
    });
    QCoreApplication::exec();
    EXPECT_TRUE(ranOnGuiThread);
    EXPECT_TRUE(returned);
}
