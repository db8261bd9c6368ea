#include "fax/log/gui/FaxLogWindow.h"

#include "fax/log/Resend.h"
#include "platform/MessageBox.h"
#include "platform/OutsideText.h"
#include "res/Resources.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr const char* kNoImageMessage = "This fax has no image to show: it was never converted.";
constexpr const char* kDeleteQuestion = "Delete the selected fax from the log?";
constexpr int kIdRole = Qt::UserRole;
constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 360;

QString OutcomeCell(const qp::faxlog::Record& record) {
    // One row a fax: a fax that took more than one press of Send says how many.
    const QString tries =
        record.tries > 1 ? QStringLiteral(" (%1 tries)").arg(record.tries) : QString();
    switch (record.outcome) {
    case qp::faxlog::Outcome::Sent:
        return QStringLiteral("Sent") + tries;
    case qp::faxlog::Outcome::NotConfirmed:
        // The server never said it kept the fax: Resend is the user's choice.
        return QStringLiteral("Sent, not confirmed") + tries;
    case qp::faxlog::Outcome::Failed: {
        const QString message =
            QString::fromStdString(qp::ShownAsText(record.message)).simplified();
        return QStringLiteral("Failed") + tries +
               (message.isEmpty() ? QString() : QStringLiteral(": ") + message);
    }
    case qp::faxlog::Outcome::NotSent:
        break;
    }
    return QStringLiteral("Not sent") + tries;
}

QTableWidgetItem* Cell(const QVariant& value) {
    auto* item = new QTableWidgetItem;
    item->setData(Qt::DisplayRole, value);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

} // namespace

FaxLogWindow::FaxLogWindow(qp::faxlog::FaxLog& log, Viewer view, ResendRunner resend,
                           QWidget* parent)
    : QDialog(parent), m_log(log), m_viewer(std::move(view)), m_resend(std::move(resend)) {
    setWindowTitle(QStringLiteral("Fax Log"));
    setWindowIcon(res::IconById(res::kIcon130));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(kWindowWidth, kWindowHeight);

    m_table = new QTableWidget(0, 4, this);
    m_table->setHorizontalHeaderLabels({QStringLiteral("Time"), QStringLiteral("Recipient"),
                                        QStringLiteral("Pages"), QStringLiteral("Outcome")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setSortIndicator(kTimeColumn, Qt::DescendingOrder);

    auto* buttons = new QDialogButtonBox(this);
    m_view = buttons->addButton(QStringLiteral("&View"), QDialogButtonBox::ActionRole);
    m_resendButton = buttons->addButton(QStringLiteral("&Resend"), QDialogButtonBox::ActionRole);
    m_delete = buttons->addButton(QStringLiteral("&Delete"), QDialogButtonBox::ActionRole);
    buttons->addButton(QDialogButtonBox::Close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addWidget(buttons);

    connect(m_view, &QPushButton::clicked, this, [this] { OnView(); });
    connect(m_resendButton, &QPushButton::clicked, this, [this] { OnResend(); });
    connect(m_delete, &QPushButton::clicked, this, [this] { OnDelete(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this] { OnView(); });

    Reload();
}

void FaxLogWindow::Reload() {
    m_table->setSortingEnabled(false);
    m_table->setRowCount(0);
    for (const qp::faxlog::Entry& entry : m_log.Entries()) {
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        const qp::faxlog::Record& record = entry.record;
        QTableWidgetItem* time =
            Cell(QDateTime::fromSecsSinceEpoch(record.time).toString("yyyy-MM-dd HH:mm:ss"));
        time->setData(kIdRole, QString::fromStdString(entry.id));
        m_table->setItem(row, kTimeColumn, time);
        m_table->setItem(
            row, kRecipientColumn,
            Cell(QString::fromStdString(qp::ShownAsText(qp::faxlog::ResendRecipient(record)))));
        m_table->setItem(row, kPagesColumn, Cell(record.pages));
        QTableWidgetItem* outcome = Cell(OutcomeCell(record));
        // A record's words are shown as they are, never read as markup.
        if (!record.message.empty())
            outcome->setToolTip(
                QStringLiteral("<qt>%1</qt>")
                    .arg(QString::fromStdString(qp::ShownAsText(record.message)).toHtmlEscaped()));
        m_table->setItem(row, kOutcomeColumn, outcome);
    }
    m_table->setSortingEnabled(true);
    m_table->resizeColumnsToContents();
    m_table->horizontalHeader()->setStretchLastSection(true);
    if (m_table->rowCount() > 0)
        m_table->selectRow(0);
    UpdateButtons();
}

std::optional<qp::faxlog::Entry> FaxLogWindow::SelectedEntry() const {
    const QList<QTableWidgetItem*> selected = m_table->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    const QTableWidgetItem* time = m_table->item(selected.front()->row(), kTimeColumn);
    return m_log.Find(time->data(kIdRole).toString().toStdString());
}

void FaxLogWindow::UpdateButtons() {
    const bool any = !m_table->selectedItems().isEmpty();
    for (QPushButton* button : {m_view, m_resendButton, m_delete})
        button->setEnabled(any);
}

void FaxLogWindow::OnView() {
    const std::optional<qp::faxlog::Entry> entry = SelectedEntry();
    if (!entry)
        return;
    if (!entry->hasImage) {
        qp::ShowMessage(kNoImageMessage, qp::MessageIcon::Information);
        return;
    }
    if (m_viewer)
        m_viewer(entry->ImagePath());
}

void FaxLogWindow::OnResend() {
    const std::optional<qp::faxlog::Entry> entry = SelectedEntry();
    if (!entry || !m_resend)
        return;
    m_resend(*entry);
}

void FaxLogWindow::OnDelete() {
    const std::optional<qp::faxlog::Entry> entry = SelectedEntry();
    if (!entry || qp::ShowMessage(kDeleteQuestion, qp::MessageIcon::Question,
                                  qp::MessageButtons::YesNo) != qp::MessageAnswer::Yes)
        return;
    const int row = m_table->currentRow();
    m_log.Remove(entry->id);
    Reload();
    // The selection stays where the user was working, on the row that took the deleted one's
    // place.
    if (m_table->rowCount() > 0)
        m_table->selectRow(std::min(std::max(row, 0), m_table->rowCount() - 1));
}
