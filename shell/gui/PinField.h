#pragma once

#include <QPointer>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;

namespace qp {

class AccountStore;

// What a PIN field offers while the keyring that holds the PIN cannot be reached from this
// session (a plain X session, a login over SSH).
enum class UnreachablePin {
    // The user may type the PIN, which this program uses until it ends and stores nowhere.
    TypedForSession,
    // Nothing here would use a PIN typed for the session: the field stays shut.
    KeptAsIs,
};

// The PIN edit of the configuration dialogs. When a dialog opens before the keyring has given the
// PIN, the field waits, disabled, and fills in once it has; OK in the meantime keeps the stored
// PIN, so a field that was never filled never wipes it. A PIN in a keyring out of reach is named
// as such in a note below the field, for which the dialog grows.
class PinField {
public:
    PinField(AccountStore& account, QLineEdit& edit, UnreachablePin whenUnreachable,
             const std::optional<std::string>& pin);

    // The PIN to store; nothing while the field still waits or stays shut.
    std::optional<std::string> Accepted() const;

private:
    QPointer<QLineEdit> m_edit;
};

} // namespace qp
