#include "update/DownloadFile.h"

#include "platform/FileOps.h"
#include "update/Manifest.h"
#include "update/Minisign.h"
#include "update/ServerManifest.h"
#include "update/UpdateCheck.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qp {
namespace {

constexpr std::size_t kSniffBytes = 4;

bool SameHex(std::string a, std::string b) {
    auto lower = [](std::string& s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    };
    lower(a);
    lower(b);
    return a == b;
}

} // namespace

bool IsSafeReleaseName(const std::string& name) {
    // One plain file of the folder itself: a folder part could lead through a link out of it.
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string("/\0\r\n", 4)) != std::string::npos)
        return false;
    // The update's own files: the manifest is stored only after every file is in place, the copy
    // may be running, and a ".tmp" or ".old" name is where another entry's file waits.
    return name != kManifestName && name != kAppliedSignatureName && name != kProgramCopy &&
           !name.ends_with(".tmp") && !name.ends_with(".old");
}

std::string StagingName(const std::string& name) {
    return name + ".tmp";
}

std::string BackupName(const std::string& name) {
    return name + ".old";
}

unsigned ReleaseFileMode(const std::string& path, const std::string& firstBytes) {
    struct stat status {};
    // Never set-user or set-group id: the new bytes come from the server.
    if (::stat(path.c_str(), &status) == 0)
        return status.st_mode & 0777;
    const bool program = firstBytes.rfind("\x7f"
                                          "ELF",
                                          0) == 0 ||
                         firstBytes.rfind("#!", 0) == 0;
    return program ? 0755 : 0644;
}

bool DownloadFile(const std::string& host, const InstallFolder& folder, const std::string& name,
                  const std::string& version, const HttpProgress& progress, bool requireHash) {
    const bool hashed = version.starts_with(kSha256VersionPrefix);
    if (!IsSafeReleaseName(name) || (requireHash && !hashed))
        return false;
    const std::string path = folder.File(name);
    const std::string staged = folder.File(StagingName(name));
    // Whatever was left under the staging name (a link, another name of some file) goes first;
    // only a file made here receives the bytes.
    if (::unlink(staged.c_str()) != 0 && errno != ENOENT)
        return false;
    const int fd =
        ::open(staged.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;

    Sha256 hash;
    std::string firstBytes;
    bool ok = HttpGet(
                  UpdateUrl(host, name),
                  [&](std::string_view block) {
                      if (firstBytes.size() < kSniffBytes)
                          firstBytes.append(block.substr(0, kSniffBytes - firstBytes.size()));
                      hash.Update(block);
                      return WriteAllToFd(fd, block);
                  },
                  progress, kMaxReleaseFileBytes)
                  .ok;
    if (ok && hashed)
        ok = SameHex(hash.FinalHex(), version.substr(std::string(kSha256VersionPrefix).size()));
    ok = ok && ::fchmod(fd, ReleaseFileMode(path, firstBytes)) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok)
        ::unlink(staged.c_str());
    return ok;
}

} // namespace qp
