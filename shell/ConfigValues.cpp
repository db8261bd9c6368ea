#include "shell/ConfigValues.h"

#include "base/AccountStore.h"

namespace qp {
namespace {

std::optional<std::string> ShownPin(const AccountStore& account) {
    if (!account.PinKnown())
        return std::nullopt;
    return account.Get().pin;
}

void SavePin(AccountStore& account, const std::optional<std::string>& pin) {
    if (pin)
        account.SavePin(*pin);
}

} // namespace

// A custom host stays whatever the dialog does: only settings that name no server get the
// service's.
MessageBoxFields InitialConfigOnOpen(AccountStore& account) {
    account.StoreDefaultServer();
    return MessageBoxFields{account.Get().login, ShownPin(account)};
}

void InitialConfigOnOk(AccountStore& account, const MessageBoxFields& fields) {
    account.StoreDefaultServer();
    account.SaveLogin(fields.login);
    SavePin(account, fields.pin);
}

void InitialConfigOnCancel(AccountStore& account) {
    account.StoreDefaultServer();
}

PreferenceFields PreferencesOnOpen(const AccountStore& store) {
    const AccountSettings account = store.Get();
    return PreferenceFields{account.login, ShownPin(store), account.host, account.notifyEmail,
                            account.dialRules};
}

void PreferencesOnOk(AccountStore& store, const PreferenceFields& fields) {
    AccountSettings account = store.Get();
    account.login = fields.login;
    account.host = fields.host;
    account.notifyEmail = fields.notifyEmail;
    account.dialRules = fields.dialRules;
    store.Save(account);
    SavePin(store, fields.pin);
}

} // namespace qp
