#include "base/Job.h"

#include "platform/FileOps.h"
#include "platform/UserFolders.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qp {
namespace {

constexpr const char* kLockFile = ".lock";
constexpr mode_t kPrivateFolder = 0700;
// A store holding more than this is not ours to list to the end.
constexpr std::size_t kMaxListed = 10000;

std::string ErrorText(int error) {
    return std::strerror(error);
}

// Opens the folder's lock and takes it without waiting; a lock held elsewhere means its job is
// open in another client.
std::optional<UniqueFd> LockFolder(const std::string& folder) {
    UniqueFd lock(::open((folder + "/" + kLockFile).c_str(),
                         O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600));
    if (lock.Get() < 0 || ::flock(lock.Get(), LOCK_EX | LOCK_NB) != 0)
        return std::nullopt;
    return lock;
}

// A time-ordered name: microseconds since the epoch, fixed width, then the process and a counter
// so that two jobs of one moment never share it.
std::string NewId() {
    static std::atomic<unsigned> counter{0};
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    char id[64];
    std::snprintf(id, sizeof id, "%017lld-%d-%u", static_cast<long long>(micros),
                  static_cast<int>(::getpid()), counter++);
    return id;
}

bool IsPrivateFolderOfUser(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}

} // namespace

Job::Job(std::string id, std::string folder, UniqueFd lock)
    : m_id(std::move(id)), m_folder(std::move(folder)), m_lock(std::move(lock)) {}

std::string Job::CoverInput() const {
    if (!FileExists(CoverFile()) && FileExists(PostScriptCoverFile()))
        return PostScriptCoverFile();
    return CoverFile();
}

bool Job::HasContent() const {
    return FileExists(BodyFile()) || FileExists(CoverFile()) || FileExists(PostScriptCoverFile());
}

JobStore::JobStore(std::string root) : m_root(std::move(root)) {}

JobStore JobStore::ForUser() {
    const std::optional<std::string> data = UserDataFolder();
    return JobStore(data ? *data + "/jobs" : std::string());
}

bool JobStore::EnsureRoot(std::string* error) const {
    auto fail = [&](const std::string& why) {
        if (error != nullptr)
            *error = why;
        return false;
    };
    if (m_root.empty())
        return fail("the home folder is not known");
    // Every folder on the way is made for the user alone; an existing one is taken as it is, but
    // the store itself must be a private folder of this user.
    for (std::size_t slash = m_root.find('/', 1);; slash = m_root.find('/', slash + 1)) {
        const std::string part = m_root.substr(0, slash);
        if (::mkdir(part.c_str(), kPrivateFolder) != 0 && errno != EEXIST)
            return fail(part + ": " + ErrorText(errno));
        if (slash == std::string::npos)
            break;
    }
    if (!IsPrivateFolderOfUser(m_root))
        return fail(m_root + ": not a folder of this user's alone");
    return true;
}

std::optional<Job> JobStore::Create(std::string* error) const {
    if (!EnsureRoot(error))
        return std::nullopt;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string id = NewId();
        const std::string folder = m_root + "/" + id;
        if (::mkdir(folder.c_str(), kPrivateFolder) != 0) {
            if (errno == EEXIST)
                continue;
            if (error != nullptr)
                *error = folder + ": " + ErrorText(errno);
            return std::nullopt;
        }
        if (std::optional<UniqueFd> lock = LockFolder(folder))
            return Job(id, folder, std::move(*lock));
        const int saved = errno;
        ::rmdir(folder.c_str());
        if (error != nullptr)
            *error = folder + ": " + ErrorText(saved);
        return std::nullopt;
    }
    if (error != nullptr)
        *error = m_root + ": no free name";
    return std::nullopt;
}

std::vector<std::string> JobStore::ListIds() const {
    std::vector<std::string> ids;
    if (m_root.empty() || !IsPrivateFolderOfUser(m_root))
        return ids;
    if (DIR* dir = ::opendir(m_root.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            ids.emplace_back(entry->d_name);
            if (ids.size() >= kMaxListed)
                break;
        }
        ::closedir(dir);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

std::optional<Job> JobStore::Take(const std::string& id) const {
    if (id.empty() || id[0] == '.' || id.find('/') != std::string::npos || m_root.empty() ||
        !IsPrivateFolderOfUser(m_root))
        return std::nullopt;
    const std::string folder = m_root + "/" + id;
    if (!IsPrivateFolderOfUser(folder))
        return std::nullopt;
    std::optional<UniqueFd> lock = LockFolder(folder);
    if (!lock)
        return std::nullopt;
    return Job(id, folder, std::move(*lock));
}

std::vector<Job> JobStore::TakeLeftovers() const {
    std::vector<Job> jobs;
    for (const std::string& id : ListIds()) {
        if (FileExists(m_root + "/" + id + "/" + kJobOutboxStateFile))
            continue;
        std::optional<Job> job = Take(id);
        if (!job)
            continue;
        // The outbox may have taken it over since it was looked at.
        if (FileExists(job->OutboxStateFile()))
            continue;
        if (job->HasContent() || FileExists(job->PendingEntryFile()))
            jobs.push_back(std::move(*job));
        else
            Remove(std::move(*job));
    }
    return jobs;
}

std::vector<std::string> JobStore::OutboxIds() const {
    std::vector<std::string> ids;
    for (const std::string& id : ListIds()) {
        if (FileExists(m_root + "/" + id + "/" + kJobOutboxStateFile))
            ids.push_back(id);
    }
    return ids;
}

std::vector<Job> JobStore::TakeOutboxJobs() const {
    std::vector<Job> jobs;
    for (const std::string& id : ListIds()) {
        if (!FileExists(m_root + "/" + id + "/" + kJobOutboxStateFile))
            continue;
        if (std::optional<Job> job = Take(id))
            jobs.push_back(std::move(*job));
    }
    return jobs;
}

bool JobStore::Remove(Job job) {
    const std::string folder = job.Folder();
    // The outbox's record goes first: a folder half removed is then nobody's to resume.
    for (const char* name :
         {kJobOutboxStateFile, kJobBodyFile, kJobCoverFile, kJobPostScriptCoverFile, kJobImageFile,
          kJobPendingEntryFile, kLockFile})
        ::unlink((folder + "/" + name).c_str());
    // Whatever else a job may have gathered (a half-written temporary file) goes too; the folder
    // is ours alone and holds no subfolders.
    if (DIR* dir = ::opendir(folder.c_str())) {
        std::vector<std::string> rest;
        while (const dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                rest.emplace_back(entry->d_name);
            if (rest.size() >= kMaxListed)
                break;
        }
        ::closedir(dir);
        for (const std::string& name : rest)
            ::unlink((folder + "/" + name).c_str());
    }
    return ::rmdir(folder.c_str()) == 0;
}

} // namespace qp
