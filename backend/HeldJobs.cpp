#include "backend/HeldJobs.h"

#include "backend/SpoolFolders.h"
#include "backend/WaitingFolder.h"
#include "base/ParkedJobs.h"
#include "platform/FileOps.h"
#include "platform/UserAccounts.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace qp::backend {

namespace {

// How long backends of the earlier release that still write a job are waited for, in seconds.
constexpr int kWritingRounds = 60;

// A process of the earlier release that holds a job's temporary file open.
struct Holder {
    pid_t pid = 0;
    // In a session of its own: the waiter that the backend left behind, not the backend itself.
    bool waiter = false;
    std::string login;
    std::string tempName;
    // /proc/<pid>/fd/<n>: the open file itself, whatever its name is now.
    std::string heldPath;
};

std::string ReadSmallFile(const std::string& path) {
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || text.size() > 65536)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

std::string ProcPath(pid_t pid, const char* what) {
    return "/proc/" + std::to_string(pid) + "/" + what;
}

// Only root's processes: anybody may start a process that looks like a waiter.
bool IsRootProcess(pid_t pid) {
    const std::string status = ReadSmallFile(ProcPath(pid, "status"));
    const std::size_t at = status.find("\nUid:");
    if (at == std::string::npos)
        return false;
    unsigned long ids[4] = {1, 1, 1, 1};
    return std::sscanf(status.c_str() + at + 5, "%lu %lu %lu %lu", &ids[0], &ids[1], &ids[2],
                       &ids[3]) == 4 &&
           ids[0] == 0 && ids[1] == 0 && ids[2] == 0 && ids[3] == 0;
}

// The state letter and the session of the process, from /proc/<pid>/stat.
std::optional<std::pair<char, long>> StateAndSession(pid_t pid) {
    const std::string stat = ReadSmallFile(ProcPath(pid, "stat"));
    // The command name in parentheses may hold anything, a ')' too.
    const std::size_t close = stat.rfind(')');
    char state = 0;
    long parent = 0;
    long group = 0;
    long session = 0;
    if (close == std::string::npos || std::sscanf(stat.c_str() + close + 1, " %c %ld %ld %ld",
                                                  &state, &parent, &group, &session) != 4)
        return std::nullopt;
    return std::make_pair(state, session);
}

// The job id on the command line cupsd gave the backend, which its waiter kept.
std::optional<std::uint64_t> JobIdOf(pid_t pid) {
    const std::string line = ReadSmallFile(ProcPath(pid, "cmdline"));
    std::vector<std::string> args;
    for (std::size_t start = 0; start < line.size();) {
        const std::size_t end = line.find('\0', start);
        args.push_back(line.substr(start, end - start));
        start = end == std::string::npos ? line.size() : end + 1;
    }
    if (args.size() < 6 || args.size() > 7)
        return std::nullopt;
    return ParseJobId(args[1]);
}

template <typename Visit> void ForEachNumberedEntry(const std::string& folder, Visit visit) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        char* end = nullptr;
        const long number = std::strtol(entry->d_name, &end, 10);
        if (*end == '\0' && end != entry->d_name)
            visit(number, entry->d_name);
    }
    ::closedir(dir);
}

// Root's processes holding "<common>/<login>/<tempPrefix>*" open.
std::vector<Holder> FindHolders(const std::string& common, const std::string& tempPrefix) {
    std::vector<Holder> holders;
    const std::string folderPrefix = common + "/";
    ForEachNumberedEntry("/proc", [&](long number, const char*) {
        const auto pid = static_cast<pid_t>(number);
        if (pid == ::getpid() || !IsRootProcess(pid))
            return;
        const std::optional<std::pair<char, long>> state = StateAndSession(pid);
        const std::string fds = ProcPath(pid, "fd");
        ForEachNumberedEntry(fds, [&](long, const char* fd) {
            const std::string link = fds + "/" + fd;
            char target[PATH_MAX];
            const ssize_t length = ::readlink(link.c_str(), target, sizeof(target) - 1);
            if (length <= 0)
                return;
            const std::string path(target, static_cast<std::size_t>(length));
            if (path.compare(0, folderPrefix.size(), folderPrefix) != 0)
                return;
            const std::string rest = path.substr(folderPrefix.size());
            const std::size_t slash = rest.find('/');
            if (slash == 0 || slash == std::string::npos)
                return;
            const std::string name = rest.substr(slash + 1);
            if (name.find('/') != std::string::npos || name.rfind(tempPrefix, 0) != 0)
                return;
            holders.push_back(
                Holder{pid, state && state->second == pid, rest.substr(0, slash), name, link});
        });
    });
    return holders;
}

// A process named by a descriptor of its own, so that no signal can reach another process that
// took its number meanwhile.
class ProcessHandle {
public:
    explicit ProcessHandle(pid_t pid)
        : m_pid(pid), m_fd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))) {}
    ~ProcessHandle() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;

    bool Signal(int signal) const {
        return m_fd >= 0 && ::syscall(SYS_pidfd_send_signal, m_fd, signal, nullptr, 0) == 0;
    }
    // Stops the process and waits until it has stopped, wherever it was.
    bool Stop() const {
        if (!Signal(SIGSTOP))
            return false;
        for (int i = 0; i < 200; ++i) {
            const std::optional<std::pair<char, long>> state = StateAndSession(m_pid);
            if (state && (state->first == 'T' || state->first == 't'))
                return true;
            timespec pause{0, 10 * 1000 * 1000};
            ::nanosleep(&pause, nullptr);
        }
        return false;
    }

private:
    pid_t m_pid;
    int m_fd;
};

// Closes the folder descriptors on every way out.
struct OpenFolder {
    FolderResult folder;
    ~OpenFolder() {
        if (folder.fd >= 0)
            ::close(folder.fd);
    }
};

// Moves the job of one waiter and ends it; false, with the waiter left running, when that cannot
// be done safely.
bool Adopt(const Holder& holder, int common, const std::string& commonPath, std::FILE* out) {
    const std::optional<std::uint64_t> jobId = JobIdOf(holder.pid);
    const std::optional<UserAccount> user = AccountNamed(holder.login).account;
    if (!jobId || !user) {
        std::fprintf(out,
                     "Process %d holds a fax of \"%s\" but names no job or user; left as it is\n",
                     holder.pid, holder.login.c_str());
        return false;
    }
    const uid_t uid = user->uid;
    const gid_t gid = user->gid;
    const ProcessHandle process(holder.pid);
    // Stopped, it can neither publish the job nor remove it while it is moved.
    if (!process.Stop()) {
        // Ended meanwhile, with its job published or given up: nothing is left to move.
        process.Signal(SIGCONT);
        return !process.Signal(0);
    }
    const OpenFolder own{OpenUserFolder(common, commonPath, holder.login, uid, gid)};
    const OpenFolder waiting{
        own.folder.fd >= 0
            ? OpenWaitingFolder(own.folder.fd, commonPath + "/" + holder.login, uid, gid)
            : FolderResult{-1, own.folder.problem}};
    struct stat held {};
    struct stat named {};
    if (::stat(holder.heldPath.c_str(), &held) != 0 ||
        (::fstatat(own.folder.fd, holder.tempName.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 &&
         errno == ENOENT)) {
        // It published its job just before it stopped, and only has to end.
        process.Signal(SIGCONT);
        return true;
    }
    std::string problem = waiting.folder.problem;
    if (problem.empty() && (held.st_dev != named.st_dev || held.st_ino != named.st_ino ||
                            !S_ISREG(named.st_mode) || named.st_uid != uid))
        problem = "its file " + holder.tempName + " is not the user's finished job";
    // Under the name of its own release, it comes before every job parked since; should a job of
    // that name wait there already (the print service's count started again), it comes next.
    std::string parked = EarlierParkedJobName(*jobId);
    if (problem.empty()) {
        const PublishAs publish = [&](const std::string& name) {
            return RenameNoReplace(own.folder.fd, holder.tempName.c_str(), waiting.folder.fd,
                                   name.c_str());
        };
        int error = publish(parked);
        if (error == EEXIST)
            error = ParkJob(waiting.folder.fd, *jobId, publish, parked);
        if (error != 0)
            problem = "it cannot be moved to " + parked + ": " + std::strerror(error);
    }
    if (!problem.empty()) {
        process.Signal(SIGCONT);
        std::fprintf(out, "Job %llu of \"%s\" stays with process %d: %s\n",
                     static_cast<unsigned long long>(*jobId), holder.login.c_str(), holder.pid,
                     problem.c_str());
        return false;
    }
    // Killed, not told to end: told, it would remove the job by its old name.
    process.Signal(SIGKILL);
    std::fprintf(out, "Job %llu of \"%s\" moved from process %d to %s/%s/%s/%s\n",
                 static_cast<unsigned long long>(*jobId), holder.login.c_str(), holder.pid,
                 commonPath.c_str(), holder.login.c_str(), kParkedFolderName, parked.c_str());
    return true;
}

} // namespace

int ParkHeldJobs(const std::string& portTemplate, std::FILE* out) {
    const std::size_t slash = portTemplate.rfind('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 >= portTemplate.size()) {
        std::fprintf(out, "The port file must be an absolute path: %s\n", portTemplate.c_str());
        return 1;
    }
    const std::string commonPath = portTemplate.substr(0, slash);
    const OpenFolder common{OpenCommonFolder(commonPath)};
    if (common.folder.fd < 0) {
        std::fprintf(out, "%s\n", common.folder.problem.c_str());
        return 1;
    }
    // Open files are shown by their real path.
    char real[PATH_MAX];
    if (::realpath(commonPath.c_str(), real) == nullptr) {
        std::fprintf(out, "Unable to resolve %s: %s\n", commonPath.c_str(), std::strerror(errno));
        return 1;
    }
    const std::string tempPrefix = "." + portTemplate.substr(slash + 1) + ".";

    // Waiters whose job stays with them; they are not tried again.
    std::set<pid_t> left;
    bool stillWriting = false;
    for (int round = 0;; ++round) {
        stillWriting = false;
        for (const Holder& holder : FindHolders(real, tempPrefix)) {
            if (left.count(holder.pid) != 0)
                continue;
            if (!holder.waiter)
                stillWriting = true;
            else if (!Adopt(holder, common.folder.fd, commonPath, out))
                left.insert(holder.pid);
        }
        if (!stillWriting || round == kWritingRounds)
            break;
        ::sleep(1);
    }
    if (stillWriting)
        std::fprintf(out, "Backends of the earlier release still write jobs; run this again once "
                          "they are done\n");
    ::unlinkat(common.folder.fd, kUpgradeMarker, 0);
    return left.empty() && !stillWriting ? 0 : 1;
}

} // namespace qp::backend
