#pragma once

#include "base/DialRules.h"

#include <optional>
#include <string>

namespace qp {

class AccountStore;

// What the configuration dialogs write to the account store, which keeps it in the settings and
// gives it to the next fax without a restart; the account goes in one write. No value is checked or
// trimmed: the edit fields' own rules are all the validation there is. The PIN goes into the
// desktop's keyring when there is one, else into the settings. It is missing (nullopt) from what a
// dialog opens with while the keyring has not answered yet, and from what it accepts when the PIN
// was never shown: a PIN not shown is kept as it is.

struct MessageBoxFields {
    std::string login;
    std::optional<std::string> pin;
};

// The message box dialog ("-configure"). It stores the number and the PIN on OK, and nothing else
// but the service's fax server where the settings name no host yet, on opening, OK or Cancel.
MessageBoxFields InitialConfigOnOpen(AccountStore& account);
void InitialConfigOnOk(AccountStore& account, const MessageBoxFields& fields);
void InitialConfigOnCancel(AccountStore& account);

struct PreferenceFields {
    std::string login;
    std::optional<std::string> pin;
    std::string host;
    std::string notifyEmail;
    DialRules dialRules;
};

// The full configuration dialog; cancelling it writes nothing.
PreferenceFields PreferencesOnOpen(const AccountStore& account);
void PreferencesOnOk(AccountStore& account, const PreferenceFields& fields);

} // namespace qp
