#include "fax/Account.h"

#include "app/Settings.h"
#include "platform/Profile.h"

namespace qp {

AccountSettings LoadAccountSettings(const Profile& profile) {
    using namespace settings;
    AccountSettings account;
    account.login = profile.GetString(kSection, kLogin, "");
    account.pin = profile.GetString(kSection, kPin, "");
    account.host = profile.GetString(kSection, kHost, kDefaultFaxHost);
    account.port = profile.GetInt(kSection, kPort, kDefaultFaxPort);
    account.notifyEmail = profile.GetString(kSection, kNotifyEmail, "");
    return account;
}

} // namespace qp
