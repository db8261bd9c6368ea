// The CUPS backend of the fax printer, installed as <serverbin>/backend/quillpost with mode 0700 so
// that cupsd runs it as root. It writes each job into the port file named by its device URI
// ("quillpost:/var/spool/quillpost/fax.ps"), owned by the user who printed, mode 0600, where that
// user's running client takes it. Plain C++ on purpose: it runs as root for every job.
#include "capture/DeviceUri.h"
#include "capture/backend/JobFile.h"
#include "platform/ProgramInfo.h"

#include <cups/backend.h>

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

// How long a job waits for the previous one to be taken before CUPS is asked to keep it and try
// again later. QUILLPOST_BACKEND_WAIT (seconds, e.g. through SetEnv in cupsd.conf) changes it.
int WaitSeconds() {
    const char* text = std::getenv("QUILLPOST_BACKEND_WAIT");
    if (text == nullptr || *text == '\0')
        return 300;
    char* end = nullptr;
    const long seconds = std::strtol(text, &end, 10);
    if (*end != '\0' || seconds < 0 || seconds > 86400)
        return 300;
    return static_cast<int>(seconds);
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

int Publish(qp::backend::JobFile& job, const std::string& portFile) {
    const int waitSeconds = WaitSeconds();
    const std::time_t deadline = std::time(nullptr) + waitSeconds;
    bool waiting = false;
    // CUPS keeps a printer's state reason until it is taken back: every way out of the wait does.
    auto stopWaiting = [&waiting] {
        if (waiting)
            std::fputs("STATE: -other\n", stderr);
        waiting = false;
    };
    for (;;) {
        // Checked before every attempt: a job cancelled while it waited must not appear later.
        if (g_cancelled) {
            stopWaiting();
            return CUPS_BACKEND_FAILED;
        }
        const int error = job.Publish();
        if (error == 0) {
            stopWaiting();
            std::fprintf(stderr, "INFO: Fax job ready in %s\n", portFile.c_str());
            return CUPS_BACKEND_OK;
        }
        if (error != EEXIST) {
            stopWaiting();
            std::fprintf(stderr, "ERROR: Unable to create %s: %s\n", portFile.c_str(),
                         std::strerror(error));
            return CUPS_BACKEND_STOP;
        }
        if (!waiting) {
            std::fputs("STATE: +other\n", stderr);
            std::fprintf(stderr, "INFO: Waiting for the previous fax to be taken from %s\n",
                         portFile.c_str());
            waiting = true;
        }
        if (std::time(nullptr) >= deadline) {
            stopWaiting();
            std::fprintf(stderr, "INFO: The previous fax is still waiting in %s; trying later\n",
                         portFile.c_str());
            return CUPS_BACKEND_RETRY;
        }
        SleepBriefly();
    }
}

int PrintJob(int argc, char* argv[]) {
    const std::optional<std::string> portFile = PortFileOf(argv[0]);
    if (!portFile) {
        std::fputs("ERROR: The device URI must be quillpost: followed by an absolute path\n",
                   stderr);
        return CUPS_BACKEND_STOP;
    }
    const passwd* user = ::getpwnam(argv[2]);
    if (user == nullptr) {
        // Nobody here could ever take such a job, and it would block every later one.
        std::fprintf(stderr, "ERROR: Unknown user \"%s\"\n", argv[2]);
        return CUPS_BACKEND_CANCEL;
    }
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

    qp::backend::JobFile job(*portFile);
    if (const int error = job.Create()) {
        std::fprintf(stderr, "ERROR: Unable to write a job beside %s: %s\n", portFile->c_str(),
                     std::strerror(error));
        return CUPS_BACKEND_STOP;
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
        std::fprintf(stderr, "ERROR: Unable to hand the job to \"%s\": %s\n", argv[2],
                     std::strerror(error));
        return error == EPERM ? CUPS_BACKEND_STOP : CUPS_BACKEND_RETRY;
    }
    return Publish(job, *portFile);
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
    // never touched. No SA_RESTART, so a read from a pipe is interrupted.
    struct sigaction action {};
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    // Should cupsd stop reading our status, a status line must not end us before the temporary
    // file is cleaned up.
    std::signal(SIGPIPE, SIG_IGN);

    return PrintJob(argc, argv);
}
