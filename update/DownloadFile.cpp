#include "update/DownloadFile.h"

#include "platform/FileOps.h"
#include "update/Minisign.h"

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
    if (name.empty() || name.front() == '/' ||
        name.find_first_of(std::string("\0\r\n", 3)) != std::string::npos)
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        if (name.compare(start, end - start, "..") == 0)
            return false;
        start = end + 1;
    }
    return true;
}

unsigned ReleaseFileMode(const std::string& path, const std::string& firstBytes) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0)
        return status.st_mode & 07777;
    const bool program = firstBytes.rfind("\x7f"
                                          "ELF",
                                          0) == 0 ||
                         firstBytes.rfind("#!", 0) == 0;
    return program ? 0755 : 0644;
}

bool DownloadFile(const std::string& host, const std::string& name, const std::string& version,
                  const HttpProgress& progress) {
    if (!IsSafeReleaseName(name))
        return false;
    const std::string temporary = name + ".tmp";
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;

    Sha256 hash;
    std::string firstBytes;
    const bool fetched = HttpGet(
        UpdateUrl(host, name),
        [&](std::string_view block) {
            if (firstBytes.size() < kSniffBytes)
                firstBytes.append(block.substr(0, kSniffBytes - firstBytes.size()));
            hash.Update(block);
            return WriteAllToFd(fd, block);
        },
        progress);

    bool ok = fetched;
    if (ok && version.rfind(kSha256VersionPrefix, 0) == 0)
        ok = SameHex(hash.FinalHex(), version.substr(std::string(kSha256VersionPrefix).size()));
    ok = ok && ::fchmod(fd, ReleaseFileMode(name, firstBytes)) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    // One rename over the old name: either the old file or the complete new one is there.
    ok = ok && ::rename(temporary.c_str(), name.c_str()) == 0;
    if (!ok)
        ::unlink(temporary.c_str());
    return ok;
}

} // namespace qp
