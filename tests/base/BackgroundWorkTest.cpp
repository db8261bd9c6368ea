#include "base/BackgroundWork.h"
#include "tests/support/GuiChecks.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>

namespace {

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
    ASSERT_TRUE(qp::test::PumpUntil([&] { return delivered.has_value(); }));
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
            qp::test::WaitUntilStopped(std::move(stop));
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

} // namespace
