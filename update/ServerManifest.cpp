#include "update/ServerManifest.h"

#include "platform/FileOps.h"
#include "update/HttpFetch.h"
#include "update/Manifest.h"
#include "update/Minisign.h"

namespace qp {

std::optional<std::string> FetchServerManifestText(const std::string& host,
                                                   std::string* verifiedSignature) {
    if (verifiedSignature != nullptr)
        verifiedSignature->clear();
    std::string text;
    if (!HttpGetText(UpdateUrl(host, kManifestName), text, kMaxManifestBytes))
        return std::nullopt;
    if (!FileExists(kTrustedKeyName))
        return text;
    // An unreadable or broken key trusts nothing rather than everything.
    std::optional<std::string> keyFile = ReadWholeFile(kTrustedKeyName);
    std::optional<MinisignPublicKey> key =
        keyFile ? ParseMinisignPublicKey(*keyFile) : std::nullopt;
    std::string signature;
    if (!key ||
        !HttpGetText(UpdateUrl(host, std::string(kManifestName) + kSignatureSuffix), signature,
                     kMaxSignatureBytes) ||
        !VerifyMinisign(*key, text, signature))
        return std::nullopt;
    // A release signed before the one applied last is an old manifest served again: taking it
    // would put old files back.
    const std::optional<std::string> applied = ReadWholeFile(kAppliedSignatureName);
    const std::optional<std::uint64_t> appliedTime =
        applied ? MinisignTimestamp(*applied) : std::nullopt;
    const std::optional<std::uint64_t> time = MinisignTimestamp(signature);
    if (appliedTime && (!time || *time < *appliedTime))
        return std::nullopt;
    if (verifiedSignature != nullptr)
        *verifiedSignature = std::move(signature);
    return text;
}

std::optional<std::vector<std::string>> FetchServerManifest(const std::string& host) {
    std::optional<std::string> text = FetchServerManifestText(host);
    if (!text)
        return std::nullopt;
    return ManifestLines(*text, false);
}

} // namespace qp
