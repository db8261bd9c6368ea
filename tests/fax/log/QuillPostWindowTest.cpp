#include "fax/log/gui/QuillPostWindow.h"

#include "tests/support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QMenuBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using qp::faxlog::Outcome;
using qp::outbox::State;
using qp::window::Command;
using qp::window::List;

std::int64_t LocalTime(int day, int hour, int minute) {
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute)).toSecsSinceEpoch();
}

qp::outbox::Item Queued(const std::string& id, State state, int tries,
                        const std::string& reason = {}) {
    qp::outbox::Item item;
    item.id = id;
    item.typed = "Alice";
    item.dialled = "5551234567";
    item.state = state;
    item.tries = tries;
    item.nextTry = LocalTime(7, 14, 5);
    item.reason = reason;
    item.pages = 2;
    return item;
}

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

TEST(WindowLogic, TheOutboxStateSaysWhichTryComesWhenAndWhy) {
    const struct {
        State state;
        int tries;
        std::int64_t now;
        const char* text;
    } cases[] = {
        {State::Waiting, 2, LocalTime(7, 9, 0), "Waiting, try 3 at 14:05"},
        {State::Waiting, 1, LocalTime(6, 23, 0), "Waiting, try 2 at 2026-12-07 14:05"},
        {State::Sending, 0, LocalTime(7, 9, 0), "Sending, try 1"},
        {State::NeedsAttention, 4, LocalTime(7, 9, 0), "Needs attention"},
        {State::Sent, 3, LocalTime(7, 9, 0), "Sent (3 tries)"},
        {State::SentUnconfirmed, 1, LocalTime(7, 9, 0), "Sent, not confirmed"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(qp::window::OutboxStateText(Queued("a", c.state, c.tries), c.now), c.text);
}

TEST(WindowLogic, EachSelectionEnablesTheCommandsThatFitIt) {
    qp::faxlog::Entry plain;
    qp::faxlog::Entry reported;
    reported.hasReport = true;
    const std::set<Command> sent{Command::View, Command::SendAgain, Command::Delete};
    const std::set<Command> retryable{Command::View, Command::RetryNow, Command::Discard};
    const struct {
        const char* what;
        qp::window::Selection selection;
        std::set<Command> enabled;
    } cases[] = {
        {"nothing", {}, {}},
        {"sent without report", {std::nullopt, plain}, sent},
        {"sent with report",
         {std::nullopt, reported},
         {Command::View, Command::Report, Command::SendAgain, Command::Delete}},
        {"waiting", {Queued("a", State::Waiting, 1), std::nullopt}, retryable},
        {"needs attention", {Queued("a", State::NeedsAttention, 1), std::nullopt}, retryable},
        {"sending", {Queued("a", State::Sending, 1), std::nullopt}, {Command::View}},
        {"not confirmed", {Queued("a", State::SentUnconfirmed, 1), std::nullopt}, {Command::View}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(qp::window::EnabledCommands(c.selection), c.enabled) << c.what;
}

TEST(WindowLogic, QuitAsksOnlyWhileFaxesWaitAndOutsideWordsReadAsPlainLines) {
    EXPECT_EQ(qp::window::WaitingCount(
                  {Queued("a", State::Waiting, 1), Queued("b", State::Sending, 0),
                   Queued("c", State::NeedsAttention, 2), Queued("d", State::SentUnconfirmed, 1)}),
              3);
    EXPECT_EQ(qp::window::QuitQuestion(0), "");
    EXPECT_EQ(qp::window::QuitQuestion(1), "1 fax waits in the outbox; it goes out when Quill "
                                           "Post next starts. Quit Quill Post now?");
    EXPECT_EQ(qp::window::QuitQuestion(3).substr(0, 42),
              "3 faxes wait in the outbox; they go out wh");
    EXPECT_EQ(qp::window::PlainManualText("N\bNA\bAM\bME\bE _\bq\xc3\xa9\b\xc3\xa9"),
              "NAME q\xc3\xa9");
    EXPECT_EQ(
        qp::window::SentStateText(MakeRecord(1, Outcome::Failed, "Refused.\r\n\r\nCheck\x1b.")),
        "Failed: Refused. Check?.")
        << "a reply's lines read as one; its controls are never shown";
    EXPECT_EQ(qp::window::AccountText("5550100", "fax.example.com"),
              "Message box 5550100 on fax.example.com");
    EXPECT_EQ(qp::window::AccountText("", "fax.example.com"), "No fax message box configured");
}

// The window over a real log folder and a list of outbox faxes, with every service recorded.
class QuillPostWindowTest : public ::testing::Test {
protected:
    QuillPostWindowTest() {
        m_services.view = [this](const std::string& path) { m_ran.push_back("view " + path); };
        m_services.openReport = [this](const std::string& path) {
            m_ran.push_back("report " + path);
        };
        m_services.sendAgain = [this](const qp::faxlog::Entry& entry) {
            m_ran.push_back("again " + std::to_string(entry.record.time));
        };
        m_services.outbox = [this] { return m_outbox; };
        m_services.viewQueued = [this](const std::string& id) { m_ran.push_back("view " + id); };
        m_services.retryNow = [this](const std::string& id) { m_ran.push_back("retry " + id); };
        m_services.discard = [this](const std::string& id) {
            m_ran.push_back("discard " + id);
            std::erase_if(m_outbox, [&](const qp::outbox::Item& item) { return item.id == id; });
        };
        for (auto* run :
             {&m_services.coverOnly, &m_services.configuration, &m_services.about,
              &m_services.contacts, &m_services.help, &m_services.quit, &m_services.closed})
            *run = [this, run] { m_ran.push_back(Name(run)); };
        m_services.account = [] {
            return std::pair<std::string, std::string>{"5550100", "fax.test"};
        };
        m_services.now = [] { return LocalTime(7, 9, 0); };
    }
    std::string Name(const std::function<void()>* run) const {
        return run == &m_services.coverOnly       ? "cover only"
               : run == &m_services.configuration ? "configuration"
               : run == &m_services.about         ? "about"
               : run == &m_services.contacts      ? "contacts"
               : run == &m_services.help          ? "help"
               : run == &m_services.quit          ? "quit"
                                                  : "closed";
    }
    void Key(QuillPostWindow& window, int key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(window.Table(window.CurrentList()), Qt::Key(key), modifiers);
        QCoreApplication::sendPostedEvents();
    }
    std::vector<std::string> Taken() { return std::exchange(m_ran, {}); }

    qp::test::TempUserEnvironment m_env;
    qp::faxlog::FaxLog m_log{m_env.home.File("log")};
    std::vector<qp::outbox::Item> m_outbox;
    std::vector<std::string> m_ran;
    QuillPostWindow::Services m_services;
};

TEST_F(QuillPostWindowTest, ListsTheLogShowsOutsideWordsAsTextAndActsOnTheSelectedFax) {
    const std::string image = m_env.home.File("fax.tif");
    qp::test::WriteFile(image, "II*");
    const std::string reported = *m_log.Add(MakeRecord(100, Outcome::Sent, {}), {{}, {}, image});
    qp::test::WriteFile(m_log.Find(reported)->ReportPath(), "%PDF-1.4");
    qp::faxlog::Record failedTwice =
        MakeRecord(200, Outcome::Failed, "Fax upload failed: error: <img src=\"/dev/zero\">");
    failedTwice.tries = 2;
    m_log.Add(failedTwice, {});
    QuillPostWindow window(m_log, m_services);
    window.ShowList(List::Sent);

    QTableWidget* table = window.Table(List::Sent);
    ASSERT_EQ(table->rowCount(), 2);
    QTableWidgetItem* failed = table->item(0, QuillPostWindow::kStateColumn);
    EXPECT_EQ(failed->text(),
              "Failed (2 tries): Fax upload failed: error: <img src=\"/dev/zero\">");
    EXPECT_EQ(failed->toolTip(),
              "<qt>Fax upload failed: error: &lt;img src=&quot;/dev/zero&quot;&gt;</qt>")
        << "a reply's markup is never read as markup";
    EXPECT_EQ(table->item(0, QuillPostWindow::kRecipientColumn)->text(), "(555) 123-4567");
    EXPECT_FALSE(window.IsEnabled(Command::Report));

    window.Run(Command::View);
    EXPECT_EQ(m_env.messages.Texts(),
              std::vector<std::string>{"This fax has no image to show: it was never converted."});
    table->selectRow(1);
    EXPECT_TRUE(window.IsEnabled(Command::Report));
    for (Command command : {Command::View, Command::Report, Command::SendAgain})
        window.Run(command);
    const std::string folder = m_log.Find(reported)->folder;
    EXPECT_EQ(Taken(), (std::vector<std::string>{"view " + folder + "/fax.tif",
                                                 "report " + folder + "/report.pdf", "again 100"}));

    m_log.Add(MakeRecord(50, Outcome::NotSent, {}), {});
    m_log.Add(MakeRecord(40, Outcome::NotConfirmed, "The fax was sent, but not confirmed."), {});
    window.Refresh();
    EXPECT_EQ(table->item(3, QuillPostWindow::kStateColumn)->text(), "Sent, not confirmed");
    EXPECT_EQ(table->currentRow(), 1) << "a refresh keeps the selected fax";
    table->selectRow(3);
    window.Run(Command::SendAgain);
    EXPECT_EQ(Taken(), std::vector<std::string>{"again 40"}) << "one not confirmed can be resent";
    table->selectRow(1);
    m_env.messages.SetNextAnswer(qp::MessageAnswer::No);
    window.Run(Command::Delete);
    EXPECT_EQ(table->rowCount(), 4);
    m_env.messages.SetNextAnswer(qp::MessageAnswer::Yes);
    window.Run(Command::Delete);
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->currentRow(), 1) << "the selection stays where the deleted row was";
    EXPECT_EQ(table->item(1, QuillPostWindow::kTimeColumn)->data(Qt::UserRole).toString(),
              QString::fromStdString(m_log.Entries()[1].id));
    EXPECT_EQ(m_log.Entries().size(), 3u);
}

TEST_F(QuillPostWindowTest, ShowsTheOutboxWithItsStatesAndRetriesOrDiscardsTheSelectedFax) {
    m_outbox = {Queued("job-a", State::Waiting, 2, "Unable to connect to the fax server."),
                Queued("job-b", State::Sending, 0)};
    QuillPostWindow window(m_log, m_services);
    EXPECT_EQ(window.CurrentList(), List::Outbox);
    EXPECT_EQ(window.findChild<QTabWidget*>()->tabText(0), "&Outbox (2)");
    EXPECT_EQ(window.StatusText(), "Message box 5550100 on fax.test");
    QTableWidget* table = window.Table(List::Outbox);
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(0, QuillPostWindow::kRecipientColumn)->text(), "(555) 123-4567");
    EXPECT_EQ(table->item(0, QuillPostWindow::kStateColumn)->text(), "Waiting, try 3 at 14:05");
    EXPECT_EQ(table->item(0, QuillPostWindow::kReasonColumn)->text(),
              "Unable to connect to the fax server.");

    table->selectRow(1);
    EXPECT_FALSE(window.IsEnabled(Command::RetryNow)) << "a fax being sent is left alone";
    window.Run(Command::RetryNow);
    EXPECT_TRUE(Taken().empty());
    m_outbox[1].state = State::NeedsAttention;
    window.RefreshOutbox();
    EXPECT_EQ(table->currentRow(), 1);
    window.Run(Command::RetryNow);
    window.Run(Command::View);
    m_env.messages.SetNextAnswer(qp::MessageAnswer::No);
    window.Run(Command::Discard);
    EXPECT_EQ(Taken(), (std::vector<std::string>{"retry job-b", "view job-b"}));
    m_env.messages.SetNextAnswer(qp::MessageAnswer::Yes);
    window.Run(Command::Discard);
    EXPECT_EQ(Taken(), std::vector<std::string>{"discard job-b"});
    EXPECT_EQ(table->rowCount(), 1);
}

TEST_F(QuillPostWindowTest, KeysRunTheirCommandsAndClosingOnlyHidesTheWindow) {
    m_outbox = {Queued("job-a", State::Waiting, 1)};
    m_log.Add(MakeRecord(100, Outcome::Sent, {}), {});
    QuillPostWindow window(m_log, m_services);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    std::vector<std::string> menu;
    for (QAction* action : window.menuBar()->actions().at(0)->menu()->actions())
        menu.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    EXPECT_EQ(menu, (std::vector<std::string>{"Send Cover Only Fax...", "Show &Configuration", "-",
                                              "About Quill Post ...", "Contacts...", "-",
                                              "Quit Quill Post"}))
        << "the tray's commands; Check for Updates only where the program hands it in";

    Key(window, Qt::Key_Return);
    m_env.messages.SetNextAnswer(qp::MessageAnswer::Yes);
    Key(window, Qt::Key_Delete);
    Key(window, Qt::Key_N, Qt::ControlModifier);
    Key(window, Qt::Key_F1);
    EXPECT_EQ(Taken(),
              (std::vector<std::string>{"view job-a", "discard job-a", "cover only", "help"}));

    m_outbox = {Queued("job-c", State::Waiting, 1)};
    window.RefreshOutbox();
    m_env.messages.SetNextAnswer(qp::MessageAnswer::No);
    Key(window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(Taken().empty()) << "the user chose to stay";
    ASSERT_EQ(m_env.messages.Texts().size(), 2u) << "Delete asked before it discarded";
    EXPECT_EQ(m_env.messages.Texts().back().substr(0, 27), "1 fax waits in the outbox; ");
    m_outbox.clear();
    window.RefreshOutbox();
    Key(window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(Taken(), std::vector<std::string>{"quit"});
    EXPECT_EQ(m_env.messages.Texts().size(), 2u) << "nothing waits: no question";

    for (auto [key, modifiers] :
         {std::pair{Qt::Key_Escape, Qt::KeyboardModifiers{}},
          std::pair{Qt::Key_W, Qt::KeyboardModifiers{Qt::ControlModifier}}}) {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        Key(window, key, modifiers);
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(Taken(), std::vector<std::string>{"closed"});
    }
    window.show();
    window.close();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_EQ(Taken(), std::vector<std::string>{"closed"});
}

} // namespace
