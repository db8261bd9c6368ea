#include "base/AccountPin.h"

#include "base/Settings.h"
#include "platform/Profile.h"

#include <optional>

namespace qp {
namespace {

using settings::kPin;
using settings::ReadText;
using settings::Write;

std::string StoredPin(const Profile& profile) {
    return ReadText(profile, kPin);
}

bool InKeyring(const SecretOutcome& outcome) {
    return outcome.kind == SecretOutcome::Kind::Found ||
           outcome.kind == SecretOutcome::Kind::NotFound;
}

} // namespace

void FindPin(SecretStore& store, const Profile& profile, SecretAnswer done) {
    const std::string stored = StoredPin(profile);
    if (!stored.empty()) {
        done(SecretOutcome::Found(stored));
        return;
    }
    store.Read(std::move(done));
}

void MoveStoredPin(SecretStore& store, const Profile& profile) {
    const std::string stored = StoredPin(profile);
    if (stored.empty())
        return;
    store.Write(stored, [profile, stored](const SecretOutcome& written) {
        // A dialog may have put another PIN into "ps" meanwhile; that one waits for next time.
        if (written.kind == SecretOutcome::Kind::Found && StoredPin(profile) == stored)
            Write(profile, kPin, std::nullopt);
    });
}

void KeepPin(SecretStore& store, const Profile& profile, const std::string& pin,
             SecretAnswer done) {
    auto kept = [profile, pin, done = std::move(done)](const SecretOutcome& outcome) {
        Write(profile, kPin, InKeyring(outcome) ? std::nullopt : std::optional<std::string>(pin));
        if (done)
            done(outcome);
    };
    if (pin.empty())
        store.Remove(std::move(kept));
    else
        store.Write(pin, std::move(kept));
}

} // namespace qp
