#include "capture/Provisioning.h"

#include "base/DeviceUri.h"
#include "capture/Diagnostics.h"
#include "capture/FaxPrinter.h"
#include "capture/PpdDriver.h"
#include "capture/SpoolLeftovers.h"
#include "platform/CommonFolder.h"
#include "platform/FileOps.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef QP_INSTALLED_PPD
#define QP_INSTALLED_PPD "/usr/local/share/quillpost/gs.ppd"
#endif

namespace qp {

namespace {

std::string EnvOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' ? value : fallback;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

int ListFolderNames(const std::string& folder, std::vector<std::string>& names) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return errno;
    errno = 0;
    while (const dirent* entry = ::readdir(dir))
        names.emplace_back(entry->d_name);
    const int readError = errno;
    ::closedir(dir);
    return readError;
}

// What the common folder's check reports, by the error that failed it.
int ReportAddPortStatus(int error, std::ostream& out) {
    using namespace provision;
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        Diagnose(out, "Failed to add port: ERROR_ACCESS_DENIED\n");
        return kAddPortAccessDenied + error;
    case ENAMETOOLONG:
        Diagnose(out, "Failed to add port: ERROR_INSUFFICIENT_BUFFER\n");
        return kAddPortInsufficientBuffer + error;
    case ENOTDIR:
        Diagnose(out, "Failed to add port: ERROR_INVALID_DATA\n");
        return kAddPortInvalidData + error;
    case EBADF:
        Diagnose(out, "Failed to add port: ERROR_INVALID_HANDLE\n");
        return kAddPortInvalidHandle + error;
    case EINVAL:
        Diagnose(out, "Failed to add port: ERROR_INVALID_PARAMETER\n");
        return kAddPortInvalidParameter + error;
    default:
        Diagnose(out, "Failed to add port: %d\n", error);
        return kAddPortOther + error;
    }
}

// The common folder belongs to root, mode 0755: no user can create, replace or remove anything in
// it, and each user's jobs go into a private folder inside that the backend makes.
constexpr mode_t kPortFolderMode = 0755;

// Opens the common folder's parent and splits off the folder's own name; the handle or -1 with
// errno.
int OpenPortFolderParent(const std::string& folder, std::string& leaf) {
    const std::size_t slash = folder.find_last_of('/');
    const std::string parent = slash == 0 ? "/" : folder.substr(0, slash);
    leaf = folder.substr(slash + 1).empty() ? "." : folder.substr(slash + 1);
    return ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Makes the common folder root's with mode 0755, creating it when it is missing, and clears a
// folder that was there of leftovers; says what it changed (or, with `announceCreation`, that it
// made one). 0 or the error that stopped it; EEXIST never, a link or file in its place is ENOTDIR.
int SecurePortFolder(int parent, const std::string& leaf, const std::string& folder,
                     bool announceCreation, std::ostream& out) {
    const bool created = ::mkdirat(parent, leaf.c_str(), kPortFolderMode) == 0;
    if (!created && errno != EEXIST)
        return errno;
    const int fd = ::openat(parent, leaf.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ELOOP ? ENOTDIR : errno;
    int status = 0;
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        status = errno;
    if (created && announceCreation)
        Diagnose(out, "Common folder created: %s\n", folder.c_str());
    if (status == 0 && (st.st_uid != 0 || st.st_gid != 0)) {
        if (::fchown(fd, 0, 0) != 0)
            status = errno;
        else if (!created)
            Diagnose(out, "Common folder owner set to root: %s\n", folder.c_str());
    }
    if (status == 0 && (st.st_mode & 07777) != kPortFolderMode) {
        if (::fchmod(fd, kPortFolderMode) != 0)
            status = errno;
        else if (!created)
            Diagnose(out, "Common folder mode set to %04o: %s\n", kPortFolderMode, folder.c_str());
    }
    // Only now that nobody else can change the folder is what lies in it sure to stay as found.
    if (status == 0 && !created)
        status = MoveLeftoversAside(fd, folder, out);
    ::close(fd);
    return status;
}

// Adding the port makes its folder ready for the backend. An existing port is only as good as the
// folder behind it, so that one is made or mended the same way.
int PreparePort(const std::string& folder, const std::string& portName, bool portExists,
                std::ostream& out) {
    using namespace provision;
    std::string leaf;
    const int handle = OpenPortFolderParent(folder, leaf);
    if (handle < 0) {
        const int error = errno;
        Diagnose(out, "Failed to get handle to monitor '%s': %d\n", kFaxBackendName, error);
        return kPortFolderFailed + error;
    }
    if (!portExists && ::mkdirat(handle, leaf.c_str(), kPortFolderMode) != 0 && errno != EEXIST) {
        const int error = errno;
        ::close(handle);
        Diagnose(out, "Failed to execute XcvData to create port: %d\n", error);
        return kAddPortCallFailed + error;
    }
    if (const int status = SecurePortFolder(handle, leaf, folder, portExists, out)) {
        ::close(handle);
        return ReportAddPortStatus(status, out);
    }
    if (portExists) {
        ::close(handle);
        return 0;
    }
    Diagnose(out, "Port added: %s\n", portName.c_str());
    if (::close(handle) != 0)
        Diagnose(out, "Failed to close handle to monitor '%s': %d\n", kFaxBackendName, errno);
    return 0;
}

// Creates the folder and any missing parents; 0 or errno.
int EnsureFolder(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT)
        return errno;
    const std::size_t slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        if (const int error = EnsureFolder(folder.substr(0, slash)))
            return error;
    }
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

// Copies a file over any file of the target name, atomically; 0 or errno.
int CopyFileReplacing(const std::string& from, const std::string& to) {
    // O_NONBLOCK: a pipe under the source's name must not stall provisioning; only a file is read.
    const UniqueFd in(::open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (in.Get() < 0)
        return errno;
    struct stat st {};
    if (::fstat(in.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return EINVAL;
    if (!ReplaceWithCopy(in.Get(), to, 0644))
        return errno != 0 ? errno : EIO;
    return 0;
}

std::string ChoosePpdSource(const std::vector<std::string>& sources) {
    for (const std::string& source : sources) {
        if (FileExists(source))
            return source;
    }
    return sources.empty() ? std::string(kFaxPpdFile) : sources.front();
}

} // namespace

ProvisionPaths DefaultProvisionPaths() {
    ProvisionPaths paths;
    paths.backendFolder = EnvOr("CUPS_SERVERBIN", "/usr/lib/cups") + "/backend";
    paths.modelFolder = EnvOr("CUPS_DATADIR", "/usr/share/cups") + "/model";
    paths.commonFolder = CommonFolderPath();
    paths.ppdSources = {kFaxPpdFile, QP_INSTALLED_PPD};
    return paths;
}

int ProvisionFaxPrinter(PrintServer& server, const ProvisionPaths& paths, std::ostream& out) {
    using namespace provision;

    // The backend plays the port monitor: without it CUPS has nothing to print through.
    std::vector<std::string> backends;
    if (const int error = ListFolderNames(paths.backendFolder, backends)) {
        Diagnose(out, "Unable to retrieve print port monitors: %d", error);
        return kListMonitorsFailed + error;
    }
    bool monitorFound = false;
    for (const std::string& backend : backends) {
        if (backend == kFaxBackendName) {
            Diagnose(out, "Monitor already exists: %s\n", kFaxBackendName);
            monitorFound = true;
        }
    }
    if (!monitorFound) {
        Diagnose(out, "Port monitor '%s' does not exist\n", kFaxBackendName);
        return kMonitorMissing + ENOENT;
    }

    if (paths.commonFolder.empty() || paths.commonFolder[0] != '/') {
        Diagnose(out, "Error getting common documents folder path\n");
        return kPortFolderFailed + EINVAL;
    }
    const std::string portName = JoinPath(paths.commonFolder, kPortFileName);

    // A port is known to CUPS only through the queues that print to it.
    std::vector<PrintQueue> queues;
    if (const int status = server.ListQueues(queues)) {
        Diagnose(out, "Unable to retrieve print port monitors: %d", status);
        return kListPortsFailed + status;
    }
    // Several queues may print to one port; it is reported once. Paths differ by letter case.
    bool portFound = false;
    for (const PrintQueue& queue : queues) {
        const std::optional<std::string> port = PortPathFromUri(queue.deviceUri);
        if (port && *port == portName && !portFound) {
            Diagnose(out, "Port already exists: %s\n", portName.c_str());
            portFound = true;
        }
    }
    if (const int result = PreparePort(paths.commonFolder, portName, portFound, out))
        return result;

    std::vector<InstalledDriver> drivers;
    if (const int error = ListDrivers(paths.modelFolder, drivers)) {
        Diagnose(out, "Unable to retrieve print drivers: %d", error);
        return kListDriversFailed + error;
    }
    std::string driverPpd;
    for (const InstalledDriver& driver : drivers) {
        if (driver.name == kFaxDriverName) {
            Diagnose(out, "Driver already exists: %s\n", kFaxDriverName);
            driverPpd = driver.ppdPath;
        }
    }

    if (const int error = EnsureFolder(paths.modelFolder)) {
        Diagnose(out, "Failed to retrieve the printer driver directory: %d\n", error);
        return kDriverFolderFailed + error;
    }
    Diagnose(out, "Printer driver directory: %s\n", paths.modelFolder.c_str());

    if (driverPpd.empty()) {
        const std::string target = JoinPath(paths.modelFolder, kFaxPpdFile);
        if (const int error = CopyFileReplacing(ChoosePpdSource(paths.ppdSources), target)) {
            Diagnose(out, "Failed to copy ppd file: %d\n", error);
            return kCopyPpdFailed + error;
        }
        // Installed means CUPS tools find the driver under its name from now on.
        errno = 0;
        const std::optional<std::string> installed = ReadDriverName(target);
        if (!installed || *installed != kFaxDriverName) {
            const int error = installed ? EINVAL : (errno != 0 ? errno : EIO);
            Diagnose(out, "Failed to add printer driver: %d\n", error);
            return kAddDriverFailed + error;
        }
        Diagnose(out, "Printer driver added: %s\n", kFaxDriverName);
        driverPpd = target;
    }

    if (server.QueueExists(kFaxQueueName)) {
        // An old printer kept because the server will not let this user replace it is no success.
        const int status = server.DeleteQueue(kFaxQueueName);
        if (IsRefusal(status)) {
            Diagnose(out, "Failed to add printer: %d\n", status);
            return kAddPrinterFailed + status;
        }
    }

    // A queue that could not be deleted stays as it is.
    if (server.QueueExists(kFaxQueueName)) {
        Diagnose(out, "Printer already exists: %s\n", kFaxQueueName);
        return 0;
    }
    const NewPrintQueue queue{kFaxQueueName, kFaxPrinterInfo, PortUriFromPath(portName), driverPpd,
                              kFaxQueuePolicy};
    if (const int status = server.AddQueue(queue)) {
        Diagnose(out, "Failed to add printer: %d\n", status);
        return kAddPrinterFailed + status;
    }
    Diagnose(out, "Printer added: %s\n", kFaxQueueName);
    Diagnose(out, "Printer closed after creation.\n");
    return 0;
}

int ProvisionFaxPrinter(std::ostream& out) {
    return ProvisionFaxPrinter(DefaultPrintServer(), DefaultProvisionPaths(), out);
}

} // namespace qp
