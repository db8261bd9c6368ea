#include "contacts/gui/ContactsWindow.h"

#include "base/DialRules.h"
#include "contacts/ContactImport.h"
#include "contacts/TextMatch.h"
#include "contacts/VCard.h"
#include "contacts/gui/ContactEditDialog.h"
#include "platform/FileOps.h"
#include "platform/MessageBox.h"
#include "platform/OutsideText.h"
#include "res/Resources.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

using qp::contacts::Contact;

constexpr const char* kDeleteQuestion = "Delete the selected contact?";
constexpr const char* kNoNumberNote = "No number";
constexpr int kIndexRole = Qt::UserRole;
constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 400;
// An export holds the user's correspondents: private, as the contacts file is.
constexpr unsigned kExportMode = 0600;

// Text already safe to show.
QTableWidgetItem* ShownCell(const std::string& shown) {
    auto* item = new QTableWidgetItem(QString::fromStdString(shown));
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

QTableWidgetItem* Cell(const std::string& text) {
    return ShownCell(qp::ShownAsText(text));
}

// The contact's fax numbers as written, the digits the line dials for each and why it cannot dial
// one; one line each, safe to show.
struct NumberCells {
    std::string written;
    std::string dials;
    std::string note;
};

NumberCells NumberCellsFor(const Contact& contact, const qp::DialRules& rules) {
    const std::vector<std::string> numbers = contact.FaxNumbers();
    if (numbers.empty())
        return NumberCells{{}, {}, kNoNumberNote};
    NumberCells cells;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const std::string line = i == 0 ? "" : "\n";
        const qp::FaxNumberCheck dialled = qp::DialledNumber(numbers[i], rules);
        const std::string written = qp::ShownAsText(numbers[i]);
        cells.written += line + written;
        cells.dials += line + dialled.number;
        if (!dialled.Ok())
            cells.note += (cells.note.empty() ? "" : "\n") +
                          (numbers.size() > 1 ? written + ": " : std::string()) +
                          qp::ShownAsText(dialled.message);
    }
    return cells;
}

std::optional<std::string> Chosen(const QString& path) {
    if (path.isEmpty())
        return std::nullopt;
    return path.toStdString();
}

std::optional<std::string> ChooseImportFile(QWidget* owner, const std::string& startFolder) {
    return Chosen(QFileDialog::getOpenFileName(
        owner, QStringLiteral("Import Contacts"), QString::fromStdString(startFolder),
        QStringLiteral("Address books (*.vcf *.vcard *.csv);;vCard files (*.vcf *.vcard);;"
                       "CSV files (*.csv);;All files (*)")));
}

std::optional<std::string> ChooseExportFile(QWidget* owner, const std::string& startFolder) {
    return Chosen(QFileDialog::getSaveFileName(owner, QStringLiteral("Export Contacts"),
                                               QString::fromStdString(startFolder) +
                                                   QStringLiteral("/contacts.vcf"),
                                               QStringLiteral("vCard files (*.vcf)")));
}

std::optional<Contact> EditInDialog(QWidget* owner, const Contact& contact) {
    ContactEditDialog dialog(contact, owner);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.EditedContact();
}

} // namespace

ContactsWindowSeams DefaultContactsWindowSeams() {
    return ContactsWindowSeams{ChooseImportFile, ChooseExportFile, EditInDialog};
}

ContactsWindow::ContactsWindow(qp::contacts::ContactBook& book, QWidget* parent,
                               ContactsWindowSeams seams)
    : QDialog(parent), m_book(book), m_seams(std::move(seams)),
      m_importFolder(qp::Profile(), qp::contacts::kImportFolderSetting, qp::UserFiles::Documents),
      m_exportFolder(qp::Profile(), qp::contacts::kExportFolderSetting, qp::UserFiles::Documents) {
    setWindowTitle(QStringLiteral("Contacts"));
    setWindowIcon(res::IconById(res::kIcon130));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(kWindowWidth, kWindowHeight);

    m_search = new QLineEdit(this);
    m_search->setPlaceholderText(QStringLiteral("Search"));
    m_search->setClearButtonEnabled(true);

    m_table = new QTableWidget(0, 5, this);
    m_table->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Organisation"),
                                        QStringLiteral("Fax number"), QStringLiteral("Dials"),
                                        QStringLiteral("Note")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSortIndicator(kNameColumn, Qt::AscendingOrder);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* add = buttons->addButton(QStringLiteral("&Add..."), QDialogButtonBox::ActionRole);
    m_edit = buttons->addButton(QStringLiteral("&Edit..."), QDialogButtonBox::ActionRole);
    m_delete = buttons->addButton(QStringLiteral("&Delete"), QDialogButtonBox::ActionRole);
    QPushButton* import =
        buttons->addButton(QStringLiteral("&Import..."), QDialogButtonBox::ActionRole);
    QPushButton* exportButton =
        buttons->addButton(QStringLiteral("E&xport..."), QDialogButtonBox::ActionRole);
    buttons->addButton(QDialogButtonBox::Close);
    // Enter in the search box filters; it must not press a button.
    for (QAbstractButton* button : buttons->buttons()) {
        if (auto* push = qobject_cast<QPushButton*>(button))
            push->setAutoDefault(false);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_search);
    layout->addWidget(m_table);
    layout->addWidget(buttons);

    connect(add, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(m_edit, &QPushButton::clicked, this, [this] { OnEdit(); });
    connect(m_delete, &QPushButton::clicked, this, [this] { OnDelete(); });
    connect(import, &QPushButton::clicked, this, [this] { OnImport(); });
    connect(exportButton, &QPushButton::clicked, this, [this] { OnExport(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_search, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
    connect(m_table, &QTableWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this] { OnEdit(); });

    Reload();
}

void ContactsWindow::Reload(std::optional<std::size_t> select) {
    m_table->setSortingEnabled(false);
    m_table->setRowCount(0);
    const std::vector<Contact>& contacts = m_book.Contacts();
    // Read at each fill, so that rules changed in the configuration show at the next.
    const qp::DialRules rules = qp::LoadDialRules(qp::Profile());
    for (std::size_t index = 0; index < contacts.size(); ++index) {
        const Contact& contact = contacts[index];
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        QTableWidgetItem* name = Cell(contact.name);
        name->setData(kIndexRole, static_cast<qulonglong>(index));
        m_table->setItem(row, kNameColumn, name);
        m_table->setItem(row, kOrganisationColumn, Cell(contact.organisation));
        const NumberCells numbers = NumberCellsFor(contact, rules);
        m_table->setItem(row, kNumberColumn, ShownCell(numbers.written));
        m_table->setItem(row, kDialsColumn, ShownCell(numbers.dials));
        m_table->setItem(row, kNoteColumn, ShownCell(numbers.note));
    }
    m_table->setSortingEnabled(true);
    m_table->resizeColumnsToContents();
    m_table->resizeRowsToContents();
    m_table->horizontalHeader()->setStretchLastSection(true);
    ApplyFilter();
    m_table->clearSelection();
    for (int row = 0; select && row < m_table->rowCount(); ++row) {
        if (m_table->item(row, kNameColumn)->data(kIndexRole).toULongLong() == *select)
            m_table->selectRow(row);
    }
    UpdateButtons();
}

void ContactsWindow::ApplyFilter() {
    const qp::contacts::ContactMatcher matcher(m_search->text().toStdString());
    const std::vector<Contact>& contacts = m_book.Contacts();
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const std::size_t index = m_table->item(row, kNameColumn)->data(kIndexRole).toULongLong();
        const bool shown =
            matcher.Empty() || matcher.InContact(contacts[index]) != qp::contacts::Match::None;
        m_table->setRowHidden(row, !shown);
    }
    UpdateButtons();
}

std::optional<std::size_t> ContactsWindow::SelectedIndex() const {
    const QList<QTableWidgetItem*> selected = m_table->selectedItems();
    if (selected.isEmpty() || m_table->isRowHidden(selected.front()->row()))
        return std::nullopt;
    return m_table->item(selected.front()->row(), kNameColumn)->data(kIndexRole).toULongLong();
}

void ContactsWindow::UpdateButtons() {
    const bool any = SelectedIndex().has_value();
    m_edit->setEnabled(any);
    m_delete->setEnabled(any);
}

void ContactsWindow::OnAdd() {
    const std::optional<Contact> contact = m_seams.editContact(this, Contact{});
    if (!contact)
        return;
    m_book.Add(*contact);
    Reload(m_book.Contacts().size() - 1);
}

void ContactsWindow::OnEdit() {
    const std::optional<std::size_t> index = SelectedIndex();
    if (!index)
        return;
    const std::optional<Contact> contact = m_seams.editContact(this, m_book.Contacts()[*index]);
    if (!contact)
        return;
    m_book.Replace(*index, *contact);
    Reload(*index);
}

void ContactsWindow::OnDelete() {
    const std::optional<std::size_t> index = SelectedIndex();
    if (!index || qp::ShowMessage(kDeleteQuestion, qp::MessageIcon::Question,
                                  qp::MessageButtons::YesNo) != qp::MessageAnswer::Yes)
        return;
    const int row = m_table->currentRow();
    m_book.Remove(*index);
    Reload();
    // The selection stays where the user was working, on the row that took the deleted one's
    // place.
    if (m_table->rowCount() > 0)
        m_table->selectRow(std::clamp(row, 0, m_table->rowCount() - 1));
}

void ContactsWindow::OnImport() {
    const std::optional<std::string> path =
        m_seams.chooseImport(this, m_importFolder.StartFolder());
    if (!path)
        return;
    m_importFolder.Remember(*path);
    qp::contacts::ContactImport import =
        qp::contacts::ReadContactImport(*path, m_book.Contacts(), qp::LoadDialRules(qp::Profile()));
    if (!import.problem.empty()) {
        qp::ShowMessage(qp::ShownAsText(*path) + " could not be imported: " + import.problem + ".");
        return;
    }
    const std::string summary = qp::contacts::ImportSummary(import);
    if (!import.added.empty())
        m_book.AddAll(std::move(import.added));
    Reload();
    qp::ShowMessage(summary, qp::MessageIcon::Information);
}

void ContactsWindow::OnExport() {
    const std::optional<std::string> path =
        m_seams.chooseExport(this, m_exportFolder.StartFolder());
    if (!path)
        return;
    m_exportFolder.Remember(*path);
    if (!qp::WriteFileAtomically(*path, qp::contacts::WriteVCards(m_book.Contacts()), kExportMode))
        qp::ShowMessage("The contacts could not be exported to " + qp::ShownAsText(*path) + ": " +
                        std::strerror(errno));
}
