#include "base/ParkedJobs.h"

#include "platform/FileOps.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace qp {

namespace {

// Far above what the backend leaves in a waiting folder (its jobs and a temporary file or two),
// so that only a folder the user filled is refused.
constexpr std::size_t kClientEntryLimit = 1024;

bool IsRegularEntry(int folder, const char* name) {
    struct stat st {};
    return ::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

// The user's waiting folder, opened without following a link; -1 when there is none.
int OpenParkedFolder(const std::string& userFolder) {
    const std::string path = userFolder + "/" + kParkedFolderName;
    return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

} // namespace

std::optional<std::uint64_t> ParseJobId(const std::string& text) {
    if (text.empty() || text.size() > 10)
        return std::nullopt;
    std::uint64_t id = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        id = id * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return id;
}

std::string ParkedJobName(std::uint64_t sequence, std::uint64_t jobId) {
    char name[64];
    std::snprintf(name, sizeof(name), "%010llu-%010llu.ps",
                  static_cast<unsigned long long>(sequence),
                  static_cast<unsigned long long>(jobId));
    return name;
}

std::string EarlierParkedJobName(std::uint64_t jobId) {
    char name[32];
    std::snprintf(name, sizeof(name), "%010llu.ps", static_cast<unsigned long long>(jobId));
    return name;
}

std::optional<ParkedJobOrder> OrderOfParkedJob(const std::string& name) {
    std::string_view rest = name;
    if (!rest.ends_with(".ps"))
        return std::nullopt;
    rest.remove_suffix(3);
    // Each name has one spelling, so that no two names share a place in the order.
    const auto number = [&rest](std::size_t minDigits,
                                std::size_t maxDigits) -> std::optional<std::uint64_t> {
        std::size_t digits = 0;
        while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9')
            ++digits;
        if (digits < minDigits || digits > maxDigits || (digits > minDigits && rest[0] == '0'))
            return std::nullopt;
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < digits; ++i)
            value = value * 10 + static_cast<std::uint64_t>(rest[i] - '0');
        rest.remove_prefix(digits);
        return value;
    };
    const std::optional<std::uint64_t> first = number(10, 19);
    if (!first)
        return std::nullopt;
    if (rest.empty())
        return first <= 9'999'999'999u ? std::optional(ParkedJobOrder{0, 0, *first}) : std::nullopt;
    if (rest[0] != '-')
        return std::nullopt;
    rest.remove_prefix(1);
    const std::optional<std::uint64_t> jobId = number(10, 10);
    if (!jobId || !rest.empty())
        return std::nullopt;
    return ParkedJobOrder{1, *first, *jobId};
}

bool IsParkedJobName(const std::string& name) {
    return OrderOfParkedJob(name).has_value();
}

int ForEachEntry(int folder, std::size_t limit, const std::function<void(const char*)>& visit) {
    // A descriptor of its own: the listing moves its position, and closedir closes it.
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    std::size_t seen = 0;
    int result = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            result = errno;
            break;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (++seen > limit) {
            result = E2BIG;
            break;
        }
        visit(entry->d_name);
    }
    ::closedir(dir);
    return result;
}

bool TakeOldestParkedJob(const std::string& userFolder, const std::string& portFile) {
    struct stat st {};
    if (::lstat(portFile.c_str(), &st) == 0 || errno != ENOENT)
        return false;
    const int folder = OpenParkedFolder(userFolder);
    if (folder < 0)
        return false;
    std::string oldest;
    std::optional<ParkedJobOrder> oldestOrder;
    const int listed = ForEachEntry(folder, kClientEntryLimit, [&](const char* name) {
        const std::optional<ParkedJobOrder> order = OrderOfParkedJob(name);
        if (order && (!oldestOrder || *order < *oldestOrder) && IsRegularEntry(folder, name)) {
            oldest = name;
            oldestOrder = order;
        }
    });
    const bool taken = listed == 0 && !oldest.empty() &&
                       RenameNoReplace(folder, oldest.c_str(), AT_FDCWD, portFile.c_str()) == 0;
    ::close(folder);
    return taken;
}

std::size_t CountParkedJobs(const std::string& userFolder) {
    const int folder = OpenParkedFolder(userFolder);
    if (folder < 0)
        return 0;
    std::size_t count = 0;
    ForEachEntry(folder, kClientEntryLimit, [&](const char* name) {
        if (IsParkedJobName(name) && IsRegularEntry(folder, name))
            ++count;
    });
    ::close(folder);
    return count;
}

} // namespace qp
