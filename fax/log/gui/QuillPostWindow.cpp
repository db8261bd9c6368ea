#include "fax/log/gui/QuillPostWindow.h"

#include "platform/MessageBox.h"
#include "res/Resources.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolBar>
#include <algorithm>

using qp::window::Command;
using qp::window::List;

namespace {

constexpr const char* kNoImageMessage = "This fax has no image to show: it was never converted.";
constexpr const char* kDeleteQuestion = "Delete the selected fax from the log?";
constexpr const char* kDiscardQuestion =
    "Discard the selected fax from the outbox? It will not be sent.";
constexpr int kIdRole = Qt::UserRole;
constexpr int kWindowWidth = 760;
constexpr int kWindowHeight = 420;

QTableWidgetItem* Cell(const QVariant& value) {
    auto* item = new QTableWidgetItem;
    item->setData(Qt::DisplayRole, value);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

QuillPostWindow::QuillPostWindow(qp::faxlog::FaxLog& log, Services services, QWidget* parent)
    : QMainWindow(parent), m_log(log), m_services(std::move(services)) {
    setWindowTitle(QString::fromUtf8(res::kTooltip130));
    setWindowIcon(res::IconById(res::kIcon130));
    resize(kWindowWidth, kWindowHeight);

    m_outboxTable =
        MakeTable({QStringLiteral("Queued"), QStringLiteral("Recipient"), QStringLiteral("Pages"),
                   QStringLiteral("State"), QStringLiteral("Last failure")});
    m_sentTable = MakeTable({QStringLiteral("Time"), QStringLiteral("Recipient"),
                             QStringLiteral("Pages"), QStringLiteral("Outcome")});
    m_tabs = new QTabWidget(this);
    m_tabs->addTab(m_outboxTable, QStringLiteral("&Outbox"));
    m_tabs->addTab(m_sentTable, QStringLiteral("&Sent Faxes"));
    setCentralWidget(m_tabs);
    connect(m_tabs, &QTabWidget::currentChanged, this, [this] { UpdateCommands(); });

    AddMenus();
    AddKeys();
    Refresh();
}

QTableWidget* QuillPostWindow::MakeTable(const QStringList& headers) {
    auto* table = new QTableWidget(0, static_cast<int>(headers.size()), this);
    table->setHorizontalHeaderLabels(headers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    table->horizontalHeader()->setSortIndicator(kTimeColumn, Qt::DescendingOrder);
    connect(table, &QTableWidget::itemSelectionChanged, this, [this] { UpdateCommands(); });
    connect(table, &QTableWidget::cellDoubleClicked, this, [this] { Run(Command::View); });
    return table;
}

void QuillPostWindow::AddMenus() {
    // The tray menu's commands, in its order, for desktops where no tray shows that menu.
    QMenu* client = menuBar()->addMenu(QStringLiteral("&Quill Post"));
    auto add = [this](QMenu* menu, const char* text, const std::function<void()>& run,
                      const QKeySequence& key = {}) {
        if (!run)
            return static_cast<QAction*>(nullptr);
        QAction* action = menu->addAction(QString::fromUtf8(text));
        action->setShortcut(key);
        // Queued, so that a window the command opens runs outside the menu's own signal.
        connect(
            action, &QAction::triggered, this, [run] { run(); }, Qt::QueuedConnection);
        return action;
    };
    add(client, "Send Cover Only Fax...", m_services.coverOnly, QKeySequence(Qt::CTRL | Qt::Key_N));
    add(client, "Show &Configuration", m_services.configuration);
    client->addSeparator();
    add(client, "About Quill Post ...", m_services.about);
    add(client, "Contacts...", m_services.contacts);
    add(client, "Check for Updates...", m_services.checkForUpdates);
    client->addSeparator();
    QAction* quit = client->addAction(QStringLiteral("Quit Quill Post"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(
        quit, &QAction::triggered, this, [this] { Quit(); }, Qt::QueuedConnection);

    QMenu* fax = menuBar()->addMenu(QStringLiteral("&Fax"));
    QToolBar* bar = addToolBar(QStringLiteral("Fax"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    const struct {
        Command command;
        const char* text;
    } commands[] = {{Command::View, "&View"},
                    {Command::Report, "&Report"},
                    {Command::SendAgain, "Send &Again"},
                    {Command::Delete, "&Delete"},
                    {Command::RetryNow, "Retry &Now"},
                    {Command::Discard, "D&iscard"}};
    for (const auto& c : commands) {
        QAction* action = fax->addAction(QString::fromUtf8(c.text));
        bar->addAction(action);
        connect(action, &QAction::triggered, this, [this, command = c.command] { Run(command); });
        m_commands[c.command] = action;
    }

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    add(help, "Quill Post &Manual", m_services.help, QKeySequence(Qt::Key_F1));
}

void QuillPostWindow::AddKeys() {
    auto key = [this](const QKeySequence& sequence, std::function<void()> run) {
        auto* shortcut = new QShortcut(sequence, this);
        connect(shortcut, &QShortcut::activated, this, std::move(run));
    };
    // The one key acts on either list: a sent fax leaves the log, a waiting one the outbox.
    key(QKeySequence(Qt::Key_Delete), [this] { OnDeleteKey(); });
    key(QKeySequence(Qt::Key_Return), [this] { Run(Command::View); });
    key(QKeySequence(Qt::Key_Enter), [this] { Run(Command::View); });
    key(QKeySequence(Qt::CTRL | Qt::Key_W), [this] { close(); });
    key(QKeySequence(Qt::Key_Escape), [this] { close(); });
}

void QuillPostWindow::Refresh() {
    RefreshOutbox();
    RefreshSent();
    RefreshStatus();
}

void QuillPostWindow::RefreshOutbox() {
    m_outbox = m_services.outbox ? m_services.outbox() : std::vector<qp::outbox::Item>{};
    const std::int64_t now = m_services.now ? m_services.now() : QDateTime::currentSecsSinceEpoch();
    Fill(m_outboxTable, qp::window::OutboxRows(m_outbox, now));
    const int waiting = qp::window::WaitingCount(m_outbox);
    m_tabs->setTabText(0, waiting > 0 ? QStringLiteral("&Outbox (%1)").arg(waiting)
                                      : QStringLiteral("&Outbox"));
}

void QuillPostWindow::RefreshSent() {
    Fill(m_sentTable, qp::window::SentRows(m_log.Entries()));
}

void QuillPostWindow::RefreshStatus() {
    const auto [login, host] =
        m_services.account ? m_services.account() : std::pair<std::string, std::string>{};
    if (!m_accountLabel) {
        // A widget of the bar, not its passing message, which a menu's hints would wipe out.
        m_accountLabel = new QLabel(this);
        statusBar()->addWidget(m_accountLabel);
    }
    m_accountLabel->setText(Text(qp::window::AccountText(login, host)));
}

QString QuillPostWindow::StatusText() const {
    return m_accountLabel->text();
}

void QuillPostWindow::Fill(QTableWidget* table, const std::vector<qp::window::Row>& rows) {
    const std::string keep = SelectedId(table == m_outboxTable ? List::Outbox : List::Sent);
    const int keepRow = table->currentRow();
    table->setSortingEnabled(false);
    table->setRowCount(0);
    for (const qp::window::Row& row : rows) {
        const int at = table->rowCount();
        table->insertRow(at);
        QTableWidgetItem* time = Cell(Text(row.time));
        time->setData(kIdRole, Text(row.id));
        table->setItem(at, kTimeColumn, time);
        table->setItem(at, kRecipientColumn, Cell(Text(row.recipient)));
        table->setItem(at, kPagesColumn, Cell(row.pages));
        QTableWidgetItem* state = Cell(Text(row.state));
        // The words come from outside: shown as they are, never read as markup.
        if (!row.reason.empty())
            state->setToolTip(QStringLiteral("<qt>%1</qt>").arg(Text(row.reason).toHtmlEscaped()));
        table->setItem(at, kStateColumn, state);
        if (table->columnCount() > kReasonColumn)
            table->setItem(at, kReasonColumn, Cell(Text(row.reason)));
    }
    table->setSortingEnabled(true);
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    // The selection stays on the fax the user was working on, or else where it was: on the row
    // that took a removed fax's place.
    int select = std::min(std::max(keepRow, 0), table->rowCount() - 1);
    for (int row = 0; row < table->rowCount(); ++row) {
        if (!keep.empty() && table->item(row, kTimeColumn)->data(kIdRole).toString() == Text(keep))
            select = row;
    }
    if (select >= 0)
        table->selectRow(select);
    UpdateCommands();
}

void QuillPostWindow::ShowList(List list) {
    m_tabs->setCurrentWidget(Table(list));
}

List QuillPostWindow::CurrentList() const {
    return m_tabs->currentWidget() == m_outboxTable ? List::Outbox : List::Sent;
}

QTableWidget* QuillPostWindow::Table(List list) const {
    return list == List::Outbox ? m_outboxTable : m_sentTable;
}

std::string QuillPostWindow::SelectedId(List list) const {
    const QTableWidget* table = Table(list);
    const QList<QTableWidgetItem*> selected = table->selectedItems();
    if (selected.isEmpty())
        return {};
    return table->item(selected.front()->row(), kTimeColumn)
        ->data(kIdRole)
        .toString()
        .toStdString();
}

qp::window::Selection QuillPostWindow::Selected() const {
    qp::window::Selection selection;
    const std::string id = SelectedId(CurrentList());
    if (id.empty())
        return selection;
    if (CurrentList() == List::Sent) {
        selection.sent = m_log.Find(id);
        return selection;
    }
    const auto item = std::find_if(m_outbox.begin(), m_outbox.end(),
                                   [&](const qp::outbox::Item& queued) { return queued.id == id; });
    if (item != m_outbox.end())
        selection.queued = *item;
    return selection;
}

bool QuillPostWindow::IsEnabled(Command command) const {
    return m_commands.at(command)->isEnabled();
}

void QuillPostWindow::UpdateCommands() {
    if (m_commands.empty())
        return;
    const std::set<Command> enabled = qp::window::EnabledCommands(Selected());
    const bool queued = CurrentList() == List::Outbox;
    // A command the program did not hand in stays off.
    const std::map<Command, bool> wired{
        {Command::View, queued ? bool(m_services.viewQueued) : bool(m_services.view)},
        {Command::Report, bool(m_services.openReport)},
        {Command::SendAgain, bool(m_services.sendAgain)},
        {Command::Delete, true},
        {Command::RetryNow, bool(m_services.retryNow)},
        {Command::Discard, bool(m_services.discard)}};
    for (const auto& [command, action] : m_commands)
        action->setEnabled(enabled.count(command) > 0 && wired.at(command));
}

void QuillPostWindow::Run(Command command) {
    UpdateCommands();
    if (!IsEnabled(command))
        return;
    const qp::window::Selection selection = Selected();
    if (selection.queued) {
        const std::string& id = selection.queued->id;
        if (command == Command::View)
            m_services.viewQueued(id);
        else if (command == Command::RetryNow)
            m_services.retryNow(id);
        else if (command == Command::Discard)
            Discard(id);
        return;
    }
    if (!selection.sent)
        return;
    const qp::faxlog::Entry& entry = *selection.sent;
    switch (command) {
    case Command::View:
        if (!entry.hasImage)
            qp::ShowMessage(kNoImageMessage, qp::MessageIcon::Information);
        else
            m_services.view(entry.ImagePath());
        break;
    case Command::Report:
        m_services.openReport(entry.ReportPath());
        break;
    case Command::SendAgain:
        m_services.sendAgain(entry);
        break;
    case Command::Delete:
        Delete(entry);
        break;
    case Command::RetryNow:
    case Command::Discard:
        break;
    }
}

void QuillPostWindow::OnDeleteKey() {
    Run(CurrentList() == List::Outbox ? Command::Discard : Command::Delete);
}

void QuillPostWindow::Delete(const qp::faxlog::Entry& entry) {
    if (qp::ShowMessage(kDeleteQuestion, qp::MessageIcon::Question, qp::MessageButtons::YesNo) !=
        qp::MessageAnswer::Yes)
        return;
    m_log.Remove(entry.id);
    RefreshSent();
}

void QuillPostWindow::Discard(const std::string& id) {
    if (qp::ShowMessage(kDiscardQuestion, qp::MessageIcon::Question, qp::MessageButtons::YesNo) !=
        qp::MessageAnswer::Yes)
        return;
    m_services.discard(id);
    RefreshOutbox();
}

void QuillPostWindow::Quit() {
    if (!m_services.quit)
        return;
    const std::string question = qp::window::QuitQuestion(qp::window::WaitingCount(m_outbox));
    if (!question.empty() && qp::ShowMessage(question, qp::MessageIcon::Question,
                                             qp::MessageButtons::YesNo) != qp::MessageAnswer::Yes)
        return;
    m_services.quit();
}

void QuillPostWindow::closeEvent(QCloseEvent* event) {
    // Only hidden: the client, its tray icon and its outbox run on.
    event->accept();
    hide();
    if (m_services.closed)
        m_services.closed();
}
