// The CUPS backend of the fax printer, installed as <serverbin>/backend/quillpost with mode 0700 so
// that cupsd runs it as root. Its device URI ("quillpost:/var/spool/quillpost/fax.ps") names the
// common folder and the port file's name; each job goes into the port file of the private folder
// of the user who printed (/var/spool/quillpost/<login>/fax.ps), owned by that user, mode 0600,
// where that user's running client takes it; while that is taken, the job waits in the user's
// waiting folder for the client to take it in turn. The backend never waits itself and leaves no
// process behind. Plain C++ on purpose: it runs as root for every job.
#include "backend/HeldJobs.h"
#include "backend/JobFile.h"
#include "backend/SpoolFolders.h"
#include "backend/WaitingFolder.h"
#include "base/DeviceUri.h"
#include "base/JobPhone.h"
#include "base/ParkedJobs.h"
#include "platform/ProgramInfo.h"
#include "platform/UserAccounts.h"

#include <cups/backend.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kUsage =
    "usage: quillpost job-id user title copies options [file]\n"
    "       quillpost --park-held-jobs /PATH/fax.ps\n"
    "The CUPS backend of the Quill Post fax printer: cupsd runs it for each job with the device\n"
    "URI quillpost:/PATH/fax.ps in DEVICE_URI, and it writes the job into the port file of the\n"
    "user who printed, /PATH/<login>/fax.ps, or, while that is taken or other jobs wait, into\n"
    "/PATH/<login>/waiting/<count>-<job id>.ps (at most 100 jobs and 1 GiB a user), numbered\n"
    "in print order. A job printed with the option phone=NUMBER (as a driver's custom field\n"
    "gives it, Custom.NUMBER) begins with the line \"%%QuillpostPhone: NUMBER\": only digits,\n"
    "+, blanks, ., -, ( and ), at most 64 of them. Without arguments it lists its device.\n"
    "--park-held-jobs moves the jobs that backends of an earlier release still hold in\n"
    "processes of their own into the waiting folders and ends those processes.\n";

volatile std::sig_atomic_t g_cancelled = 0;

void OnTerminate(int) {
    g_cancelled = 1;
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

std::optional<std::string> PortFileOf(const char* argv0) {
    const char* uri = std::getenv("DEVICE_URI");
    if (uri == nullptr)
        uri = argv0;
    return qp::PortPathFromUri(uri);
}

bool Exists(int folder, const char* name) {
    struct stat st {};
    return ::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// Closes the folder descriptors on every way out.
struct Folders {
    int common = -1;
    int user = -1;
    int waiting = -1;
    ~Folders() {
        for (int fd : {waiting, user, common}) {
            if (fd >= 0)
                ::close(fd);
        }
    }
};

// Where one job of one user goes.
struct Delivery {
    std::uint64_t jobId = 0;
    std::string portName;
    std::string portFile;
    std::string waitingPath;
    uid_t uid = 0;
    gid_t gid = 0;
    // The recipient the job's "phone" option names, cleaned; empty for none.
    std::string phone;
};

// The job goes straight to the port file only when nothing of its user waits before it; else it
// waits behind the others, and the user's client takes it in turn. Either way the queue moves on
// at once: no job holds it, nor any process.
int Deliver(qp::backend::JobFile& job, const Folders& folders, const Delivery& to, bool straight) {
    if (straight) {
        const int error = job.Publish(folders.user, to.portName);
        if (error == 0) {
            std::fprintf(stderr, "INFO: Fax job ready in %s\n", to.portFile.c_str());
            return CUPS_BACKEND_OK;
        }
        if (error != EEXIST) {
            std::fprintf(stderr, "ERROR: Unable to create %s: %s\n", to.portFile.c_str(),
                         std::strerror(error));
            return CUPS_BACKEND_RETRY;
        }
    }
    std::string name;
    const int error = qp::backend::ParkJob(
        folders.waiting, to.jobId,
        [&job, &folders](const std::string& as) { return job.Publish(folders.waiting, as); }, name);
    if (error == 0) {
        std::fprintf(stderr, "INFO: The fax waits in %s/%s until the ones before it are taken\n",
                     to.waitingPath.c_str(), name.c_str());
        return CUPS_BACKEND_OK;
    }
    std::fprintf(stderr, "ERROR: Unable to park the fax in %s: %s\n", to.waitingPath.c_str(),
                 std::strerror(error));
    return CUPS_BACKEND_RETRY;
}

// The limits on what one user keeps waiting, checked before the job is read: 0 when it may
// come, else the status to end with.
int CheckLimits(const qp::backend::WaitingFolderState& state, const Delivery& to, bool mustWait) {
    if (state.error == E2BIG) {
        std::fprintf(stderr, "ERROR: %s holds more than %zu entries; the fax is refused\n",
                     to.waitingPath.c_str(), qp::kMaxParkedJobs);
        return CUPS_BACKEND_CANCEL;
    }
    if (state.error != 0) {
        std::fprintf(stderr, "ERROR: Unable to read %s: %s\n", to.waitingPath.c_str(),
                     std::strerror(state.error));
        return CUPS_BACKEND_RETRY;
    }
    if (mustWait && state.parked >= qp::kMaxParkedJobs) {
        std::fprintf(stderr,
                     "ERROR: %zu faxes already wait in %s; the fax is refused until some are "
                     "taken\n",
                     state.parked, to.waitingPath.c_str());
        return CUPS_BACKEND_CANCEL;
    }
    if (state.parkedBytes >= qp::kMaxParkedBytes) {
        std::fprintf(stderr,
                     "ERROR: The faxes waiting in %s take 1 GiB already; the fax is refused "
                     "until some are taken\n",
                     to.waitingPath.c_str());
        return CUPS_BACKEND_CANCEL;
    }
    return 0;
}

int WriteAndDeliver(int input, const Folders& folders, const Delivery& to) {
    const qp::backend::WaitingFolderState state =
        qp::backend::ScanWaitingFolder(folders.waiting, to.uid, std::time(nullptr));
    // During a package upgrade, backends of the earlier release may still hold older jobs.
    const bool mustWait = state.parked > 0 || Exists(folders.user, to.portName.c_str()) ||
                          Exists(folders.common, qp::backend::kUpgradeMarker);
    if (const int refused = CheckLimits(state, to, mustWait))
        return refused;

    qp::backend::JobFile job(folders.waiting, to.jobId);
    if (const int error = job.Create(to.uid, to.gid)) {
        std::fprintf(stderr, "ERROR: Unable to write a job in %s: %s\n", to.waitingPath.c_str(),
                     std::strerror(error));
        return CUPS_BACKEND_RETRY;
    }
    const int error =
        job.CopyFrom(input, g_cancelled, qp::kMaxParkedBytes - state.parkedBytes, to.phone);
    if (g_cancelled)
        return CUPS_BACKEND_FAILED;
    if (error == EFBIG) {
        std::fprintf(stderr,
                     "ERROR: With this fax, the faxes waiting in %s would take more than 1 GiB; "
                     "the fax is refused\n",
                     to.waitingPath.c_str());
        return CUPS_BACKEND_CANCEL;
    }
    if (error == ENOSPC || error == EDQUOT) {
        // The disk is the machine's, not the job's, and may have room again soon: CUPS keeps
        // the job and tries it later, while the other jobs go on.
        std::fprintf(stderr,
                     "ERROR: Not enough free disk space for the fax in %s; trying again later\n",
                     to.waitingPath.c_str());
        return CUPS_BACKEND_RETRY;
    }
    if (error != 0) {
        std::fprintf(stderr, "ERROR: Unable to write the job: %s\n", std::strerror(error));
        return CUPS_BACKEND_RETRY;
    }
    if (const int sealError = job.Seal()) {
        std::fprintf(stderr, "ERROR: Unable to write the job: %s\n", std::strerror(sealError));
        return CUPS_BACKEND_RETRY;
    }
    return Deliver(job, folders, to, !mustWait);
}

int PrintJob(int argc, char* argv[]) {
    const std::optional<std::string> portTemplate = PortFileOf(argv[0]);
    const std::size_t slash = portTemplate ? portTemplate->rfind('/') : std::string::npos;
    if (!portTemplate || slash + 1 >= portTemplate->size()) {
        std::fputs("ERROR: The device URI must be quillpost: followed by an absolute path\n",
                   stderr);
        return CUPS_BACKEND_STOP;
    }
    const std::string commonPath = slash == 0 ? "/" : portTemplate->substr(0, slash);

    Delivery to;
    to.portName = portTemplate->substr(slash + 1);
    const std::optional<std::uint64_t> jobId = qp::ParseJobId(argv[1]);
    if (!jobId) {
        std::fprintf(stderr, "ERROR: \"%s\" is no job id\n", Printable(argv[1]).c_str());
        return CUPS_BACKEND_CANCEL;
    }
    to.jobId = *jobId;
    const std::optional<qp::UserAccount> user = qp::AccountNamed(argv[2]).account;
    if (!user) {
        // Nobody here could ever take such a job.
        std::fprintf(stderr, "ERROR: Unknown user \"%s\"\n", Printable(argv[2]).c_str());
        return CUPS_BACKEND_CANCEL;
    }
    const std::string login = user->login;
    to.uid = user->uid;
    to.gid = user->gid;
    // A number that does not pass is left out and the job goes on: the user types one in the
    // send dialog as without the option.
    if (const std::optional<std::string> phone = qp::PhoneOption(argv[5])) {
        to.phone = qp::CleanPhone(*phone);
        if (to.phone.empty())
            std::fputs("INFO: The fax number given with the job is no number and is left out\n",
                       stderr);
    }

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
    // Only this user's jobs are affected by a problem with the user's own folders; the queue
    // goes on for everybody else.
    const qp::backend::FolderResult own =
        qp::backend::OpenUserFolder(folders.common, commonPath, login, to.uid, to.gid);
    if (own.fd < 0) {
        std::fprintf(stderr, "ERROR: %s\n", own.problem.c_str());
        return CUPS_BACKEND_CANCEL;
    }
    folders.user = own.fd;
    const std::string userPath = commonPath + "/" + login;
    to.portFile = userPath + "/" + to.portName;
    to.waitingPath = userPath + "/" + qp::kParkedFolderName;
    const qp::backend::FolderResult waiting =
        qp::backend::OpenWaitingFolder(folders.user, userPath, to.uid, to.gid);
    if (waiting.fd < 0) {
        std::fprintf(stderr, "ERROR: %s\n", waiting.problem.c_str());
        return CUPS_BACKEND_CANCEL;
    }
    folders.waiting = waiting.fd;
    return WriteAndDeliver(input, folders, to);
}

} // namespace

int main(int argc, char* argv[]) {
    std::setbuf(stderr, nullptr);

    if (qp::AnswerInfoRequest(argc, argv, "quillpost-backend", kUsage))
        return CUPS_BACKEND_OK;
    if (argc == 3 && std::strcmp(argv[1], "--park-held-jobs") == 0)
        return qp::backend::ParkHeldJobs(argv[2], stdout) == 0 ? 0 : 1;
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
