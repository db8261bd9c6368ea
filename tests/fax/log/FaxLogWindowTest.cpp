#include "fax/log/gui/FaxLogWindow.h"

#include "tests/support/TestSupport.h"

#include <QTableWidget>
#include <gtest/gtest.h>

namespace {

using qp::faxlog::Outcome;

qp::faxlog::Record MakeRecord(std::int64_t time, Outcome outcome, const std::string& message) {
    qp::faxlog::Record record;
    record.time = time;
    record.typed = "5551234567";
    record.dialled = "5551234567";
    record.pages = 1;
    record.outcome = outcome;
    record.message = message;
    return record;
}

TEST(FaxLogWindow, ListsTheLogShowsOutsideWordsAsTextAndActsOnTheSelectedFax) {
    qp::test::TempUserEnvironment env;
    qp::faxlog::FaxLog log(env.home.File("log"));
    const std::string image = env.home.File("fax.tif");
    qp::test::WriteFile(image, "II*");
    log.Add(MakeRecord(100, Outcome::Sent, {}), {{}, {}, image});
    qp::faxlog::Record failedTwice =
        MakeRecord(200, Outcome::Failed, "Fax upload failed: error: <img src=\"/dev/zero\">");
    failedTwice.tries = 2;
    log.Add(failedTwice, {});
    std::vector<std::string> viewed;
    std::vector<std::int64_t> resent;
    FaxLogWindow window(
        log, [&](const std::string& path) { viewed.push_back(path); },
        [&](const qp::faxlog::Entry& entry) { resent.push_back(entry.record.time); });

    QTableWidget* table = window.Table();
    ASSERT_EQ(table->rowCount(), 2);
    QTableWidgetItem* failed = table->item(0, FaxLogWindow::kOutcomeColumn);
    EXPECT_EQ(failed->text(),
              "Failed (2 tries): Fax upload failed: error: <img src=\"/dev/zero\">");
    EXPECT_EQ(failed->toolTip(),
              "<qt>Fax upload failed: error: &lt;img src=&quot;/dev/zero&quot;&gt;</qt>")
        << "a reply's markup is never read as markup";
    EXPECT_EQ(table->item(0, FaxLogWindow::kRecipientColumn)->text(), "(555) 123-4567");

    window.OnView();
    EXPECT_EQ(env.messages.Texts(),
              std::vector<std::string>{"This fax has no image to show: it was never converted."});
    table->selectRow(1);
    window.OnView();
    window.OnResend();
    EXPECT_EQ(viewed.size(), 1u);
    EXPECT_EQ(resent, std::vector<std::int64_t>{100});

    log.Add(MakeRecord(50, Outcome::NotSent, {}), {});
    log.Add(MakeRecord(40, Outcome::NotConfirmed, "The fax was sent, but not confirmed."), {});
    window.Reload();
    EXPECT_EQ(table->item(3, FaxLogWindow::kOutcomeColumn)->text(), "Sent, not confirmed");
    table->selectRow(3);
    window.OnResend();
    EXPECT_EQ(resent, (std::vector<std::int64_t>{100, 40})) << "one not confirmed can be resent";
    table->selectRow(1);
    env.messages.SetNextAnswer(qp::MessageAnswer::No);
    window.OnDelete();
    EXPECT_EQ(table->rowCount(), 4);
    env.messages.SetNextAnswer(qp::MessageAnswer::Yes);
    window.OnDelete();
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->currentRow(), 1) << "the selection stays where the deleted row was";
    EXPECT_EQ(
        table->item(1, FaxLogWindow::kTimeColumn)->data(Qt::UserRole).toString().toStdString(),
        log.Entries()[1].id);
    EXPECT_EQ(log.Entries().size(), 3u);
}

} // namespace
