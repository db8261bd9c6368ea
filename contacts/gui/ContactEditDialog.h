#pragma once

#include "contacts/Contact.h"

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// A contact's name, organisation and numbers, the fax numbers and the others one per line. OK
// needs a name or an organisation and at least one number.
class ContactEditDialog final : public QDialog {
public:
    explicit ContactEditDialog(const qp::contacts::Contact& contact, QWidget* parent = nullptr);

    // The contact as the fields hold it, trimmed, fax numbers first.
    qp::contacts::Contact EditedContact() const;

    QLineEdit* NameEdit() const { return m_name; }
    QLineEdit* OrganisationEdit() const { return m_organisation; }
    QPlainTextEdit* FaxNumbersEdit() const { return m_faxNumbers; }
    QPlainTextEdit* OtherNumbersEdit() const { return m_otherNumbers; }
    QPushButton* OkButton() const { return m_ok; }

private:
    void UpdateOk();

    QLineEdit* m_name = nullptr;
    QLineEdit* m_organisation = nullptr;
    QPlainTextEdit* m_faxNumbers = nullptr;
    QPlainTextEdit* m_otherNumbers = nullptr;
    QPushButton* m_ok = nullptr;
};
