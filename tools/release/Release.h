#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qp::release {

struct ReleaseOptions {
    std::optional<std::string> secretKeyPath;
    std::string sourceDir;
    std::string releaseDir;
};

// Nothing, with `error` set, when the arguments are not a valid command.
std::optional<ReleaseOptions> ParseReleaseArguments(const std::vector<std::string>& args,
                                                    std::string& error);
std::string UsageText();

struct ReleaseResult {
    bool ok = false;
    std::string error;                // why the release could not be built
    std::vector<std::string> files;   // names listed in the manifest, in manifest order
    std::vector<std::string> skipped; // entries of the source folder left out, with the reason
};

// Copies the install folder's files into the release folder and writes "faxmfst.txt" with one
// "name=sha256:<hex>" line each; with a secret key also "faxmfst.txt.minisig". `password` unlocks
// an encrypted key.
ReleaseResult BuildRelease(const std::string& sourceDir, const std::string& releaseDir,
                           const std::string& secretKeyFile = {}, const std::string& password = {});

} // namespace qp::release
