#include "tests/fax/support/FaxdProcess.h"

#include "tests/support/TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace qp::test {
namespace {

// Runs `program` as root of a user and mount namespace of its own, with a tmpfs of `bytes` on
// `mountPoint`: a file system that fills up, without privileges and unseen by anyone else.
std::vector<std::string> OnSmallFileSystem(const std::string& mountPoint, std::size_t bytes,
                                           std::vector<std::string> program) {
    std::vector<std::string> argv{
        "unshare",
        "--user",
        "--map-root-user",
        "--mount",
        "sh",
        "-c",
        "mount -t tmpfs -o size=\"$1\" tmpfs \"$2\" && shift 2 && exec \"$@\"",
        "sh",
        std::to_string(bytes),
        mountPoint};
    argv.insert(argv.end(), program.begin(), program.end());
    return argv;
}

} // namespace

bool FaxdProcess::CanLimitOutbox(const std::string& folder) {
    const std::string probe = folder + "/probe";
    std::filesystem::create_directories(probe);
    try {
        return RunProgram(OnSmallFileSystem(probe, 64 * 1024, {"true"})).exitCode == 0;
    } catch (const std::runtime_error&) {
        return false;
    }
}

FaxdProcess::FaxdProcess(const std::string& folder, const std::string& accounts,
                         std::optional<std::size_t> outboxBytes)
    : m_outbox(folder + (outboxBytes ? "/small/outbox" : "/outbox")) {
    const std::string accountsPath = folder + "/accounts";
    WriteFile(accountsPath, accounts);
    std::vector<std::string> argv{QP_FAXD_PROGRAM, "--listen", "127.0.0.1:0", "--accounts",
                                  accountsPath,    "--outbox", m_outbox};
    if (outboxBytes) {
        std::filesystem::create_directories(folder + "/small");
        argv = OnSmallFileSystem(folder + "/small", *outboxBytes, argv);
    }
    m_process = std::make_unique<LoggedProcess>(argv);
    const std::optional<std::string> first = WaitForLog("listening on ");
    const std::size_t colon = first ? first->rfind(':') : std::string::npos;
    if (colon == std::string::npos)
        throw std::runtime_error("quillpost-faxd did not start listening");
    m_port = std::stoi(first->substr(colon + 1));
}

std::vector<std::string> FaxdProcess::Stored(const std::string& extension) const {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(m_outbox, ec)) {
        if (entry.path().extension() == extension)
            files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace qp::test
