#pragma once

#include "base/Account.h"
#include "base/Outcome.h"
#include "platform/Profile.h"
#include "platform/SecretStore.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

namespace qp {

// Why a send has no PIN when the settings say the keyring holds it and the keyring cannot be asked.
inline constexpr const char* kPinInUnreachableKeyring =
    "The PIN is kept in the desktop keyring, which this session cannot reach.";

// The fax server account of the running program: read from the settings at start, changed by
// the configuration dialogs, read whole by every send. The PIN comes from the desktop's keyring
// when there is one, and the keyring may take its time (or a password prompt) to answer: whatever
// needs the PIN meanwhile waits for it. Thread-safe.
class AccountStore {
public:
    // The PIN is kept in `secrets` when given (the desktop's keyring), else in the settings file.
    explicit AccountStore(Profile profile = Profile(),
                          std::unique_ptr<SecretStore> secrets = nullptr);
    ~AccountStore();
    AccountStore(const AccountStore&) = delete;
    AccountStore& operator=(const AccountStore&) = delete;

    // Reads the account from the settings and asks the keyring for the PIN.
    void Read();
    // Takes up the account as the settings file has it now, after another process (or an editor)
    // changed it: the server, message box number and e-mail address, and the PIN where the file
    // keeps it; a PIN from the keyring or typed in a dialog stays.
    void Reload();

    AccountSettings Get() const;
    // The running account only; nothing is written.
    void Set(const AccountSettings& account);
    void SetHost(const std::string& host);
    // Writes the account (all but the PIN) to the settings in one write and uses it from now on.
    void Save(const AccountSettings& account);
    // Writes the message box number alone and uses it from now on.
    void SaveLogin(const std::string& login);
    // Puts the service's fax server into settings that name none; a stored host stays as it is.
    void StoreDefaultServer();

    // The PIN the configuration dialogs accepted: used from now on, and kept in the keyring when
    // the desktop has one, else in the settings file. While the keyring that holds the PIN cannot
    // be reached, it is used for the life of this program only (an empty one gives the keyring's
    // PIN back its place) and stored nowhere: the keyring keeps the PIN of the sessions that reach
    // it, and a PIN typed here never lands in the file beside it.
    void SavePin(const std::string& pin);
    // False while the keyring has not yet answered the look-up that Read began.
    bool PinKnown() const;
    // The settings say the keyring holds the PIN, and this session has no keyring to ask.
    bool PinUnreachable() const;
    // Runs `then` once the PIN is known (at once when it is), on the thread the keyring answers on.
    void WhenPinKnown(std::function<void()> then);
    // For a worker that is about to use the account: waits, at most `bound`, for the PIN look-up.
    // A failure says why there is no PIN to use; never call it on the GUI thread.
    Outcome WaitForPin(std::chrono::milliseconds bound, std::stop_token stop = {}) const;

    const Profile& Settings() const { return m_profile; }

private:
    void SettlePin(const SecretOutcome& found);

    Profile m_profile;
    mutable std::mutex m_mutex;
    AccountSettings m_account;
    // While the keyring is asked for the PIN; a send waits on m_pinSettled meanwhile.
    bool m_pinPending = false;
    // Why the keyring could not give the PIN, when it could not.
    std::string m_pinProblem;
    // The PIN is in a keyring this session cannot reach; m_account.pin is then one typed for it.
    bool m_pinUnreachable = false;
    std::vector<std::function<void()>> m_pinWaiters;
    mutable std::condition_variable_any m_pinSettled;
    // Last, so that it goes first: no answer of the keyring reaches a half-destroyed object.
    std::unique_ptr<SecretStore> m_secrets;
};

} // namespace qp
