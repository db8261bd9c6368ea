// The CUPS backend of the fax printer, installed as <serverbin>/backend/quillpost with mode 0700 so
// that cupsd runs it as root. Its device URI ("quillpost:/var/spool/quillpost/fax.ps") names the
// common folder and the port file's name; each job goes into the port file of the private folder
// of the user who printed (/var/spool/quillpost/<login>/fax.ps), owned by that user, mode 0600,
// where that user's running client takes it. Plain C++ on purpose: it runs as root for every job.
#include "capture/DeviceUri.h"
#include "capture/backend/JobFile.h"
#include "capture/backend/SpoolFolders.h"
#include "platform/ProgramInfo.h"

#include <cups/backend.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

namespace {

constexpr const char* kUsage =
    "usage: quillpost job-id user title copies options [file]\n"
    "The CUPS backend of the Quill Post fax printer: cupsd runs it for each job with the device\n"
    "URI quillpost:/PATH/fax.ps in DEVICE_URI, and it writes the job into that port file as the\n"
    "user who printed. Without arguments it lists its device.\n";

volatile std::sig_atomic_t g_cancelled = 0;

void OnTerminate(int) {
    g_cancelled = 1;
}

// How long a job waits in the background for the same user's previous job to be taken, the time
// CUPS would have kept retrying it with its default limits. QUILLPOST_BACKEND_WAIT (seconds, e.g.
// through SetEnv in cupsd.conf) changes it.
constexpr int kDefaultWaitSeconds = 1800;
// More jobs of one user than this waiting at once are left to CUPS to retry later.
constexpr int kMaxWaitingJobs = 32;

int WaitSeconds() {
    const char* text = std::getenv("QUILLPOST_BACKEND_WAIT");
    if (text == nullptr || *text == '\0')
        return kDefaultWaitSeconds;
    char* end = nullptr;
    const long seconds = std::strtol(text, &end, 10);
    if (*end != '\0' || seconds < 0 || seconds > 86400)
        return kDefaultWaitSeconds;
    return static_cast<int>(seconds);
}

long MonotonicSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long>(now.tv_sec);
}

// A name from the job, shown on a status line: a line break in it would start a status line of
// its own for cupsd.
std::string Printable(const char* text) {
    std::string shown = text;
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    }
    return shown;
}

void SleepBriefly() {
    timespec pause{0, 100 * 1000 * 1000};
    ::nanosleep(&pause, nullptr);
}

std::optional<std::string> PortFileOf(const char* argv0) {
    const char* uri = std::getenv("DEVICE_URI");
    if (uri == nullptr)
        uri = argv0;
    return qp::PortPathFromUri(uri);
}

// Publishes the job as soon as the user's port file comes free, until the wait is over or the
// process is told to end; the job is removed then. Nobody reads the waiter's status any more, so a
// job given up is told to the system log.
void PublishWhenFree(qp::backend::JobFile& job, const std::string& portFile) {
    const long deadline = MonotonicSeconds() + WaitSeconds();
    int error = EEXIST;
    while (!g_cancelled && MonotonicSeconds() < deadline) {
        error = job.PublishInTurn();
        if (error != EEXIST)
            break;
        SleepBriefly();
    }
    job.Discard();
    if (error == 0)
        return;
    ::openlog("quillpost-backend", LOG_PID, LOG_LPR);
    if (error != EEXIST)
        ::syslog(LOG_ERR, "Fax job for %s discarded: %s", portFile.c_str(), std::strerror(error));
    else if (g_cancelled)
        ::syslog(LOG_ERR, "Fax job for %s discarded: stopped while waiting", portFile.c_str());
    else
        ::syslog(LOG_ERR, "Fax job for %s discarded: %s was not taken in %d seconds",
                 portFile.c_str(), portFile.c_str(), WaitSeconds());
    ::closelog();
}

// The queue serves all users one job at a time, so a job whose user has not yet taken the
// previous one must not hold it: a process of its own waits for that user's port file, and the
// queue goes on with the next job.
int WaitInBackground(qp::backend::JobFile& job, const std::string& portFile) {
    if (qp::backend::CountWaitingJobs(job.Folder(), portFile.substr(portFile.rfind('/') + 1)) >
        kMaxWaitingJobs) {
        std::fprintf(stderr, "INFO: Too many faxes wait in %s; trying later\n", portFile.c_str());
        return CUPS_BACKEND_RETRY;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::fprintf(stderr, "ERROR: Unable to wait for %s: %s\n", portFile.c_str(),
                     std::strerror(errno));
        return CUPS_BACKEND_RETRY;
    }
    if (pid > 0) {
        job.HandOver();
        std::fprintf(stderr, "INFO: The fax waits in %s until the previous one is taken\n",
                     portFile.c_str());
        return CUPS_BACKEND_OK;
    }
    // cupsd ends a job's processes and reads its status until every copy of the pipes is closed:
    // the waiter keeps nothing of the job but its folder and its file.
    ::setsid();
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    for (int fd = 0; fd < 3; ++fd) {
        if (null < 0 || ::dup2(null, fd) < 0)
            ::close(fd);
    }
    // Its folder and the job, which keeps the job's lock.
    const auto low = static_cast<unsigned>(std::min(job.Folder(), job.Descriptor()));
    const auto high = static_cast<unsigned>(std::max(job.Folder(), job.Descriptor()));
    if (low > 3)
        ::close_range(3, low - 1, 0);
    if (high > low + 1)
        ::close_range(low + 1, high - 1, 0);
    ::close_range(high + 1, ~0U, 0);
    PublishWhenFree(job, portFile);
    ::_exit(0);
}

int Deliver(qp::backend::JobFile& job, const std::string& portFile) {
    if (g_cancelled)
        return CUPS_BACKEND_FAILED;
    const int error = job.PublishInTurn();
    if (error == 0) {
        std::fprintf(stderr, "INFO: Fax job ready in %s\n", portFile.c_str());
        return CUPS_BACKEND_OK;
    }
    if (error == EEXIST)
        return WaitInBackground(job, portFile);
    std::fprintf(stderr, "ERROR: Unable to create %s: %s\n", portFile.c_str(),
                 std::strerror(error));
    return CUPS_BACKEND_RETRY;
}

// Closes the folder descriptors on every way out.
struct Folders {
    int common = -1;
    int user = -1;
    ~Folders() {
        for (int fd : {user, common}) {
            if (fd >= 0)
                ::close(fd);
        }
    }
};

int PrintJob(int argc, char* argv[]) {
    const std::optional<std::string> portTemplate = PortFileOf(argv[0]);
    const std::size_t slash = portTemplate ? portTemplate->rfind('/') : std::string::npos;
    if (!portTemplate || slash + 1 >= portTemplate->size()) {
        std::fputs("ERROR: The device URI must be quillpost: followed by an absolute path\n",
                   stderr);
        return CUPS_BACKEND_STOP;
    }
    const std::string commonPath = slash == 0 ? "/" : portTemplate->substr(0, slash);
    const std::string portName = portTemplate->substr(slash + 1);

    const passwd* user = ::getpwnam(argv[2]);
    if (user == nullptr) {
        // Nobody here could ever take such a job.
        std::fprintf(stderr, "ERROR: Unknown user \"%s\"\n", Printable(argv[2]).c_str());
        return CUPS_BACKEND_CANCEL;
    }
    const std::string login = user->pw_name;
    const uid_t uid = user->pw_uid;
    const gid_t gid = user->pw_gid;

    int input = 0;
    if (argc == 7) {
        input = ::open(argv[6], O_RDONLY | O_CLOEXEC);
        if (input < 0) {
            std::fprintf(stderr, "ERROR: Unable to open print file \"%s\": %s\n", argv[6],
                         std::strerror(errno));
            return CUPS_BACKEND_FAILED;
        }
    }

    Folders folders;
    const qp::backend::FolderResult common = qp::backend::OpenCommonFolder(commonPath);
    if (common.fd < 0) {
        // The queue's set-up is wrong for every user: stopped until provisioning mends it.
        std::fprintf(stderr, "ERROR: %s\n", common.problem.c_str());
        return CUPS_BACKEND_STOP;
    }
    folders.common = common.fd;
    const qp::backend::FolderResult own =
        qp::backend::OpenUserFolder(folders.common, commonPath, login, uid, gid);
    if (own.fd < 0) {
        // Only this user's jobs are affected; the queue goes on for everybody else.
        std::fprintf(stderr, "ERROR: %s\n", own.problem.c_str());
        return CUPS_BACKEND_CANCEL;
    }
    folders.user = own.fd;
    const std::string portFile = commonPath + "/" + login + "/" + portName;

    qp::backend::JobFile job(folders.user, portName);
    if (const int error = job.Create()) {
        std::fprintf(stderr, "ERROR: Unable to write a job beside %s: %s\n", portFile.c_str(),
                     std::strerror(error));
        return CUPS_BACKEND_RETRY;
    }
    if (const int error = job.CopyFrom(input, g_cancelled)) {
        if (g_cancelled)
            return CUPS_BACKEND_FAILED;
        std::fprintf(stderr, "ERROR: Unable to write the job: %s\n", std::strerror(error));
        return CUPS_BACKEND_RETRY;
    }
    if (g_cancelled)
        return CUPS_BACKEND_FAILED;
    if (const int error = job.Seal(uid, gid)) {
        std::fprintf(stderr, "ERROR: Unable to hand the job to \"%s\": %s\n", login.c_str(),
                     std::strerror(error));
        return CUPS_BACKEND_RETRY;
    }
    return Deliver(job, portFile);
}

} // namespace

int main(int argc, char* argv[]) {
    std::setbuf(stderr, nullptr);

    if (qp::AnswerInfoRequest(argc, argv, "quillpost-backend", kUsage))
        return CUPS_BACKEND_OK;
    if (argc == 1) {
        std::puts("direct quillpost \"Unknown\" \"Quill Post\"");
        return CUPS_BACKEND_OK;
    }
    if (argc < 6 || argc > 7) {
        std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
        return CUPS_BACKEND_FAILED;
    }

    // A cancelled job ends the copy at once; the temporary file goes with it, the port file is
    // never touched. A job that waits in the background is given up the same way. No SA_RESTART, so
    // a read from a pipe is interrupted.
    struct sigaction action {};
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    // Should cupsd stop reading our status, a status line must not end us before the temporary
    // file is cleaned up.
    std::signal(SIGPIPE, SIG_IGN);

    return PrintJob(argc, argv);
}
