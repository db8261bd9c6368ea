#include "platform/HeldInputWork.h"
#include "platform/MessageBox.h"
#include "platform/QtMessageSink.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
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
