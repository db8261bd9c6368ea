#include "shell/ConfigValues.h"

#include "base/AccountStore.h"
#include "base/Settings.h"

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

template <typename Change> void SaveChanged(AccountStore& store, Change change) {
    AccountSettings account = store.Get();
    change(account);
    store.Save(account);
}

void ResetServer(AccountStore& store) {
    SaveChanged(store, [](AccountSettings& a) { a.host = settings::kDefaultFaxHost; });
}

} // namespace

MessageBoxFields InitialConfigOnOpen(AccountStore& account) {
    MessageBoxFields fields{account.Get().login, ShownPin(account)};
    ResetServer(account);
    return fields;
}

void InitialConfigOnOk(AccountStore& account, const MessageBoxFields& fields) {
    SaveChanged(account, [&](AccountSettings& a) { a.login = fields.login; });
    SavePin(account, fields.pin);
}

void InitialConfigOnCancel(AccountStore& account) {
    ResetServer(account);
}

PreferenceFields PreferencesOnOpen(const AccountStore& store) {
    const AccountSettings account = store.Get();
    return PreferenceFields{account.login, ShownPin(store), account.host, account.notifyEmail};
}

void PreferencesOnOk(AccountStore& account, const PreferenceFields& fields) {
    SaveChanged(account, [&](AccountSettings& a) {
        a.login = fields.login;
        a.host = fields.host;
        a.notifyEmail = fields.notifyEmail;
    });
    SavePin(account, fields.pin);
}

} // namespace qp
