#pragma once

#include <string>

namespace qp {

// The fax server account as one consistent snapshot: the configuration dialogs write it on one
// thread while a send on the watcher thread reads it.
struct AccountSettings {
    std::string host;
    int port = 0;
    std::string login;
    std::string pin;
    std::string notifyEmail;
};

class Profile;

// The account as stored in the user's settings: "ln", "ps", "host", "port", "notifyemail".
AccountSettings LoadAccountSettings(const Profile& profile);

} // namespace qp
