#include "contacts/gui/ContactEditDialog.h"

#include "platform/OutsideText.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString Shown(const std::string& text) {
    return QString::fromStdString(qp::ShownAsText(text));
}

QString NumberLines(const qp::contacts::Contact& contact, bool fax) {
    QStringList lines;
    for (const qp::contacts::PhoneNumber& number : contact.numbers) {
        if (number.fax == fax)
            lines << Shown(number.number);
    }
    return lines.join('\n');
}

void AddNumbers(const QPlainTextEdit& edit, bool fax, qp::contacts::Contact& contact) {
    for (const QString& line : edit.toPlainText().split('\n')) {
        const QString number = line.trimmed();
        if (!number.isEmpty())
            contact.numbers.push_back({number.toStdString(), fax});
    }
}

QPlainTextEdit* NumbersEdit(const QString& text, QWidget* parent) {
    auto* edit = new QPlainTextEdit(text, parent);
    edit->setTabChangesFocus(true);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit->setFixedHeight(edit->fontMetrics().lineSpacing() * 4 + 2 * edit->frameWidth() + 8);
    return edit;
}

} // namespace

ContactEditDialog::ContactEditDialog(const qp::contacts::Contact& contact, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(contact == qp::contacts::Contact{} ? QStringLiteral("Add Contact")
                                                      : QStringLiteral("Edit Contact"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    m_name = new QLineEdit(Shown(contact.name), this);
    m_organisation = new QLineEdit(Shown(contact.organisation), this);
    m_faxNumbers = NumbersEdit(NumberLines(contact, true), this);
    m_otherNumbers = NumbersEdit(NumberLines(contact, false), this);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Name:"), m_name);
    form->addRow(QStringLiteral("&Organisation:"), m_organisation);
    form->addRow(QStringLiteral("&Fax numbers:"), m_faxNumbers);
    form->addRow(QStringLiteral("O&ther numbers:"), m_otherNumbers);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (QLineEdit* edit : {m_name, m_organisation})
        connect(edit, &QLineEdit::textChanged, this, [this] { UpdateOk(); });
    for (QPlainTextEdit* edit : {m_faxNumbers, m_otherNumbers})
        connect(edit, &QPlainTextEdit::textChanged, this, [this] { UpdateOk(); });
    UpdateOk();
}

qp::contacts::Contact ContactEditDialog::EditedContact() const {
    qp::contacts::Contact contact;
    contact.name = m_name->text().trimmed().toStdString();
    contact.organisation = m_organisation->text().trimmed().toStdString();
    AddNumbers(*m_faxNumbers, true, contact);
    AddNumbers(*m_otherNumbers, false, contact);
    return contact;
}

void ContactEditDialog::UpdateOk() {
    const qp::contacts::Contact contact = EditedContact();
    m_ok->setEnabled((!contact.name.empty() || !contact.organisation.empty()) &&
                     !contact.numbers.empty());
}
