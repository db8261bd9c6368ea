#include "update/UpdateCheck.h"

#include "platform/FileOps.h"
#include "platform/MessageBox.h"
#include "platform/UniqueFd.h"
#include "update/HttpFetch.h"
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

void ShowCannotStart(const std::string& what, int error) {
    ShowFileFailure("Unable to start update", what, error);
}

// Copies the program byte for byte; the copy must be executable.
bool CopyProgram(const InstallFolder& folder) {
    const std::string copyPath = folder.File(kProgramCopy);
    UniqueFd program(::open(folder.File(kProgramFile).c_str(), O_RDONLY | O_CLOEXEC));
    if (program.Get() < 0) {
        ShowCannotStart(std::string("Cannot read ") + kProgramFile, errno);
        return false;
    }
    const std::string cannotCreate = std::string("Cannot create ") + kProgramCopy;
    // A fresh file rather than the old one truncated: the old copy may be running (a busy text
    // file cannot be opened for writing) or be a link to a file elsewhere.
    if (::unlink(copyPath.c_str()) != 0 && errno != ENOENT) {
        ShowCannotStart(cannotCreate, errno);
        return false;
    }
    UniqueFd copy(
        ::open(copyPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0755));
    if (copy.Get() < 0 || ::fchmod(copy.Get(), 0755) != 0) {
        ShowCannotStart(cannotCreate, errno);
        return false;
    }
    // A half-written copy must never be started: a failure here ends the check.
    switch (CopyBetweenFds(program.Get(), copy.Get())) {
    case CopyOutcome::Copied:
        break;
    case CopyOutcome::ReadFailed:
        ShowCannotStart(std::string("Cannot read ") + kProgramFile, errno);
        return false;
    case CopyOutcome::WriteFailed:
        ShowCannotStart(cannotCreate, errno);
        return false;
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

void ShowFileFailure(const std::string& headline, const std::string& what, int error) {
    ShowMessage(headline + "\n\n" + what +
                "\n\nError code: " + std::to_string(FileErrorCause(error)));
}

UpdateAvailability IsUpdateAvailable(const std::string& host, const InstallFolder& folder) {
    const ServerManifestText server = FetchServerManifestText(host, folder);
    const bool available =
        server.outcome &&
        !NewEntries(ManifestLines(server.text, false), ReadLocalManifest(folder)).empty();
    return {server.outcome, available};
}

bool CheckForUpdate(const std::string& host, bool silent, ProcessRunner& runner,
                    const std::function<void()>& removeTrayIcon,
                    const std::function<void()>& restoreTrayIcon,
                    const std::function<bool()>& waitUntilReplaceable,
                    const InstallFolder& folder) {
    const UpdateAvailability update = IsUpdateAvailable(host, folder);
    // Only a manifest that was fetched, and trusted, can tell that nothing is new.
    if (!update.fetch) {
        if (!silent)
            ShowMessage("Unable to check for updates: " + update.fetch.reason);
        return false;
    }
    if (!update.available) {
        if (!silent)
            ShowMessage("Application is up to date", MessageIcon::Information);
        return false;
    }
    if (ShowMessage("A Quill Post update is available\n\nWould you like to apply the update now?",
                    MessageIcon::Question, MessageButtons::YesNo) != MessageAnswer::Yes)
        return false;
    if (!CopyProgram(folder))
        return false;
    if (waitUntilReplaceable && !waitUntilReplaceable())
        return false;
    if (removeTrayIcon)
        removeTrayIcon();
    // The blanks around "-update" make the joined command line "  -update  -h:<host>". The copy
    // finds the release in its own folder, so the current folder does not matter to it.
    runner.ReplaceProcess(folder.File(kProgramCopy), {kProgramCopy, " -update ", "-h:" + host});
    const int error = errno;
    if (restoreTrayIcon)
        restoreTrayIcon();
    ShowCannotStart(std::string("Cannot start ") + kProgramCopy, error);
    return false;
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

namespace {

// The automatic check's waits, cut short by a stop.
class StoppableWait final : public Clock {
public:
    StoppableWait(std::mutex& mutex, std::condition_variable& wake, const std::atomic<bool>& stop)
        : m_mutex(mutex), m_wake(wake), m_stop(stop) {}
    TimePoint Now() const override { return std::chrono::steady_clock::now(); }
    void SleepMs(int milliseconds) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait_for(lock, std::chrono::milliseconds(milliseconds),
                        [this] { return m_stop.load(); });
    }

private:
    std::mutex& m_mutex;
    std::condition_variable& m_wake;
    const std::atomic<bool>& m_stop;
};

} // namespace

AutoUpdateCheck::AutoUpdateCheck(std::function<void()> check) : m_check(std::move(check)) {}

AutoUpdateCheck::~AutoUpdateCheck() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (!m_thread.joinable())
        return;
    // A check under way ends soon: its fetches are called off.
    m_thread.join();
}

bool AutoUpdateCheck::Start() {
    if (m_thread.joinable())
        return true;
    try {
        m_thread = std::thread([this] {
            const CancelFetchesWhen cancel(m_stop);
            StoppableWait wait(m_mutex, m_wake, m_stop);
            AutoUpdateCheckProc(wait, m_stop, m_check);
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

} // namespace qp
