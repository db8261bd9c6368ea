#pragma once

#include <functional>
#include <string>

namespace qp {

// What the keyring holds for the PIN once an operation has ended, or why it could not be asked.
struct SecretOutcome {
    enum class Kind {
        Found,     // it holds `pin`: read, or just written
        NotFound,  // it holds no PIN: none was stored, or it was just removed
        NoService, // there is no keyring to ask (no session bus, no Secret Service on it)
        Failed     // the keyring is there but did not do it: locked, refused, or no answer
    };
    Kind kind = Kind::NotFound;
    std::string pin;
    // For NoService and Failed: in the user's words, for a message or a line on stderr.
    std::string reason;

    static SecretOutcome Found(std::string pin) { return {Kind::Found, std::move(pin), {}}; }
    static SecretOutcome NotFound() { return {Kind::NotFound, {}, {}}; }
    static SecretOutcome NoService(std::string reason) {
        return {Kind::NoService, {}, std::move(reason)};
    }
    static SecretOutcome Failed(std::string reason) {
        return {Kind::Failed, {}, std::move(reason)};
    }
};

using SecretAnswer = std::function<void(const SecretOutcome&)>;

// The one secret the program keeps, the message box PIN, in the desktop's keyring. A keyring may
// be locked behind a password prompt, slow to start or gone, so nothing here waits: every
// operation answers exactly once, on the thread that made the store (which runs a Qt event loop),
// later or before the call returns.
class SecretStore {
public:
    virtual ~SecretStore() = default;
    virtual void Read(SecretAnswer done) = 0;
    virtual void Write(const std::string& pin, SecretAnswer done) = 0;
    virtual void Remove(SecretAnswer done) = 0;
};

// A desktop without a keyring: the PIN stays in the settings file. Every test that keeps the PIN
// there runs with this one.
class NoSecretStore final : public SecretStore {
public:
    void Read(SecretAnswer done) override { done(Outcome()); }
    void Write(const std::string&, SecretAnswer done) override { done(Outcome()); }
    void Remove(SecretAnswer done) override { done(Outcome()); }

private:
    static SecretOutcome Outcome() { return SecretOutcome::NoService("no keyring is used"); }
};

// For command-line tools, which may wait: runs a local event loop until `start`'s operation has
// answered, and returns the answer.
SecretOutcome AwaitSecret(const std::function<void(SecretAnswer)>& start);

} // namespace qp
