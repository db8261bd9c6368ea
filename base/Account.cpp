#include "base/Account.h"

#include "base/Settings.h"
#include "platform/Profile.h"

namespace qp {

AccountSettings LoadAccountSettings(const Profile& profile) {
    using namespace settings;
    const Snapshot stored = ReadAll(profile);
    return AccountSettings{stored.Text(kHost), stored.Number(kPort),      stored.Text(kLogin),
                           stored.Text(kPin),  stored.Text(kNotifyEmail), LoadDialRules(stored)};
}

bool SaveAccountSettings(const Profile& profile, const AccountSettings& account) {
    using namespace settings;
    // The port written beside the host is always the service's, as "p"; "port" is left alone.
    std::vector<std::pair<std::string, std::string>> entries{
        {kLogin.key, account.login},
        {kHost.key, account.host},
        {kPortWritten.key, std::to_string(kDefaultFaxPort)},
        {kNotifyEmail.key, account.notifyEmail}};
    for (auto& entry : DialRulesEntries(account.dialRules))
        entries.push_back(std::move(entry));
    return profile.WriteStrings(kSection, entries);
}

bool SaveDefaultServerWhereMissing(const Profile& profile) {
    using namespace settings;
    const Snapshot stored = ReadAll(profile);
    if (stored.Has(kHost))
        return true;
    std::vector<std::pair<std::string, std::string>> missing{{kHost.key, kDefaultFaxHost}};
    if (!stored.Has(kPortWritten))
        missing.emplace_back(kPortWritten.key, std::to_string(kDefaultFaxPort));
    return profile.WriteStrings(kSection, missing);
}

} // namespace qp
