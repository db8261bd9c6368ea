#include "backend/SpoolFolders.h"

#include "base/ParkedJobs.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qp::backend {

namespace {

constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

FolderResult Problem(int fd, std::string text) {
    if (fd >= 0)
        ::close(fd);
    return FolderResult{-1, std::move(text)};
}

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// The folder `name` in the open folder `parent` (shown as `path`), created when missing.
FolderResult OpenPrivateFolder(int parent, const std::string& name, const std::string& path,
                               uid_t uid, gid_t gid) {
    const std::string shown = Quoted(path);
    const bool created = ::mkdirat(parent, name.c_str(), 0700) == 0;
    if (!created && errno != EEXIST)
        return Problem(-1,
                       "Unable to create the fax folder " + shown + ": " + std::strerror(errno));
    const int fd = ::openat(parent, name.c_str(), kFolderOpenFlags);
    if (fd < 0) {
        if (errno == ELOOP || errno == ENOTDIR)
            return Problem(-1, "The fax folder " + shown + " is taken by something else");
        return Problem(-1, "Unable to open the fax folder " + shown + ": " + std::strerror(errno));
    }
    if (created && (::fchown(fd, uid, gid) != 0 || ::fchmod(fd, 0700) != 0)) {
        const int error = errno;
        // Left as root's, it would turn away every later job of the user.
        ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
        return Problem(fd, "Unable to hand the fax folder " + shown +
                               " to its user: " + std::strerror(error));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Problem(fd, "Unable to read the fax folder " + shown + ": " + std::strerror(errno));
    if (st.st_uid != uid)
        return Problem(fd, "The fax folder " + shown + " belongs to another user");
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return Problem(fd, "The fax folder " + shown + " is open to other users");
    return FolderResult{fd, {}};
}

} // namespace

FolderResult OpenCommonFolder(const std::string& path) {
    const int fd = ::open(path.c_str(), kFolderOpenFlags);
    if (fd < 0)
        return Problem(-1, "Unable to open the fax folder " + Quoted(path) + ": " +
                               std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Problem(fd, "Unable to read the fax folder " + Quoted(path) + ": " +
                               std::strerror(errno));
    // Anyone who may write here could move a user's folder away and put another in its place.
    if (st.st_uid != 0 || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return Problem(fd, "The fax folder " + Quoted(path) +
                               " must belong to root and be writable by nobody else");
    return FolderResult{fd, {}};
}

FolderResult OpenUserFolder(int common, const std::string& commonPath, const std::string& login,
                            uid_t uid, gid_t gid) {
    if (login.empty() || login == "." || login == ".." || login.find('/') != std::string::npos)
        return Problem(-1, "The user name \"" + login + "\" cannot name a fax folder");
    return OpenPrivateFolder(common, login, commonPath + "/" + login, uid, gid);
}

FolderResult OpenWaitingFolder(int user, const std::string& userPath, uid_t uid, gid_t gid) {
    return OpenPrivateFolder(user, kParkedFolderName, userPath + "/" + kParkedFolderName, uid, gid);
}

} // namespace qp::backend
