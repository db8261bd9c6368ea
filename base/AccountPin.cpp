#include "base/AccountPin.h"

#include "base/Settings.h"
#include "platform/Profile.h"

#include <optional>

namespace qp {
namespace {

using settings::kLogin;
using settings::kPin;
using settings::kPinInKeyring;
using settings::ReadText;
using settings::Write;

std::string StoredPin(const Profile& profile) {
    return ReadText(profile, kPin);
}

bool InKeyring(const SecretOutcome& outcome) {
    return outcome.kind == SecretOutcome::Kind::Found ||
           outcome.kind == SecretOutcome::Kind::NotFound;
}

// Written only when it changes: every start of a client, and every run of quillpost-send, asks.
void MarkPinInKeyring(const Profile& profile, bool inKeyring) {
    const char* mark = inKeyring ? "true" : "false";
    if (ReadText(profile, kPinInKeyring) != mark)
        Write(profile, kPinInKeyring, std::string(mark));
}

} // namespace

void FindPin(SecretStore& store, const Profile& profile, SecretAnswer done) {
    const std::string stored = StoredPin(profile);
    if (!stored.empty()) {
        done(SecretOutcome::Found(stored));
        return;
    }
    store.Read([profile, done = std::move(done)](const SecretOutcome& found) {
        if (InKeyring(found))
            MarkPinInKeyring(profile, found.kind == SecretOutcome::Kind::Found);
        done(found);
    });
}

bool PinKeptInKeyring(const Profile& profile) {
    const settings::Snapshot stored = settings::ReadAll(profile);
    if (stored.Has(kPinInKeyring))
        return stored.Text(kPinInKeyring) == "true";
    // Settings from before the mark: a configured account without "ps" had it moved to the keyring.
    return !stored.Has(kPin) && !stored.Text(kLogin).empty();
}

void MoveStoredPin(SecretStore& store, const Profile& profile) {
    const std::string stored = StoredPin(profile);
    if (stored.empty())
        return;
    store.Write(stored, [profile, stored](const SecretOutcome& written) {
        // A dialog may have put another PIN into "ps" meanwhile; that one waits for next time.
        if (written.kind != SecretOutcome::Kind::Found || StoredPin(profile) != stored)
            return;
        // The mark first: however far this gets, the PIN is found again.
        MarkPinInKeyring(profile, true);
        Write(profile, kPin, std::nullopt);
    });
}

void KeepPin(SecretStore& store, const Profile& profile, const std::string& pin,
             SecretAnswer done) {
    auto kept = [profile, pin, done = std::move(done)](const SecretOutcome& outcome) {
        if (InKeyring(outcome)) {
            MarkPinInKeyring(profile, outcome.kind == SecretOutcome::Kind::Found);
            Write(profile, kPin, std::nullopt);
        } else {
            Write(profile, kPin, pin);
            MarkPinInKeyring(profile, false);
        }
        if (done)
            done(outcome);
    };
    if (pin.empty())
        store.Remove(std::move(kept));
    else
        store.Write(pin, std::move(kept));
}

} // namespace qp
