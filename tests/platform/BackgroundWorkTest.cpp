#include "base/BackgroundWork.h"
#include "platform/MessageBox.h"
#include "platform/gui/GuiThread.h"
#include "platform/gui/QtMessageSink.h"
#include "tests/shell/ModalHelpers.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

void SpinUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 2000 && !condition(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

TEST(BackgroundWork, RunsOffTheGuiThreadAndHandsTheOutcomeBackThroughTheEventLoop) {
    QObject context;
    qp::BackgroundWork work(&context);
    std::atomic<bool> ranOffGui{false};
    std::optional<qp::Outcome> delivered;
    bool deliveredOnGui = false;
    ASSERT_TRUE(work.Start(
        [&](std::stop_token) {
            ranOffGui = QThread::currentThread() != QCoreApplication::instance()->thread();
            return qp::Outcome::Failure("why");
        },
        [&](qp::Outcome outcome) {
            delivered = outcome;
            deliveredOnGui = QThread::currentThread() == QCoreApplication::instance()->thread();
        }));
    EXPECT_FALSE(work.Start([](std::stop_token) { return qp::Outcome::Success(); }, {}))
        << "one piece of work at a time";
    EXPECT_FALSE(delivered) << "the caller never waits for the outcome";
    SpinUntil([&] { return delivered.has_value(); });
    ASSERT_TRUE(delivered);
    EXPECT_TRUE(ranOffGui);
    EXPECT_TRUE(deliveredOnGui);
    EXPECT_EQ(delivered->message, "why");
    EXPECT_FALSE(work.Busy());
}

TEST(BackgroundWork, AnOrderlyEndStopsTheWorkAndTakesItsOutcomeInsteadOfHandingItOn) {
    QObject context;
    qp::BackgroundWork work(&context);
    bool delivered = false;
    ASSERT_TRUE(work.Start(
        [](std::stop_token stop) {
            while (!stop.stop_requested())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return qp::Outcome::Stopped();
        },
        [&](qp::Outcome) { delivered = true; }));
    const std::optional<qp::Outcome> outcome = work.StopAndWait();
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(outcome->ok);
    EXPECT_TRUE(outcome->message.empty());
    QCoreApplication::processEvents();
    EXPECT_FALSE(delivered) << "an outcome taken by the wait is not handed on again";
    EXPECT_FALSE(work.StopAndWait()) << "nothing under way";
}

// A window asked for by another thread waits while a window's work has not shown its result.
TEST(GuiRequests, WaitWhileAWindowsWorkHasNotShownItsResult) {
    std::vector<std::string> order;
    std::atomic<bool> asked{false};
    std::thread other;
    {
        const qp::GuiWorkScope busy;
        other = std::thread([&] {
            asked = true;
            qp::RunOnGuiThreadWhenIdle([&] { order.push_back("other window"); });
        });
        SpinUntil([&] { return asked.load() && qp::DeferredGuiRequests() > 0; });
        EXPECT_TRUE(order.empty()) << "nothing opens on top of busy work";
        order.push_back("work's result");
    }
    SpinUntil([&] { return order.size() == 2; });
    other.join();
    EXPECT_EQ(order, (std::vector<std::string>{"work's result", "other window"}));
}

} // namespace

namespace {

// Markup in a message is shown as the characters it is made of.
TEST(QtMessageSink, ShowsMessagesAsPlainText) {
    qp::QtMessageSink sink;
    const qp::ScopedMessageSink scoped(sink);
    Qt::TextFormat format = Qt::AutoText;
    QString text;
    qp::test::WhenModalOpens([&](QDialog& dialog) {
        auto* box = qobject_cast<QMessageBox*>(&dialog);
        ASSERT_NE(box, nullptr);
        format = box->textFormat();
        text = box->text();
        box->accept();
    });
    qp::ShowMessage("Fax upload failed: <a href=\"x\">Sent OK</a>");
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(text, "Fax upload failed: <a href=\"x\">Sent OK</a>");
}

} // namespace
