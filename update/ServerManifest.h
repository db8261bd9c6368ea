#pragma once

#include "update/HttpFetch.h"
#include "update/InstallFolder.h"

#include <cstdint>
#include <string>

namespace qp {

// A public key beside the program makes the client accept only manifests signed with it.
inline constexpr const char* kTrustedKeyName = "quillpost-release.pub";
inline constexpr const char* kSignatureSuffix = ".minisig";
// Far above any real release; keeps a hostile server from filling memory.
inline constexpr std::uint64_t kMaxManifestBytes = 1024 * 1024;
inline constexpr std::uint64_t kMaxSignatureBytes = 4096;

// The signature of the manifest applied last, kept beside the local manifest when it was signed.
inline constexpr const char* kAppliedSignatureName = "faxmfst.txt.minisig";

// The server's manifest as it was delivered, or why it was not taken.
struct ServerManifestText {
    FetchOutcome outcome;
    // The manifest arrived but is not trusted (its signature, key or time); `outcome` says why.
    bool refused = false;
    std::string text;
    // The signature that vouched for the text; empty when the folder trusts no key.
    std::string signature;
};

// Fetches the server's manifest. With a trusted key in `folder` it is taken only when its
// signature verifies and gives a time ("timestamp:" in its trusted comment) not before this
// build's release time (kReleaseTime) nor before the signature of the manifest applied last.
ServerManifestText FetchServerManifestText(const std::string& host, const InstallFolder& folder);

} // namespace qp
