#pragma once

#include <QPointer>
#include <optional>
#include <string>

class QLineEdit;

namespace qp {

class AccountStore;

// The PIN edit of the configuration dialogs. When a dialog opens before the keyring has given the
// PIN, the field waits, disabled, and fills in once it has; OK in the meantime keeps the stored
// PIN, so a field that was never filled never wipes it.
class PinField {
public:
    PinField(AccountStore& account, QLineEdit& edit, const std::optional<std::string>& pin);

    // The PIN to store; nothing while the field still waits.
    std::optional<std::string> Accepted() const;

private:
    QPointer<QLineEdit> m_edit;
};

} // namespace qp
