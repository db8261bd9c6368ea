#include "base/AccountStore.h"

#include "base/AccountPin.h"
#include "base/Settings.h"

#include <cstdio>
#include <utility>

namespace qp {

AccountStore::AccountStore(Profile profile, std::unique_ptr<SecretStore> secrets)
    : m_profile(std::move(profile)),
      m_secrets(secrets ? std::move(secrets) : std::make_unique<NoSecretStore>()) {}

AccountStore::~AccountStore() = default;

void AccountStore::Read() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_account = LoadAccountSettings(m_profile);
        m_pinPending = true;
        m_pinProblem.clear();
        m_pinUnreachable = false;
    }
    FindPin(*m_secrets, m_profile, [this](const SecretOutcome& found) { SettlePin(found); });
    MoveStoredPin(*m_secrets, m_profile);
}

void AccountStore::Reload() {
    AccountSettings stored = LoadAccountSettings(m_profile);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (stored.pin.empty())
        stored.pin = m_account.pin;
    m_account = std::move(stored);
}

void AccountStore::SettlePin(const SecretOutcome& found) {
    const bool unreachable =
        found.kind == SecretOutcome::Kind::NoService && PinKeptInKeyring(m_profile);
    std::vector<std::function<void()>> waiters;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // A PIN the user entered meanwhile is newer than the keyring's.
        if (!m_pinPending)
            return;
        m_pinPending = false;
        if (found.kind == SecretOutcome::Kind::Found)
            m_account.pin = found.pin;
        if (found.kind == SecretOutcome::Kind::Failed)
            m_pinProblem = found.reason;
        m_pinUnreachable = unreachable;
        waiters.swap(m_pinWaiters);
    }
    m_pinSettled.notify_all();
    for (const std::function<void()>& waiter : waiters)
        waiter();
}

AccountSettings AccountStore::Get() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_account;
}

void AccountStore::Set(const AccountSettings& account) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_account = account;
}

void AccountStore::SetHost(const std::string& host) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_account.host = host;
}

void AccountStore::Save(const AccountSettings& account) {
    // A failed write is not reported: the running program uses the new account all the same.
    SaveAccountSettings(m_profile, account);
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::string pin = m_account.pin;
    m_account = account;
    m_account.pin = pin;
}

void AccountStore::SaveLogin(const std::string& login) {
    settings::Write(m_profile, settings::kLogin, login);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_account.login = login;
}

void AccountStore::StoreDefaultServer() {
    SaveDefaultServerWhereMissing(m_profile);
}

void AccountStore::SavePin(const std::string& pin) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_account.pin = pin;
        m_pinProblem.clear();
        if (m_pinUnreachable)
            return;
    }
    SettlePin(SecretOutcome::Found(pin));
    KeepPin(*m_secrets, m_profile, pin, [](const SecretOutcome& kept) {
        if (kept.kind == SecretOutcome::Kind::Failed)
            std::fprintf(stderr,
                         "Quillpost: the keyring did not take the PIN (%s); it is kept in the "
                         "settings file until the next start.\n",
                         kept.reason.c_str());
    });
}

bool AccountStore::PinKnown() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_pinPending;
}

bool AccountStore::PinUnreachable() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pinUnreachable;
}

void AccountStore::WhenPinKnown(std::function<void()> then) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_pinPending) {
            m_pinWaiters.push_back(std::move(then));
            return;
        }
    }
    then();
}

Outcome AccountStore::WaitForPin(std::chrono::milliseconds bound, std::stop_token stop) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_pinSettled.wait_for(lock, stop, bound, [this] { return !m_pinPending; })) {
        if (stop.stop_requested())
            return Outcome::Stopped();
        return Outcome::Failure(
            "The PIN is still being read from the keyring. If the keyring asks for its "
            "password, enter it, then send again.");
    }
    if (m_account.pin.empty() && m_pinUnreachable)
        return Outcome::Failure(kPinInUnreachableKeyring);
    if (m_account.pin.empty() && !m_pinProblem.empty())
        return Outcome::Failure("The PIN could not be read from the keyring: " + m_pinProblem);
    return Outcome::Success();
}

} // namespace qp
