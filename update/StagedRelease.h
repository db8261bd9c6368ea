#pragma once

#include "update/HttpFetch.h"
#include "update/InstallFolder.h"

#include <string>
#include <vector>

namespace qp {

// How putting a release in place ended.
struct ReleaseCommit {
    bool ok = false;
    std::string failed; // the file that could not be put in place; empty when ok
    explicit operator bool() const { return ok; }
};

// The files of one release, each fetched and checked under its staging name beside the file it
// replaces, then put in place together: the folder ends up with the whole release or as it was.
class StagedRelease {
public:
    explicit StagedRelease(InstallFolder folder);
    // Removes every staged file that did not go in.
    ~StagedRelease();
    StagedRelease(const StagedRelease&) = delete;
    StagedRelease& operator=(const StagedRelease&) = delete;

    // Fetches a release file (DownloadFile) to go in with the rest; a name fetched again goes in
    // once, with the bytes fetched last. False when the fetch or its check failed.
    bool Fetch(const std::string& host, const std::string& name, const std::string& version,
               const HttpProgress& progress, bool requireHash);
    // Stages `contents` as the new file `name`, to go in after the files staged before it (the
    // local manifest goes last, so that it never describes files that are not there).
    bool Stage(const std::string& name, const std::string& contents);

    // Puts every staged file in place, in the order staged; each old file is kept under its
    // backup name until all are in, then removed. On a failure every old file is put back and
    // every new file that had none is removed again.
    ReleaseCommit Commit();

private:
    InstallFolder m_folder;
    std::vector<std::string> m_names; // in the order they go in, each once
};

} // namespace qp
