#include "tests/support/cups/CupsFixture.h"

#include "capture/PrintServer.h"

#include <cups/cups.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace qp::test {

namespace {

constexpr const char* kCupsd = "/usr/sbin/cupsd";
constexpr const char* kSystemServerBin = "/usr/lib/cups";
constexpr const char* kSystemDataDir = "/usr/share/cups";

void MakeFolder(const std::string& path, mode_t mode = 0755) {
    if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST)
        throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
    ::chmod(path.c_str(), mode);
}

// Links every entry of `from` into `to`, except the names in `skip`.
void LinkEntries(const std::string& from, const std::string& to,
                 const std::vector<std::string>& skip = {}) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(from, ec)) {
        const std::string name = entry.path().filename().string();
        if (std::find(skip.begin(), skip.end(), name) != skip.end())
            continue;
        fs::create_symlink(entry.path(), fs::path(to) / name, ec);
    }
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::trunc);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

// Debian's stock policy of that name: jobs need a user that cupsd authenticates, which a local
// client does through its socket's peer credentials.
constexpr const char* kAuthenticatedPolicy = R"(<Policy authenticated>
  JobPrivateAccess default
  JobPrivateValues default
  SubscriptionPrivateAccess default
  SubscriptionPrivateValues default
  <Limit Create-Job Print-Job Print-URI Validate-Job>
    AuthType Default
    Order deny,allow
  </Limit>
  <Limit Send-Document Send-URI Hold-Job Release-Job Restart-Job Purge-Jobs Set-Job-Attributes Cancel-Job Cancel-My-Jobs Close-Job CUPS-Move-Job>
    AuthType Default
    Require user @OWNER @SYSTEM
    Order deny,allow
  </Limit>
  <Limit CUPS-Add-Modify-Printer CUPS-Delete-Printer>
    AuthType Default
    Require user @SYSTEM
    Order deny,allow
  </Limit>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
)";

// Everything else open to all, on the private socket only, browsing nothing.
constexpr const char* kOpenServer = R"(Browsing No
BrowseLocalProtocols none
DefaultShared No
WebInterface No
DefaultAuthType Basic
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  JobPrivateAccess all
  JobPrivateValues none
  SubscriptionPrivateAccess all
  SubscriptionPrivateValues none
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
)";

bool ChildExited(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == pid;
}

bool CanConnect(const std::string& socketPath) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
    const bool ok =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return ok;
}

} // namespace

std::string BuiltBackendPath() {
    return QP_BUILT_BACKEND;
}
std::string BuiltProvisionPath() {
    return QP_BUILT_PROVISION;
}
std::string SourcePpdPath() {
    return QP_SOURCE_PPD;
}

std::string PrivateCupsdUnavailableReason() {
    if (::geteuid() != 0)
        return "a private cupsd must be started as root (it runs its backends as root)";
    if (::access(kCupsd, X_OK) != 0)
        return std::string(kCupsd) + " is not installed (package cups-daemon)";
    if (::access((std::string(kSystemServerBin) + "/filter/pstops").c_str(), X_OK) != 0)
        return "the pstops filter is not installed (package cups-core-drivers)";
    return {};
}

PrivateCupsd::PrivateCupsd() {
    std::string pattern = (fs::temp_directory_path() / "qp-cupsd-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_root = pattern;
    try {
        Prepare();
        Launch();
        WaitUntilListening();
    } catch (...) {
        Shutdown();
        throw;
    }
    m_env.push_back(std::make_unique<ScopedEnv>("CUPS_SERVER", Socket()));
    m_env.push_back(std::make_unique<ScopedEnv>("CUPS_SERVERBIN", ServerBin()));
    m_env.push_back(std::make_unique<ScopedEnv>("CUPS_DATADIR", DataDir()));
    m_env.push_back(std::make_unique<ScopedEnv>("QUILLPOST_COMMON_DIR", FaxFolder()));
    // libcups remembers its server per thread; this thread may have used another one before.
    cupsSetServer(Socket().c_str());
}

PrivateCupsd::~PrivateCupsd() {
    m_env.clear();
    cupsSetServer(nullptr);
    Shutdown();
}

void PrivateCupsd::Prepare() {
    // Filters run as lp and other users print through the socket, so the folder is open to read.
    MakeFolder(m_root);
    for (const char* sub :
         {"/etc", "/serverbin", "/serverbin/backend", "/serverbin/driver", "/data", "/data/model",
          "/cache", "/state", "/spool", "/spool/tmp", "/log"})
        MakeFolder(m_root + sub);

    // No driver programs: listing them would browse the network.
    for (const char* sub : {"daemon", "filter", "notifier", "monitor", "cgi-bin"}) {
        const std::string system = std::string(kSystemServerBin) + "/" + sub;
        if (::access(system.c_str(), F_OK) == 0)
            fs::create_symlink(system, ServerBin() + "/" + sub);
    }
    LinkEntries(std::string(kSystemServerBin) + "/backend", BackendFolder(), {"quillpost"});
    // A copy, not a link: cupsd runs a backend as root only when it is mode 0700.
    const std::string backend = BackendFolder() + "/quillpost";
    fs::copy_file(BuiltBackendPath(), backend, fs::copy_options::overwrite_existing);
    ::chmod(backend.c_str(), 0700);
    LinkEntries(kSystemDataDir, DataDir(), {"model"});

    std::string files = "User lp\nGroup lp\nSystemGroup root\nFileDevice No\n";
    for (const auto& [name, path] :
         std::vector<std::pair<std::string, std::string>>{{"ServerRoot", m_root + "/etc"},
                                                          {"ServerBin", ServerBin()},
                                                          {"DataDir", DataDir()},
                                                          {"CacheDir", m_root + "/cache"},
                                                          {"StateDir", m_root + "/state"},
                                                          {"RequestRoot", m_root + "/spool"},
                                                          {"TempDir", m_root + "/spool/tmp"},
                                                          {"AccessLog", m_root + "/log/access_log"},
                                                          {"ErrorLog", m_root + "/log/error_log"},
                                                          {"PageLog", m_root + "/log/page_log"},
                                                          {"Printcap", m_root + "/printcap"}})
        files += name + " " + path + "\n";
    WriteText(m_root + "/etc/cups-files.conf", files);
    WriteText(m_root + "/etc/cupsd.conf",
              "LogLevel debug\nListen " + Socket() + "\n" + kOpenServer + kAuthenticatedPolicy);
}

void PrivateCupsd::Launch() {
    const std::string conf = m_root + "/etc/cupsd.conf";
    const std::string files = m_root + "/etc/cups-files.conf";
    const std::string out = m_root + "/log/cupsd.out";
    m_pid = ::fork();
    if (m_pid < 0)
        throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        const int null = ::open("/dev/null", O_RDONLY);
        const int log = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (null >= 0)
            ::dup2(null, 0);
        if (log >= 0) {
            ::dup2(log, 1);
            ::dup2(log, 2);
        }
        // Its own process group, so that nothing it leaves behind outlives the test.
        ::setpgid(0, 0);
        ::execl(kCupsd, kCupsd, "-f", "-c", conf.c_str(), "-s", files.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
}

void PrivateCupsd::WaitUntilListening() {
    bool exited = false;
    const bool up = WaitUntil(
        [&] {
            if (ChildExited(m_pid)) {
                exited = true;
                return true;
            }
            return CanConnect(Socket());
        },
        std::chrono::seconds(20));
    if (exited) {
        m_pid = -1;
        throw std::runtime_error("cupsd ended at start:\n" + ReadFile(m_root + "/log/cupsd.out") +
                                 ErrorLog());
    }
    if (!up)
        throw std::runtime_error("cupsd did not listen within 20 s:\n" + ErrorLog());
}

void PrivateCupsd::Stop() {
    if (m_pid <= 0)
        return;
    // Left unreaped until its group is gone, so that no other group can take its number.
    const auto ended = [&] {
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == m_pid;
    };
    ::kill(m_pid, SIGTERM);
    if (!WaitUntil(ended, std::chrono::seconds(15)))
        ::kill(m_pid, SIGKILL);
    // Its group: whatever filters or backends it still runs; and backends that left the group.
    ::kill(-m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    for (const pid_t pid : BackendProcesses())
        ::kill(pid, SIGKILL);
    m_pid = -1;
}

void PrivateCupsd::Shutdown() {
    Stop();
    if (!m_root.empty()) {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }
}

void PrivateCupsd::Restart() {
    Stop();
    Launch();
    WaitUntilListening();
}

std::vector<pid_t> PrivateCupsd::BackendProcesses() const {
    std::vector<pid_t> pids;
    const std::string backend = BackendFolder() + "/quillpost";
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code linkError;
        if (fs::read_symlink(entry.path() / "exe", linkError).string() == backend)
            pids.push_back(static_cast<pid_t>(std::stol(name)));
    }
    return pids;
}

std::string PrivateCupsd::ErrorLog() const {
    return ReadFile(m_root + "/log/error_log");
}

void PrivateCupsd::RemoveFaxBackend() {
    ::unlink((BackendFolder() + "/quillpost").c_str());
}

qp::ProvisionPaths PrivateCupsd::FaxPrinterPaths() const {
    qp::ProvisionPaths paths;
    paths.backendFolder = BackendFolder();
    paths.modelFolder = ModelFolder();
    paths.commonFolder = FaxFolder();
    paths.ppdSources = {SourcePpdPath()};
    return paths;
}

int PrivateCupsd::ProvisionFaxPrinter(std::string* output) const {
    std::ostringstream lines;
    const int result = qp::ProvisionFaxPrinter(qp::DefaultPrintServer(), FaxPrinterPaths(), lines);
    if (output != nullptr)
        *output = lines.str();
    return result;
}

void CupsdTest::SetUp() {
    const std::string reason = PrivateCupsdUnavailableReason();
    if (!reason.empty())
        GTEST_SKIP() << reason;
    m_cupsd = std::make_unique<PrivateCupsd>();
}

void CupsdTest::TearDown() {
    if (m_cupsd && HasFailure()) {
        // The end of the log tells what the scheduler did with the last jobs.
        const std::string log = m_cupsd->ErrorLog();
        const std::size_t keep = 20000;
        std::cerr << "--- end of the cupsd error log ---\n"
                  << (log.size() > keep ? log.substr(log.size() - keep) : log) << "---\n";
    }
    m_cupsd.reset();
}

} // namespace qp::test
