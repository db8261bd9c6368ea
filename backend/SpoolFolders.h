#pragma once

#include <string>
#include <sys/types.h>

namespace qp::backend {

// The folders a job passes on its way: the common folder, which only root may change, in it one
// private folder per user, named by login name, and in that the folder of the jobs that wait. Each
// is opened without following a link and checked on the open descriptor, so what was checked is
// what is written into.
struct FolderResult {
    int fd = -1;         // open folder, or -1
    std::string problem; // why it cannot be used, when fd is -1
};

// The common folder: a directory owned by root that nobody else may write to.
FolderResult OpenCommonFolder(const std::string& path);

// The user's folder in the common folder, named by login name, created on the user's first job:
// a directory owned by the user that nobody else may enter. A name taken by anything else is a
// problem.
FolderResult OpenUserFolder(int common, const std::string& commonPath, const std::string& login,
                            uid_t uid, gid_t gid);

// The folder in the user's folder where jobs wait while the port file is taken, created and checked
// like the user's folder.
FolderResult OpenWaitingFolder(int user, const std::string& userPath, uid_t uid, gid_t gid);

} // namespace qp::backend
