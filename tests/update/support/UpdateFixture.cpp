#include "tests/update/support/UpdateFixture.h"

#include "update/HttpFetch.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace qp::test {

ScopedCwd::ScopedCwd(const std::string& path) {
    char old[4096];
    if (::getcwd(old, sizeof old) == nullptr || ::chdir(path.c_str()) != 0)
        throw std::runtime_error("cannot change to " + path);
    m_old = old;
}

ScopedCwd::~ScopedCwd() {
    if (::chdir(m_old.c_str()) != 0)
        std::terminate();
}

ReleaseServer::ReleaseServer(const std::string& root, const std::vector<std::string>& options) {
    std::vector<std::string> argv{QP_PYTHON, QP_RELEASE_SERVER_SCRIPT, root};
    argv.insert(argv.end(), options.begin(), options.end());
    m_process = std::make_unique<LoggedProcess>(argv);
    const std::optional<std::string> first = m_process->WaitForLog("listening on ");
    if (!first)
        throw std::runtime_error("the release server did not start");
    m_host = first->substr(first->rfind(' ') + 1);
}

std::vector<std::string> ReleaseServer::Requests() const {
    // The server logs a request before it answers; once a marker request of our own is logged,
    // every request answered before it is in the log too.
    static int markers = 0;
    const std::string marker = "/log-marker-" + std::to_string(++markers);
    HttpGet("http://" + m_host + marker, [](std::string_view) { return true; });
    m_process->WaitForLog("GET " + marker + " ");
    std::vector<std::string> requests;
    for (const std::string& line : m_process->Log()) {
        if (line.rfind("GET ", 0) == 0 && line.find("/log-marker-") == std::string::npos)
            requests.push_back(line);
    }
    return requests;
}

void UpdateTest::TearDown() {
    EXPECT_TRUE(std::filesystem::is_empty(m_elsewhere.Path()))
        << "the update wrote into the current folder";
}

void UpdateTest::Serve(const std::vector<std::string>& options) {
    m_server = std::make_unique<ReleaseServer>(m_release.Path(), options);
}

unsigned UpdateTest::ModeOf(const std::string& name) const {
    struct stat status {};
    if (::stat(m_install.File(name).c_str(), &status) != 0)
        return 0;
    return status.st_mode & 07777;
}

std::vector<std::string> UpdateTest::InstalledNames() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_install.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace qp::test
