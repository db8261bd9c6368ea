#include "update/UpdateCheck.h"

#include "platform/FileOps.h"
#include "platform/MessageBox.h"
#include "update/Manifest.h"
#include "update/ServerManifest.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

namespace qp {
namespace {

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }
    int Release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

void ShowCannotStart(const std::string& what, int error) {
    ShowMessage("Unable to start update\n\n" + what +
                "\n\nError code: " + std::to_string(FileErrorCause(error)));
}

// Copies the program byte for byte in blocks; the copy must be executable.
bool CopyProgram() {
    Fd program(::open(kProgramFile, O_RDONLY | O_CLOEXEC));
    if (program.Get() < 0) {
        ShowCannotStart(std::string("Cannot read ") + kProgramFile, errno);
        return false;
    }
    const std::string cannotCreate = std::string("Cannot create ") + kProgramCopy;
    // A fresh file rather than the old one truncated: the old copy may be running (a busy text
    // file cannot be opened for writing) or be a link to a file elsewhere.
    if (::unlink(kProgramCopy) != 0 && errno != ENOENT) {
        ShowCannotStart(cannotCreate, errno);
        return false;
    }
    Fd copy(::open(kProgramCopy, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0755));
    if (copy.Get() < 0 || ::fchmod(copy.Get(), 0755) != 0) {
        ShowCannotStart(cannotCreate, errno);
        return false;
    }
    // A half-written copy must never be started: a failure here ends the check.
    char block[kCopyBlockBytes];
    for (;;) {
        const ssize_t got = ::read(program.Get(), block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ShowCannotStart(std::string("Cannot read ") + kProgramFile, errno);
            return false;
        }
        if (got == 0)
            break;
        if (!WriteAllToFd(copy.Get(), std::string_view(block, static_cast<std::size_t>(got)))) {
            ShowCannotStart(cannotCreate, errno);
            return false;
        }
    }
    if (::close(copy.Release()) != 0) {
        ShowCannotStart(cannotCreate, errno);
        return false;
    }
    return true;
}

} // namespace

int FileErrorCause(int error) {
    switch (error) {
    case ENOENT:
        return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
        return 3;
    case EMFILE:
    case ENFILE:
        return 4;
    case EACCES:
    case EPERM:
    case EROFS:
        return 5;
    case EBADF:
        return 6;
    case EIO:
        return 10;
    case ENOSPC:
        return 13;
    default:
        return 1;
    }
}

bool IsUpdateAvailable(const std::string& host) {
    std::optional<std::vector<std::string>> server = FetchServerManifest(host);
    if (!server)
        return false;
    const std::vector<std::string> local = ReadLocalManifest().value_or(std::vector<std::string>{});
    return !NewEntries(*server, local).empty();
}

bool CheckForUpdate(const std::string& host, bool silent, ProcessRunner& runner,
                    const std::function<void()>& removeTrayIcon) {
    if (!IsUpdateAvailable(host)) {
        if (!silent)
            ShowMessage("Application is up to date", MessageIcon::Information);
        return false;
    }
    if (ShowMessage("A Quill Post update is available\n\nWould you like to apply the update now?",
                    MessageIcon::Question, MessageButtons::YesNo) != MessageAnswer::Yes)
        return false;
    if (!CopyProgram())
        return false;
    if (removeTrayIcon)
        removeTrayIcon();
    // The blanks around "-update" make the joined command line "  -update  -h:<host>".
    runner.ReplaceProcess(kProgramCopyPath, {kProgramCopy, " -update ", "-h:" + host});
    return true;
}

unsigned AutoUpdateCheckProc(Clock& clock, const std::atomic<bool>& stop,
                             const std::function<void()>& check) {
    int delay = kAutoCheckDelayMs;
    for (;;) {
        clock.SleepMs(delay);
        if (stop)
            return 0;
        check();
        delay = kAutoCheckIntervalMs;
    }
}

AutoUpdateCheck::AutoUpdateCheck(Clock& clock, std::function<void()> check)
    : m_clock(clock), m_state(std::make_shared<State>()) {
    m_state->check = std::move(check);
}

AutoUpdateCheck::~AutoUpdateCheck() {
    m_state->stop = true;
}

bool AutoUpdateCheck::Start() {
    if (m_started)
        return true;
    try {
        // A wait of a day cannot be cut short, so nothing joins the thread: it ends with the
        // process, or after its current wait once stopped.
        std::thread([state = m_state, &clock = m_clock] {
            AutoUpdateCheckProc(clock, state->stop, state->check);
        }).detach();
    } catch (const std::system_error&) {
        return false;
    }
    m_started = true;
    return true;
}

} // namespace qp
