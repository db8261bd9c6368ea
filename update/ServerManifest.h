#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qp {

// A public key beside the program makes the client accept only manifests signed with it.
inline constexpr const char* kTrustedKeyName = "quillpost-release.pub";
inline constexpr const char* kSignatureSuffix = ".minisig";
// Far above any real release; keeps a hostile server from filling memory.
inline constexpr std::uint64_t kMaxManifestBytes = 1024 * 1024;
inline constexpr std::uint64_t kMaxSignatureBytes = 4096;

// The signature of the manifest applied last, kept beside the local manifest when it was signed.
inline constexpr const char* kAppliedSignatureName = "faxmfst.txt.minisig";

// The server's manifest text as delivered; nothing when it cannot be fetched or, with a trusted
// key installed, when its signature is missing or does not verify, or is older than the one of
// the manifest applied last. `verifiedSignature` receives the signature when the text was
// verified with that key, and is empty otherwise.
std::optional<std::string> FetchServerManifestText(const std::string& host,
                                                   std::string* verifiedSignature = nullptr);

// The server's manifest as entries, empty lines dropped.
std::optional<std::vector<std::string>> FetchServerManifest(const std::string& host);

} // namespace qp
