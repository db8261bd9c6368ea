#pragma once

#include "base/DialogFolder.h"
#include "contacts/ContactBook.h"

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

class QLineEdit;
class QPushButton;
class QTableWidget;

// How the window asks the user for files and for a contact's details; tests give their own.
struct ContactsWindowSeams {
    // The file dialog opens in `startFolder`.
    using FileChooser =
        std::function<std::optional<std::string>(QWidget* owner, const std::string& startFolder)>;
    // An address book file to import (vCard or CSV); nothing when cancelled.
    FileChooser chooseImport;
    // Where to export the contacts to; nothing when cancelled.
    FileChooser chooseExport;
    // The contact dialog, starting from `contact` (empty to add one); nothing when cancelled.
    std::function<std::optional<qp::contacts::Contact>(QWidget* owner,
                                                       const qp::contacts::Contact& contact)>
        editContact;
};
ContactsWindowSeams DefaultContactsWindowSeams();

// The address book: a table of the contacts, sortable by any column and filtered as the search
// text is typed, with Add, Edit, Delete (asked first), Import... and Export.... Each fax number is
// shown as written and as the account's dial rules dial it; the note column says why one cannot be
// dialled, and such a contact is kept all the same.
// Every change is saved at once. Import and export each open where they were last used, at first in
// the user's documents. Meant to be shown non-modally; `book` must outlive it.
class ContactsWindow final : public QDialog {
public:
    enum Column { kNameColumn, kOrganisationColumn, kNumberColumn, kDialsColumn, kNoteColumn };

    explicit ContactsWindow(qp::contacts::ContactBook& book, QWidget* parent = nullptr,
                            ContactsWindowSeams seams = DefaultContactsWindowSeams());

    // Fills the table from the book, keeping the search text; `select` is a book index to select.
    void Reload(std::optional<std::size_t> select = std::nullopt);
    void OnAdd();
    void OnEdit();
    void OnDelete();
    void OnImport();
    void OnExport();

    QTableWidget* Table() const { return m_table; }
    QLineEdit* SearchBox() const { return m_search; }

private:
    std::optional<std::size_t> SelectedIndex() const;
    void ApplyFilter();
    void UpdateButtons();

    qp::contacts::ContactBook& m_book;
    ContactsWindowSeams m_seams;
    qp::DialogFolder m_importFolder;
    qp::DialogFolder m_exportFolder;
    QLineEdit* m_search = nullptr;
    QTableWidget* m_table = nullptr;
    QPushButton* m_edit = nullptr;
    QPushButton* m_delete = nullptr;
};
