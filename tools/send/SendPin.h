#pragma once

#include <iosfwd>
#include <optional>
#include <string>

namespace qp {
class Profile;
class SecretStore;
} // namespace qp

namespace qp::send {

// The first line of a PIN file, without its line end. The file must be a regular file of this
// user's that no one else may read or write (mode 0600 or stricter); anything else is refused,
// with `error` saying why.
std::optional<std::string> ReadPinFile(const std::string& path, std::string& error);

// The PIN for this run: "ps" when the settings hold one, else the keyring's (waited for here),
// else the first line of `pinFile`. Where neither the settings nor the keyring can give it, one
// line on `err` says so. Nothing when there is no PIN to be had: `exitCode` is then 1, or 2 when
// the PIN file cannot be used.
std::optional<std::string> PinForSend(SecretStore& store, const Profile& profile,
                                      const std::string& pinFile, std::ostream& err, int& exitCode);

} // namespace qp::send
