#include "shell/ConfigValues.h"

#include "app/QuillpostApp.h"
#include "app/Settings.h"

namespace qp {
namespace {

using namespace settings;

// Changes one member of the running account; the rest stays as it stands.
template <typename Change> void Assign(CQuillpostApp& app, Change change) {
    AccountSettings account = app.Account();
    change(account);
    app.SetAccount(account);
}

// A failed write is not reported: the running program uses the new value all the same.
void WriteString(CQuillpostApp& app, const char* entry, const std::string& value) {
    app.WriteProfileString(kSection, entry, value.c_str());
}

// The port written beside the host is always the service's, as "p". The program connects to the
// port stored as "port" (set by hand, or the service's when absent) and goes on doing so: a
// setting silently dropped would send the next fax to a server that is not there.
void ResetPort(CQuillpostApp& app) {
    app.WriteProfileInt(kSection, kPortWritten, kDefaultFaxPort);
}

std::optional<std::string> ShownPin(const CQuillpostApp& app) {
    if (!app.PinKnown())
        return std::nullopt;
    return app.Account().pin;
}

void SavePin(CQuillpostApp& app, const std::optional<std::string>& pin) {
    if (pin)
        app.SavePin(*pin);
}

void ResetServer(CQuillpostApp& app) {
    WriteString(app, kHost, kDefaultFaxHost);
    Assign(app, [](AccountSettings& a) { a.host = kDefaultFaxHost; });
    ResetPort(app);
}

} // namespace

MessageBoxFields InitialConfigOnOpen(CQuillpostApp& app) {
    MessageBoxFields fields{app.Account().login, ShownPin(app)};
    ResetServer(app);
    return fields;
}

void InitialConfigOnOk(CQuillpostApp& app, const MessageBoxFields& fields) {
    WriteString(app, kLogin, fields.login);
    Assign(app, [&](AccountSettings& a) { a.login = fields.login; });
    SavePin(app, fields.pin);
}

void InitialConfigOnCancel(CQuillpostApp& app) {
    ResetServer(app);
}

PreferenceFields PreferencesOnOpen(const CQuillpostApp& app) {
    const AccountSettings account = app.Account();
    return PreferenceFields{account.login, ShownPin(app), account.host, account.notifyEmail};
}

void PreferencesOnOk(CQuillpostApp& app, const PreferenceFields& fields) {
    ResetPort(app);
    WriteString(app, kLogin, fields.login);
    Assign(app, [&](AccountSettings& a) { a.login = fields.login; });
    SavePin(app, fields.pin);
    WriteString(app, kHost, fields.host);
    Assign(app, [&](AccountSettings& a) { a.host = fields.host; });
    WriteString(app, kNotifyEmail, fields.notifyEmail);
    Assign(app, [&](AccountSettings& a) { a.notifyEmail = fields.notifyEmail; });
}

} // namespace qp
