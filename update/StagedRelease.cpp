#include "update/StagedRelease.h"

#include "platform/FileOps.h"
#include "update/DownloadFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qp {
namespace {

struct Replaced {
    std::string name;
    bool hadOld = false;
};

// Keeps the file at `path`, if any, under `backup` too; `hadOld` tells whether there was one.
bool KeepOld(const std::string& path, const std::string& backup, bool& hadOld) {
    // A backup left by a run that was cut off belongs to no release now.
    if (::unlink(backup.c_str()) != 0 && errno != ENOENT)
        return false;
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        hadOld = false;
        return errno == ENOENT;
    }
    // A file never takes the place of a folder.
    if (S_ISDIR(status.st_mode))
        return false;
    hadOld = true;
    // A second name for the old file: the new one then takes the name in one step, so the name
    // never goes missing, not even when the run is cut off there. Without hard links the old file
    // moves aside.
    return ::linkat(AT_FDCWD, path.c_str(), AT_FDCWD, backup.c_str(), 0) == 0 ||
           ::rename(path.c_str(), backup.c_str()) == 0;
}

void PutBack(const std::string& path, const std::string& backup, bool hadOld) {
    if (!hadOld) {
        ::unlink(path.c_str());
        return;
    }
    ::rename(backup.c_str(), path.c_str());
    // A rename between two names of one file changes nothing; the extra name goes here.
    ::unlink(backup.c_str());
}

} // namespace

StagedRelease::StagedRelease(InstallFolder folder) : m_folder(std::move(folder)) {}

StagedRelease::~StagedRelease() {
    for (const std::string& name : m_names)
        ::unlink(m_folder.File(StagingName(name)).c_str());
}

bool StagedRelease::Fetch(const std::string& host, const std::string& name,
                          const std::string& version, const HttpProgress& progress,
                          bool requireHash) {
    if (!DownloadFile(host, m_folder, name, version, progress, requireHash))
        return false;
    if (std::find(m_names.begin(), m_names.end(), name) == m_names.end())
        m_names.push_back(name);
    return true;
}

bool StagedRelease::Stage(const std::string& name, const std::string& contents) {
    if (std::find(m_names.begin(), m_names.end(), name) == m_names.end())
        m_names.push_back(name);
    return WriteFileAtomically(m_folder.File(StagingName(name)), contents);
}

ReleaseCommit StagedRelease::Commit() {
    std::vector<Replaced> done;
    for (const std::string& name : m_names) {
        const std::string path = m_folder.File(name);
        const std::string backup = m_folder.File(BackupName(name));
        bool hadOld = false;
        const bool kept = KeepOld(path, backup, hadOld);
        if (kept)
            done.push_back({name, hadOld});
        if (!kept || ::rename(m_folder.File(StagingName(name)).c_str(), path.c_str()) != 0) {
            for (auto it = done.rbegin(); it != done.rend(); ++it)
                PutBack(m_folder.File(it->name), m_folder.File(BackupName(it->name)), it->hadOld);
            return {false, name};
        }
    }
    for (const Replaced& replaced : done) {
        if (replaced.hadOld)
            ::unlink(m_folder.File(BackupName(replaced.name)).c_str());
    }
    return {true, {}};
}

} // namespace qp
