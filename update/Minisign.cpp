#include "update/Minisign.h"

#include "platform/TextLines.h"

#include <charconv>
#include <cstring>
#include <sodium.h>
#include <vector>

namespace qp {
namespace {

constexpr const char* kUntrustedPrefix = "untrusted comment: ";
constexpr const char* kTrustedPrefix = "trusted comment: ";
constexpr unsigned char kAlgLegacy[2] = {'E', 'd'};
constexpr unsigned char kAlgPrehashed[2] = {'E', 'D'};
constexpr std::size_t kSaltBytes = 32;
constexpr std::size_t kChecksumBytes = 32;
// sig_alg, kdf_alg, chk_alg, salt, opslimit, memlimit, then key id, secret key and checksum.
constexpr std::size_t kSecretHeaderBytes = 2 + 2 + 2 + kSaltBytes + 8 + 8;
constexpr std::size_t kSecretKeyBytes =
    kSecretHeaderBytes + kMinisignKeyIdBytes + crypto_sign_SECRETKEYBYTES + kChecksumBytes;
constexpr std::size_t kPublicKeyBytes = 2 + kMinisignKeyIdBytes + crypto_sign_PUBLICKEYBYTES;
constexpr std::size_t kSignatureBytes = 2 + kMinisignKeyIdBytes + crypto_sign_BYTES;

bool SodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

// Lines of a key or signature file, a CR before the LF dropped.
std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    for (std::string_view piece : SplitAtLineFeeds(text)) {
        if (!piece.empty() && piece.back() == '\r')
            piece.remove_suffix(1);
        lines.emplace_back(piece);
    }
    return lines;
}

std::optional<std::vector<unsigned char>> Base64Decode(const std::string& text,
                                                       std::size_t expected) {
    std::vector<unsigned char> bytes(expected + 1);
    std::size_t length = 0;
    if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length,
                          nullptr, sodium_base64_VARIANT_ORIGINAL) != 0 ||
        length != expected)
        return std::nullopt;
    bytes.resize(length);
    return bytes;
}

std::string Base64Encode(const unsigned char* data, std::size_t size) {
    std::string text(sodium_base64_encoded_len(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), data, size, sodium_base64_VARIANT_ORIGINAL);
    text.resize(std::strlen(text.c_str()));
    return text;
}

// The base64 line of a key file: the one after the comment, or the only line.
std::optional<std::string> KeyLine(std::string_view text) {
    for (const std::string& line : Lines(text)) {
        if (!line.empty() && line.rfind(kUntrustedPrefix, 0) != 0)
            return line;
    }
    return std::nullopt;
}

std::uint64_t LoadLittleEndian64(const unsigned char* p) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | p[i];
    return value;
}

void Checksum(const unsigned char* alg, const unsigned char* keyId, const unsigned char* secret,
              unsigned char* out) {
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, kChecksumBytes);
    crypto_generichash_update(&state, alg, 2);
    crypto_generichash_update(&state, keyId, kMinisignKeyIdBytes);
    crypto_generichash_update(&state, secret, crypto_sign_SECRETKEYBYTES);
    crypto_generichash_final(&state, out, kChecksumBytes);
}

std::array<unsigned char, crypto_generichash_BYTES_MAX> Prehash(std::string_view message) {
    std::array<unsigned char, crypto_generichash_BYTES_MAX> hash{};
    crypto_generichash(hash.data(), hash.size(),
                       reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                       nullptr, 0);
    return hash;
}

std::string KeyIdHex(const std::array<unsigned char, kMinisignKeyIdBytes>& keyId) {
    static const char* digits = "0123456789ABCDEF";
    std::string hex;
    for (int i = static_cast<int>(keyId.size()) - 1; i >= 0; --i) {
        hex += digits[keyId[i] >> 4];
        hex += digits[keyId[i] & 15];
    }
    return hex;
}

} // namespace

std::optional<MinisignPublicKey> ParseMinisignPublicKey(std::string_view text) {
    if (!SodiumReady())
        return std::nullopt;
    std::optional<std::string> line = KeyLine(text);
    if (!line)
        return std::nullopt;
    std::optional<std::vector<unsigned char>> bytes = Base64Decode(*line, kPublicKeyBytes);
    if (!bytes || std::memcmp(bytes->data(), kAlgLegacy, 2) != 0)
        return std::nullopt;
    MinisignPublicKey key;
    std::memcpy(key.keyId.data(), bytes->data() + 2, kMinisignKeyIdBytes);
    std::memcpy(key.key.data(), bytes->data() + 2 + kMinisignKeyIdBytes, key.key.size());
    return key;
}

bool MinisignSecretKeyIsEncrypted(std::string_view text) {
    if (!SodiumReady())
        return false;
    std::optional<std::string> line = KeyLine(text);
    if (!line)
        return false;
    std::optional<std::vector<unsigned char>> bytes = Base64Decode(*line, kSecretKeyBytes);
    return bytes && ((*bytes)[2] != 0 || (*bytes)[3] != 0);
}

std::optional<MinisignSecretKey> ParseMinisignSecretKey(std::string_view text,
                                                        const std::string& password) {
    if (!SodiumReady())
        return std::nullopt;
    std::optional<std::string> line = KeyLine(text);
    if (!line)
        return std::nullopt;
    std::optional<std::vector<unsigned char>> bytes = Base64Decode(*line, kSecretKeyBytes);
    if (!bytes || std::memcmp(bytes->data(), kAlgLegacy, 2) != 0)
        return std::nullopt;
    unsigned char* data = bytes->data();
    unsigned char* keyPart = data + kSecretHeaderBytes;
    const std::size_t keyPartBytes = kSecretKeyBytes - kSecretHeaderBytes;
    const bool encrypted = data[2] != 0 || data[3] != 0;
    if (encrypted) {
        if (data[2] != 'S' || data[3] != 'c' || password.empty())
            return std::nullopt;
        std::vector<unsigned char> stream(keyPartBytes);
        if (crypto_pwhash_scryptsalsa208sha256(
                stream.data(), stream.size(), password.data(), password.size(), data + 6,
                LoadLittleEndian64(data + 6 + kSaltBytes),
                static_cast<std::size_t>(LoadLittleEndian64(data + 6 + kSaltBytes + 8))) != 0)
            return std::nullopt;
        for (std::size_t i = 0; i < keyPartBytes; ++i)
            keyPart[i] ^= stream[i];
        sodium_memzero(stream.data(), stream.size());
    }
    const unsigned char* secret = keyPart + kMinisignKeyIdBytes;
    const unsigned char* stored = secret + crypto_sign_SECRETKEYBYTES;
    unsigned char checksum[kChecksumBytes];
    Checksum(data, keyPart, secret, checksum);
    // minisign leaves the checksum of a key without password empty; the key's own consistency
    // (its public half derived from its seed) then shows that it is intact.
    const bool checksumValid = sodium_memcmp(checksum, stored, kChecksumBytes) == 0 ||
                               (!encrypted && sodium_is_zero(stored, kChecksumBytes));
    unsigned char derivedPublic[crypto_sign_PUBLICKEYBYTES];
    unsigned char derivedSecret[crypto_sign_SECRETKEYBYTES];
    crypto_sign_seed_keypair(derivedPublic, derivedSecret, secret);
    const bool valid =
        checksumValid && sodium_memcmp(derivedSecret, secret, crypto_sign_SECRETKEYBYTES) == 0;
    sodium_memzero(derivedSecret, sizeof derivedSecret);
    std::optional<MinisignSecretKey> key;
    if (valid) {
        key.emplace();
        std::memcpy(key->keyId.data(), keyPart, kMinisignKeyIdBytes);
        std::memcpy(key->key.data(), keyPart + kMinisignKeyIdBytes, key->key.size());
    }
    sodium_memzero(data, bytes->size());
    return key;
}

std::string MinisignPublicKeyFile(const MinisignSecretKey& secret) {
    unsigned char bytes[kPublicKeyBytes];
    std::memcpy(bytes, kAlgLegacy, 2);
    std::memcpy(bytes + 2, secret.keyId.data(), kMinisignKeyIdBytes);
    // An Ed25519 secret key carries its public half in its last 32 bytes.
    crypto_sign_ed25519_sk_to_pk(bytes + 2 + kMinisignKeyIdBytes, secret.key.data());
    return std::string(kUntrustedPrefix) + "minisign public key " + KeyIdHex(secret.keyId) + "\n" +
           Base64Encode(bytes, sizeof bytes) + "\n";
}

bool VerifyMinisign(const MinisignPublicKey& key, std::string_view message,
                    std::string_view signatureFile) {
    if (!SodiumReady())
        return false;
    const std::vector<std::string> lines = Lines(signatureFile);
    if (lines.size() < 4 || lines[0].rfind(kUntrustedPrefix, 0) != 0 ||
        lines[2].rfind(kTrustedPrefix, 0) != 0)
        return false;
    std::optional<std::vector<unsigned char>> signature = Base64Decode(lines[1], kSignatureBytes);
    std::optional<std::vector<unsigned char>> global = Base64Decode(lines[3], crypto_sign_BYTES);
    if (!signature || !global ||
        std::memcmp(signature->data() + 2, key.keyId.data(), kMinisignKeyIdBytes) != 0)
        return false;
    const unsigned char* sig = signature->data() + 2 + kMinisignKeyIdBytes;
    bool valid = false;
    if (std::memcmp(signature->data(), kAlgPrehashed, 2) == 0) {
        const auto hash = Prehash(message);
        valid = crypto_sign_verify_detached(sig, hash.data(), hash.size(), key.key.data()) == 0;
    } else if (std::memcmp(signature->data(), kAlgLegacy, 2) == 0) {
        valid =
            crypto_sign_verify_detached(sig, reinterpret_cast<const unsigned char*>(message.data()),
                                        message.size(), key.key.data()) == 0;
    }
    if (!valid)
        return false;
    // The trusted comment is signed together with the signature itself.
    std::string signedComment(reinterpret_cast<const char*>(sig), crypto_sign_BYTES);
    signedComment += lines[2].substr(std::strlen(kTrustedPrefix));
    return crypto_sign_verify_detached(global->data(),
                                       reinterpret_cast<const unsigned char*>(signedComment.data()),
                                       signedComment.size(), key.key.data()) == 0;
}

std::optional<std::uint64_t> MinisignTimestamp(std::string_view signatureFile) {
    const std::vector<std::string> lines = Lines(signatureFile);
    if (lines.size() < 3 || lines[2].rfind(kTrustedPrefix, 0) != 0)
        return std::nullopt;
    const std::string comment = lines[2].substr(std::strlen(kTrustedPrefix));
    constexpr std::string_view kField = "timestamp:";
    // Tab-separated fields; the first one named "timestamp".
    std::size_t start = 0;
    while (start <= comment.size()) {
        std::size_t end = comment.find('\t', start);
        if (end == std::string::npos)
            end = comment.size();
        const std::string_view field = std::string_view(comment).substr(start, end - start);
        if (field.starts_with(kField)) {
            const std::string_view digits = field.substr(kField.size());
            std::uint64_t seconds = 0;
            const auto [last, error] =
                std::from_chars(digits.data(), digits.data() + digits.size(), seconds);
            if (digits.empty() || error != std::errc() || last != digits.data() + digits.size())
                return std::nullopt;
            return seconds;
        }
        start = end + 1;
    }
    return std::nullopt;
}

std::string SignMinisign(const MinisignSecretKey& key, std::string_view message,
                         const std::string& trustedComment) {
    if (!SodiumReady())
        return {};
    unsigned char signature[kSignatureBytes];
    std::memcpy(signature, kAlgPrehashed, 2);
    std::memcpy(signature + 2, key.keyId.data(), kMinisignKeyIdBytes);
    unsigned char* sig = signature + 2 + kMinisignKeyIdBytes;
    const auto hash = Prehash(message);
    crypto_sign_detached(sig, nullptr, hash.data(), hash.size(), key.key.data());
    std::string signedComment(reinterpret_cast<const char*>(sig), crypto_sign_BYTES);
    signedComment += trustedComment;
    unsigned char global[crypto_sign_BYTES];
    crypto_sign_detached(global, nullptr,
                         reinterpret_cast<const unsigned char*>(signedComment.data()),
                         signedComment.size(), key.key.data());
    return std::string(kUntrustedPrefix) + "signature from quillpost-release secret key\n" +
           Base64Encode(signature, sizeof signature) + "\n" + kTrustedPrefix + trustedComment +
           "\n" + Base64Encode(global, sizeof global) + "\n";
}

Sha256::Sha256() {
    static_assert(sizeof(crypto_hash_sha256_state) <= sizeof(m_state));
    SodiumReady();
    crypto_hash_sha256_init(reinterpret_cast<crypto_hash_sha256_state*>(m_state));
}

Sha256::~Sha256() = default;

void Sha256::Update(std::string_view block) {
    crypto_hash_sha256_update(reinterpret_cast<crypto_hash_sha256_state*>(m_state),
                              reinterpret_cast<const unsigned char*>(block.data()), block.size());
}

std::string Sha256::FinalHex() {
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256_final(reinterpret_cast<crypto_hash_sha256_state*>(m_state), digest);
    char hex[crypto_hash_sha256_BYTES * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return hex;
}

std::string Sha256Hex(std::string_view data) {
    Sha256 hash;
    hash.Update(data);
    return hash.FinalHex();
}

} // namespace qp
