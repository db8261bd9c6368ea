#pragma once

#include <string>

class CQuillpostApp;

namespace qp {

// What the configuration dialogs write, both to the settings and to the running application, so
// the next fax uses the new account without a restart. No value is checked or trimmed: the edit
// fields' own rules are all the validation there is.

struct MessageBoxFields {
    std::string login;
    std::string pin;
};

// The message box dialog ("-configure"). Opening it, and cancelling it, puts the service's fax
// server back in place.
MessageBoxFields InitialConfigOnOpen(CQuillpostApp& app);
void InitialConfigOnOk(CQuillpostApp& app, const MessageBoxFields& fields);
void InitialConfigOnCancel(CQuillpostApp& app);

struct PreferenceFields {
    std::string login;
    std::string pin;
    std::string host;
    std::string notifyEmail;
};

// The full configuration dialog; cancelling it writes nothing.
PreferenceFields PreferencesOnOpen(const CQuillpostApp& app);
void PreferencesOnOk(CQuillpostApp& app, const PreferenceFields& fields);

} // namespace qp
