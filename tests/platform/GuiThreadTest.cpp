#include "platform/gui/GuiThread.h"
#include "platform/MessageBox.h"
#include "platform/gui/QtMessageSink.h"
#include "tests/support/GuiChecks.h"
#include "tests/support/ModalHelpers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

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
        EXPECT_TRUE(
            qp::test::PumpUntil([&] { return asked.load() && qp::DeferredGuiRequests() > 0; }));
        EXPECT_TRUE(order.empty()) << "nothing opens on top of busy work";
        order.push_back("work's result");
    }
    EXPECT_TRUE(qp::test::PumpUntil([&] { return order.size() == 2; }));
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

// The program ending while a box waits for its answer, or before it opens: no box holds the end up,
// and none answers for the user with anything but its safe choice.
TEST(QtMessageSink, ABoxTheEndClosesOrNeverShowsAnswersItsSafeChoice) {
    qp::QtMessageSink sink;
    const qp::ScopedMessageSink scoped(sink);
    qp::test::WhenModalOpens([](QDialog&) { QCoreApplication::exit(0); });
    EXPECT_EQ(qp::ShowMessage("Send it?", qp::MessageIcon::Question, qp::MessageButtons::OkCancel),
              qp::MessageAnswer::Cancel);
    // Event loops end at once after that until the application's own has run.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();

    bool shown = false;
    QTimer answerAnyBox;
    QObject::connect(&answerAnyBox, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = true;
            box->button(QMessageBox::Yes)->click();
        }
    });
    answerAnyBox.start(0);
    qp::AbandonGuiRequests();
    const qp::MessageAnswer answer =
        qp::ShowMessage("Discard the fax?", qp::MessageIcon::Question, qp::MessageButtons::YesNo);
    qp::AcceptGuiRequests();
    EXPECT_FALSE(shown);
    EXPECT_EQ(answer, qp::MessageAnswer::No);
}

// A question whose answers are named, with Yes the default, and one the end must answer with
// neither.
TEST(QtMessageSink, AQuestionNamesItsAnswersAndTheEndMayAnswerNeither) {
    qp::QtMessageSink sink;
    const qp::ScopedMessageSink scoped(sink);
    qp::MessageRequest question;
    question.text = "Keep it?";
    question.buttons = qp::MessageButtons::YesNo;
    question.yesText = "Keep";
    question.noText = "Discard";
    question.unanswered = qp::MessageAnswer::Cancel;
    QStringList shown;
    qp::test::WhenModalOpens([&](QDialog& dialog) {
        auto* box = qobject_cast<QMessageBox*>(&dialog);
        ASSERT_NE(box, nullptr);
        shown = {box->button(QMessageBox::Yes)->text(), box->button(QMessageBox::No)->text(),
                 box->defaultButton()->text()};
        QCoreApplication::exit(0);
    });
    EXPECT_EQ(qp::ShowMessage(question), qp::MessageAnswer::Cancel);
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    EXPECT_EQ(shown, (QStringList{"Keep", "Discard", "Keep"}));
}

} // namespace
