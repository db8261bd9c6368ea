#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qp {

// Detached Ed25519 signatures in the minisign format, so that vendors can make and check keys and
// signatures with the minisign tool as well as with quillpost-release.
inline constexpr std::size_t kMinisignKeyIdBytes = 8;

struct MinisignPublicKey {
    std::array<unsigned char, kMinisignKeyIdBytes> keyId{};
    std::array<unsigned char, 32> key{};
};

struct MinisignSecretKey {
    std::array<unsigned char, kMinisignKeyIdBytes> keyId{};
    std::array<unsigned char, 64> key{};
};

// A public key file ("untrusted comment: ..." and the key line) or the bare base64 key line.
std::optional<MinisignPublicKey> ParseMinisignPublicKey(std::string_view text);

// A secret key file; an encrypted one needs its password. Nothing when the file is malformed, the
// password is wrong or missing, or the checksum does not match.
std::optional<MinisignSecretKey> ParseMinisignSecretKey(std::string_view text,
                                                        const std::string& password = {});
// Whether the secret key file is protected by a password.
bool MinisignSecretKeyIsEncrypted(std::string_view text);

// The public key file that belongs to a secret key.
std::string MinisignPublicKeyFile(const MinisignSecretKey& secret);

// True when `signatureFile` is a valid signature of `message` by `key`, trusted comment included.
bool VerifyMinisign(const MinisignPublicKey& key, std::string_view message,
                    std::string_view signatureFile);

// The time in seconds that a signature's trusted comment gives as "timestamp:<seconds>" (as
// minisign and quillpost-release write it); nothing when it gives none. Meaningful only for a
// signature that verified.
std::optional<std::uint64_t> MinisignTimestamp(std::string_view signatureFile);

// The signature file text for `message` (prehashed, as minisign signs by default).
std::string SignMinisign(const MinisignSecretKey& key, std::string_view message,
                         const std::string& trustedComment);

// Lower-case hex SHA-256 of a whole text.
std::string Sha256Hex(std::string_view data);

// SHA-256 over data that arrives in blocks.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void Update(std::string_view block);
    std::string FinalHex();

private:
    alignas(64) unsigned char m_state[128];
};

} // namespace qp
