#include "update/ServerManifest.h"

#include "platform/FileOps.h"
#include "update/HttpFetch.h"
#include "update/Manifest.h"
#include "update/Minisign.h"

namespace qp {

std::optional<std::string> FetchServerManifestText(const std::string& host, bool* signedText) {
    if (signedText != nullptr)
        *signedText = false;
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
    if (signedText != nullptr)
        *signedText = true;
    return text;
}

std::optional<std::vector<std::string>> FetchServerManifest(const std::string& host) {
    std::optional<std::string> text = FetchServerManifestText(host);
    if (!text)
        return std::nullopt;
    return ManifestLines(*text, false);
}

} // namespace qp
