#pragma once

#include "update/HttpFetch.h"
#include "update/InstallFolder.h"

#include <cstdint>
#include <string>

namespace qp {

// The version text that makes an entry's version a checked SHA-256 of the file.
inline constexpr const char* kSha256VersionPrefix = "sha256:";
// Far above any real release file; keeps a hostile server from filling the disk.
inline constexpr std::uint64_t kMaxReleaseFileBytes = std::uint64_t{1} << 30;

// Whether a file name from the server may name a local file: a plain name in the folder (no "/",
// not "." or "..", no NUL, no line break) and none of the update's own files (the manifest and
// its signature, the program's copy, a ".tmp" or ".old" name). Anything else could write outside
// the client's folder or past the update's bookkeeping.
bool IsSafeReleaseName(const std::string& name);

// Where a new file waits, complete and checked, until the whole release goes in: name + ".tmp".
std::string StagingName(const std::string& name);
// Where a replaced file waits until the whole release is in: name + ".old".
std::string BackupName(const std::string& name);

// The permission bits a downloaded file gets: the old file's, else 0755 for an ELF program or a
// "#!" script and 0644 for anything else.
unsigned ReleaseFileMode(const std::string& path, const std::string& firstBytes);

// Fetches "http://" + host + "/" + name into StagingName(name) in `folder`, flushed, with the
// mode the file `name` is to have; the file `name` itself is left alone. `version` of the form
// "sha256:<hex>" must match the fetched bytes; `requireHash` (a signed manifest) refuses any other
// version. False on any failure; the staged file is then removed.
bool DownloadFile(const std::string& host, const InstallFolder& folder, const std::string& name,
                  const std::string& version, const HttpProgress& progress = {},
                  bool requireHash = false);

} // namespace qp
