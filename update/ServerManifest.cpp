#include "update/ServerManifest.h"

#include "platform/FileOps.h"
#include "platform/ReleaseTime.h"
#include "update/Manifest.h"
#include "update/Minisign.h"

namespace qp {
namespace {

// Why a signed manifest whose signature gives `signedAt` may not be taken into `folder`; nothing
// when it may.
const char* ManifestTooOld(std::optional<std::uint64_t> signedAt, const InstallFolder& folder) {
    // An old release served again, by an attacker or a mirror that fell behind, would put old
    // files back. Only a time under the signature can tell, so a signature without one is refused
    // outright: accepting it would let any older untimed release in.
    if (!signedAt)
        return "the manifest's signature carries no time";
    if (*signedAt < kReleaseTime)
        return "the manifest is older than the program running";
    // The local signature was checked when its release was applied; a missing or unreadable one
    // leaves the build's own time as the bound.
    const std::optional<std::string> applied = ReadWholeFile(folder.File(kAppliedSignatureName));
    const std::optional<std::uint64_t> appliedAt =
        applied ? MinisignTimestamp(*applied) : std::nullopt;
    if (appliedAt && *signedAt < *appliedAt)
        return "the manifest is older than the one applied last";
    return nullptr;
}

} // namespace

ServerManifestText FetchServerManifestText(const std::string& host, const InstallFolder& folder) {
    ServerManifestText manifest;
    std::string text;
    manifest.outcome = HttpGetText(UpdateUrl(host, kManifestName), text, kMaxManifestBytes);
    if (!manifest.outcome)
        return manifest;
    const std::string keyPath = folder.File(kTrustedKeyName);
    if (!FileExists(keyPath)) {
        manifest.text = std::move(text);
        return manifest;
    }
    // From here on the manifest has arrived; what fails is trust in it.
    const auto refuse = [&manifest](std::string why) {
        manifest.outcome = FetchOutcome::Failed(std::move(why));
        manifest.refused = true;
        return manifest;
    };
    // An unreadable or broken key trusts nothing rather than everything.
    const std::optional<std::string> keyFile = ReadWholeFile(keyPath);
    const std::optional<MinisignPublicKey> key =
        keyFile ? ParseMinisignPublicKey(*keyFile) : std::nullopt;
    if (!key)
        return refuse(std::string("the trusted key ") + kTrustedKeyName + " is unusable");
    std::string signature;
    const FetchOutcome signatureFetch =
        HttpGetText(UpdateUrl(host, std::string(kManifestName) + kSignatureSuffix), signature,
                    kMaxSignatureBytes);
    if (!signatureFetch)
        return refuse("the manifest's signature could not be fetched (" + signatureFetch.reason +
                      ")");
    if (!VerifyMinisign(*key, text, signature))
        return refuse("the manifest's signature is not valid");
    if (const char* why = ManifestTooOld(MinisignTimestamp(signature), folder))
        return refuse(why);
    manifest.text = std::move(text);
    manifest.signature = std::move(signature);
    return manifest;
}

} // namespace qp
