#include "capture/SpoolLeftovers.h"

#include "capture/Diagnostics.h"
#include "platform/FileOps.h"
#include "platform/UserAccounts.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qp {

namespace {

constexpr mode_t kLostAndFoundMode = 0700;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// Room for ".<number>" behind a name that meets an earlier leftover's, within NAME_MAX.
constexpr std::size_t kMaxKeptNameLength = 240;
constexpr unsigned kMaxNameTries = 100000;

// Entry names are whatever the one who planted them chose; the person reading provisioning's lines
// sees them without control characters that could forge a line or drive the terminal.
std::string Shown(const std::string& text) {
    std::string shown = text;
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f)
            c = '?';
    }
    return shown;
}

// Why the entry must go, or nothing when it is the folder of the user it is named after.
std::optional<const char*> Reason(const std::string& name, const struct stat& st, int& error) {
    if (S_ISLNK(st.st_mode))
        return "a link";
    if (!S_ISDIR(st.st_mode))
        return "not a folder";
    const AccountLookup user = AccountNamed(name);
    if (user.error != 0) {
        // Guessing would move a real user's folder with the jobs waiting in it.
        error = user.error;
        return std::nullopt;
    }
    // The backend names each user's folder by the account's login name, exactly.
    if (!user.account || user.account->login != name)
        return "no such user";
    if (st.st_uid != user.account->uid)
        return "not the user's";
    return std::nullopt;
}

int ListNames(int folder, std::vector<std::string>& names) {
    const int copy = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return errno;
    DIR* dir = ::fdopendir(copy);
    if (dir == nullptr) {
        const int error = errno;
        ::close(copy);
        return error;
    }
    ::rewinddir(dir);
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    const int error = errno;
    ::closedir(dir);
    // The lines come out in the same order on every run.
    std::sort(names.begin(), names.end());
    return error;
}

// Moves `name` into `quarantine`: under its own name, else under the first free "<name>.<n>".
int MoveInto(int common, const std::string& name, int quarantine, std::string& placed) {
    const std::string stem = name.substr(0, kMaxKeptNameLength);
    for (unsigned n = 0; n < kMaxNameTries; ++n) {
        placed = n == 0 ? name : stem + "." + std::to_string(n);
        const int error = RenameNoReplace(common, name.c_str(), quarantine, placed.c_str());
        if (error != EEXIST && error != ENAMETOOLONG)
            return error;
    }
    return EEXIST;
}

class LostAndFound {
public:
    LostAndFound(int common, std::string commonPath, std::ostream& out)
        : m_common(common), m_commonPath(std::move(commonPath)), m_out(out) {}
    ~LostAndFound() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    LostAndFound(const LostAndFound&) = delete;
    LostAndFound& operator=(const LostAndFound&) = delete;

    // Makes lost+found root's with mode 0700, when it is there, or a leftover that must go first.
    int Check() {
        struct stat st {};
        if (::fstatat(m_common, kLostAndFoundName, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT ? 0 : errno;
        if (!S_ISDIR(st.st_mode) || st.st_uid != 0)
            return Replace(S_ISLNK(st.st_mode)    ? "a link"
                           : !S_ISDIR(st.st_mode) ? "not a folder"
                                                  : "not root's");
        m_fd = ::openat(m_common, kLostAndFoundName, kFolderFlags);
        if (m_fd < 0)
            return errno;
        return Secure(m_fd);
    }

    int Move(const std::string& name, const char* reason) {
        if (m_fd < 0) {
            if (const int error = Create(kLostAndFoundName))
                return error;
        }
        std::string placed;
        if (const int error = MoveInto(m_common, name, m_fd, placed))
            return error;
        Report(reason, name, placed);
        return 0;
    }

private:
    std::string Path(const std::string& name) const { return m_commonPath + "/" + name; }

    void Report(const char* reason, const std::string& name, const std::string& placed) {
        Diagnose(m_out, "Common folder entry moved aside, %s: %s -> %s\n", reason,
                 Shown(Path(name)).c_str(), Shown(Path(kLostAndFoundName) + "/" + placed).c_str());
    }

    static int Secure(int fd) {
        struct stat st {};
        if (::fstat(fd, &st) != 0)
            return errno;
        if (st.st_uid != 0 || st.st_gid != 0) {
            if (::fchown(fd, 0, 0) != 0)
                return errno;
        }
        if ((st.st_mode & 07777) != kLostAndFoundMode && ::fchmod(fd, kLostAndFoundMode) != 0)
            return errno;
        return 0;
    }

    int Create(const std::string& name) {
        if (::mkdirat(m_common, name.c_str(), kLostAndFoundMode) != 0)
            return errno;
        m_fd = ::openat(m_common, name.c_str(), kFolderFlags);
        if (m_fd < 0)
            return errno;
        return Secure(m_fd);
    }

    // A lost+found that is not root's was planted: it goes into a new one made beside it first.
    int Replace(const char* reason) {
        int error = EEXIST;
        std::string fresh;
        for (unsigned n = 0; error == EEXIST && n < kMaxNameTries; ++n) {
            fresh = std::string(kLostAndFoundName) + ".new." + std::to_string(n);
            error = Create(fresh);
        }
        if (error != 0)
            return error;
        std::string placed;
        if ((error = MoveInto(m_common, kLostAndFoundName, m_fd, placed)) != 0 ||
            (error = RenameNoReplace(m_common, fresh.c_str(), m_common, kLostAndFoundName)) != 0)
            return error;
        Report(reason, kLostAndFoundName, placed);
        return 0;
    }

    int m_common;
    std::string m_commonPath;
    std::ostream& m_out;
    int m_fd = -1;
};

} // namespace

int MoveLeftoversAside(int common, const std::string& commonPath, std::ostream& out) {
    std::vector<std::string> names;
    if (const int error = ListNames(common, names))
        return error;
    LostAndFound lostAndFound(common, commonPath, out);
    if (const int error = lostAndFound.Check())
        return error;
    for (const std::string& name : names) {
        if (name == kLostAndFoundName)
            continue;
        struct stat st {};
        if (::fstatat(common, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                continue;
            return errno;
        }
        int error = 0;
        const std::optional<const char*> reason = Reason(name, st, error);
        if (error != 0)
            return error;
        if (reason) {
            if ((error = lostAndFound.Move(name, *reason)) != 0)
                return error;
        }
    }
    return 0;
}

} // namespace qp
