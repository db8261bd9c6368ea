#include "update/ServerManifest.h"

#include "platform/FileOps.h"
#include "update/Manifest.h"
#include "update/Minisign.h"

namespace qp {

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
    // An unreadable or broken key trusts nothing rather than everything.
    const std::optional<std::string> keyFile = ReadWholeFile(keyPath);
    const std::optional<MinisignPublicKey> key =
        keyFile ? ParseMinisignPublicKey(*keyFile) : std::nullopt;
    if (!key) {
        manifest.outcome = FetchOutcome::Failed(std::string("the trusted key ") + kTrustedKeyName +
                                                " is unusable");
        return manifest;
    }
    std::string signature;
    const FetchOutcome signatureFetch =
        HttpGetText(UpdateUrl(host, std::string(kManifestName) + kSignatureSuffix), signature,
                    kMaxSignatureBytes);
    if (!signatureFetch) {
        manifest.outcome = FetchOutcome::Failed("the manifest's signature could not be fetched (" +
                                                signatureFetch.reason + ")");
        return manifest;
    }
    if (!VerifyMinisign(*key, text, signature)) {
        manifest.outcome = FetchOutcome::Failed("the manifest's signature is not valid");
        return manifest;
    }
    // A release signed before the one applied last is an old manifest served again: taking it
    // would put old files back.
    const std::optional<std::string> applied = ReadWholeFile(folder.File(kAppliedSignatureName));
    const std::optional<std::uint64_t> appliedTime =
        applied ? MinisignTimestamp(*applied) : std::nullopt;
    const std::optional<std::uint64_t> time = MinisignTimestamp(signature);
    if (appliedTime && (!time || *time < *appliedTime)) {
        manifest.outcome = FetchOutcome::Failed("the manifest is older than the one applied last");
        return manifest;
    }
    manifest.text = std::move(text);
    manifest.signature = std::move(signature);
    return manifest;
}

} // namespace qp
