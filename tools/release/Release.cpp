#include "tools/release/Release.h"

#include "platform/FileOps.h"
#include "update/DownloadFile.h"
#include "update/Manifest.h"
#include "update/Minisign.h"
#include "update/ServerManifest.h"
#include "update/UpdateCheck.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string_view>

namespace fs = std::filesystem;

namespace qp::release {
namespace {

// Files of an install folder that belong to the client's own update work, not to a release.
bool IsUpdateWorkFile(const std::string& name) {
    return name == kManifestName || name == std::string(kManifestName) + kSignatureSuffix ||
           name == kProgramCopy ||
           (name.size() > 4 && (name.ends_with(".tmp") || name.ends_with(".old")));
}

// A name the manifest can carry: safe on the client, and as clients put it into the URL unencoded,
// only characters that a URL path carries as they are (no blank, "%", "?", "#", "=" or non-ASCII
// byte). Any other name would make every client's update fail at that file.
bool FitsManifest(const std::string& name) {
    return IsSafeReleaseName(name) && std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      std::string_view("-._~+,@").find(c) != std::string_view::npos;
           });
}

std::string TrustedComment() {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
    return "timestamp:" + std::to_string(seconds) + "\tfile:" + kManifestName + "\thashed";
}

} // namespace

std::optional<ReleaseOptions> ParseReleaseArguments(const std::vector<std::string>& args,
                                                    std::string& error) {
    ReleaseOptions options;
    std::vector<std::string> folders;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--sign") {
            if (i + 1 == args.size()) {
                error = "--sign needs a secret key file";
                return std::nullopt;
            }
            options.secretKeyPath = args[++i];
        } else if (arg.starts_with("-") && arg != "-") {
            error = "unknown option " + arg;
            return std::nullopt;
        } else {
            folders.push_back(arg);
        }
    }
    if (folders.size() != 2) {
        error = "expected SOURCE_DIR and RELEASE_DIR";
        return std::nullopt;
    }
    options.sourceDir = folders[0];
    options.releaseDir = folders[1];
    return options;
}

std::string UsageText() {
    return "usage: quillpost-release [--sign SECRET_KEY] SOURCE_DIR RELEASE_DIR\n"
           "Builds a release folder for any static web server from an install folder: copies its\n"
           "files and writes faxmfst.txt with the SHA-256 of each.\n"
           "\n"
           "  --sign SECRET_KEY  also write faxmfst.txt.minisig, signed with a minisign secret "
           "key\n"
           "                     (an encrypted key's password is read from standard input)\n"
           "  --help             (as the only argument) show this help and exit\n"
           "  --version          (as the only argument) show the version and exit\n";
}

ReleaseResult BuildRelease(const std::string& sourceDir, const std::string& releaseDir,
                           const std::string& secretKeyFile, const std::string& password) {
    ReleaseResult result;
    std::error_code ec;
    if (!fs::is_directory(sourceDir, ec)) {
        result.error = "not a folder: " + sourceDir;
        return result;
    }
    fs::create_directories(releaseDir, ec);
    if (ec || fs::equivalent(sourceDir, releaseDir, ec)) {
        result.error = "cannot use " + releaseDir + " as the release folder";
        return result;
    }

    std::optional<MinisignSecretKey> key;
    if (!secretKeyFile.empty()) {
        std::optional<std::string> keyText = ReadWholeFile(secretKeyFile);
        if (keyText)
            key = ParseMinisignSecretKey(*keyText, password);
        if (!key) {
            result.error =
                "cannot read the secret key " + secretKeyFile +
                (keyText && MinisignSecretKeyIsEncrypted(*keyText) ? " (wrong password?)" : "");
            return result;
        }
    }

    // A folder that cannot be listed to its end would make a release with files missing.
    std::vector<std::string> names;
    fs::directory_iterator it(sourceDir, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        const std::string name = entry.path().filename().string();
        if (IsUpdateWorkFile(name))
            continue;
        if (!entry.is_regular_file())
            result.skipped.push_back(name + ": not a regular file");
        else if (!FitsManifest(name))
            result.skipped.push_back(name + ": the manifest cannot carry this name");
        else
            names.push_back(name);
    }
    if (ec) {
        result.error = "cannot list " + sourceDir;
        return result;
    }
    std::sort(names.begin(), names.end());

    std::string manifest;
    for (const std::string& name : names) {
        const fs::path from = fs::path(sourceDir) / name;
        std::optional<std::string> bytes = ReadWholeFile(from.string());
        const fs::perms perms = fs::status(from, ec).permissions();
        if (!bytes || !WriteFileAtomically((fs::path(releaseDir) / name).string(), *bytes,
                                           static_cast<unsigned>(perms & fs::perms::mask))) {
            result.error = "cannot copy " + name;
            return result;
        }
        manifest += name + "=" + kSha256VersionPrefix + Sha256Hex(*bytes) + "\n";
        result.files.push_back(name);
    }

    const fs::path manifestPath = fs::path(releaseDir) / kManifestName;
    const std::string signaturePath = manifestPath.string() + kSignatureSuffix;
    // A signature left from an older release would no longer match; it must not be served.
    RemoveFile(signaturePath);
    if (!WriteFileAtomically(manifestPath.string(), manifest) ||
        (key &&
         !WriteFileAtomically(signaturePath, SignMinisign(*key, manifest, TrustedComment())))) {
        result.error = "cannot write the manifest in " + releaseDir;
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace qp::release
