#pragma once

#include "platform/SecretStore.h"

#include <string>

namespace qp {

class Profile;

// Where the message box PIN lives. With a keyring on the desktop it lives there alone and the
// settings file holds no "ps", only "pinkeyring" saying that the keyring has it; without one it
// stays in "ps" of the 0600 settings file. A PIN is never lost on the way: "ps" goes only once the
// keyring has taken it, and a keyring that refuses it leaves it in "ps".

// The PIN to use: "ps" when it holds one (Found at once), else the keyring's answer. What a
// keyring that answers says is remembered in "pinkeyring" for the sessions that cannot ask it.
void FindPin(SecretStore& store, const Profile& profile, SecretAnswer done);

// Whether the settings say the keyring holds the PIN: for a session whose keyring cannot be
// reached, which then knows there is a PIN it cannot have.
bool PinKeptInKeyring(const Profile& profile);

// A PIN still in "ps" goes into the keyring, and "ps" is removed once it is there. "ps" is newer
// than the keyring's PIN: it was entered where there was no keyring. Nothing changes without one.
void MoveStoredPin(SecretStore& store, const Profile& profile);

// The PIN the user accepted in a configuration dialog: into the keyring with "ps" removed (an
// empty PIN removes the keyring's), else into "ps" as before. `done` learns where it went:
// Found/NotFound for the keyring, NoService or Failed when it went into "ps".
void KeepPin(SecretStore& store, const Profile& profile, const std::string& pin,
             SecretAnswer done = {});

} // namespace qp
