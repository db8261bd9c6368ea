#pragma once

#include "base/DialRules.h"

#include <string>

namespace qp {

// The fax server account as one value: the configuration dialogs change it on the GUI thread while
// a send dialog's work reads it on its own thread, so it is always read and written whole.
struct AccountSettings {
    std::string host;
    int port = 0;
    std::string login;
    std::string pin;
    std::string notifyEmail;
    // How numbers written with "+" are dialled from the account's line.
    DialRules dialRules{};
};

class Profile;

// The account as stored in the user's settings ("ln", "ps", "host", "port", "notifyemail" and the
// dial rules), in one read of the file.
AccountSettings LoadAccountSettings(const Profile& profile);
// Writes "ln", "host", "notifyemail", "p" and the dial rules in one write; the PIN goes its own way
// (AccountPin.h).
bool SaveAccountSettings(const Profile& profile, const AccountSettings& account);
// The service's fax server ("host", and "p" beside it) where the settings name no host yet; a
// stored host, the user's own, is never replaced.
bool SaveDefaultServerWhereMissing(const Profile& profile);

} // namespace qp
