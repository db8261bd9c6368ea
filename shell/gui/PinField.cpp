#include "shell/gui/PinField.h"

#include "base/AccountStore.h"

#include <QLineEdit>

namespace qp {

PinField::PinField(AccountStore& account, QLineEdit& edit, const std::optional<std::string>& pin)
    : m_edit(&edit) {
    if (pin) {
        edit.setText(QString::fromStdString(*pin));
        return;
    }
    edit.setEnabled(false);
    edit.setPlaceholderText(QStringLiteral("Reading the keyring..."));
    account.WhenPinKnown([&account, field = m_edit] {
        if (!field)
            return;
        field->setText(QString::fromStdString(account.Get().pin));
        field->setPlaceholderText(QString());
        field->setEnabled(true);
    });
}

std::optional<std::string> PinField::Accepted() const {
    if (!m_edit || !m_edit->isEnabled())
        return std::nullopt;
    return m_edit->text().toStdString();
}

} // namespace qp
