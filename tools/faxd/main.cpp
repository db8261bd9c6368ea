// quillpost-faxd: a fax server for the Quillpost upload protocol, for local use and tests. It
// keeps every accepted fax in an outbox folder instead of dialling out.
#include "platform/ProgramInfo.h"
#include "tools/faxd/FaxServer.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kDefaultListen = "127.0.0.1:7541";

int g_stopWrite = -1;

void OnStopSignal(int) {
    const char byte = 1;
    const int saved = errno;
    (void)!::write(g_stopWrite, &byte, 1);
    errno = saved;
}

const std::string& UsageText() {
    static const std::string text =
        std::string(
            "usage: quillpost-faxd --accounts FILE --outbox DIR [--listen ADDRESS:PORT]\n"
            "  --accounts FILE       message box numbers and PINs, \"NUMBER PIN\" per line\n"
            "  --outbox DIR          where received faxes are stored (created private if missing;\n"
            "                        refused when other users may enter it)\n"
            "  --listen ADDRESS:PORT IPv4 address and port (default ") +
        kDefaultListen + "; port 0 picks a free one)\n";
    return text;
}

int UsageError(const std::string& message) {
    std::cerr << "quillpost-faxd: " << message << "\n";
    std::cerr << UsageText();
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (qp::AnswerInfoRequest(argc, argv, "quillpost-faxd", UsageText().c_str()))
        return 0;
    std::string listen = kDefaultListen;
    std::string accountsPath;
    std::string outboxPath;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::cout << UsageText();
            return 0;
        }
        if (i + 1 >= argc)
            return UsageError("missing value for " + option);
        const std::string value = argv[++i];
        if (option == "--listen")
            listen = value;
        else if (option == "--accounts")
            accountsPath = value;
        else if (option == "--outbox")
            outboxPath = value;
        else
            return UsageError("unknown option " + option);
    }
    if (accountsPath.empty() || outboxPath.empty())
        return UsageError("--accounts and --outbox are required");

    std::string address;
    int port = 0;
    if (!qp::faxd::ParseListenAddress(listen, address, port))
        return UsageError("bad --listen value " + listen);

    std::string error;
    const std::optional<qp::faxd::Accounts> accounts =
        qp::faxd::Accounts::Load(accountsPath, error);
    if (!accounts) {
        std::cerr << "quillpost-faxd: " << error << "\n";
        return 1;
    }
    const qp::faxd::Outbox outbox(outboxPath);
    if (!outbox.Prepare(error)) {
        std::cerr << "quillpost-faxd: " << error << "\n";
        return 1;
    }

    int stopPipe[2];
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("quillpost-faxd: pipe");
        return 1;
    }
    g_stopWrite = stopPipe[1];
    struct sigaction stop {};
    stop.sa_handler = OnStopSignal;
    sigemptyset(&stop.sa_mask);
    ::sigaction(SIGTERM, &stop, nullptr);
    ::sigaction(SIGINT, &stop, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);

    std::mutex logMutex;
    auto log = [&logMutex](const std::string& line) {
        std::lock_guard<std::mutex> lock(logMutex);
        std::cout << line << std::endl;
    };

    qp::faxd::FaxServer server(*accounts, outbox, log);
    if (!server.Listen(address, port, error)) {
        std::cerr << "quillpost-faxd: " << error << "\n";
        return 1;
    }
    // The first line tells a caller that picked port 0 where to connect.
    log("listening on " + server.BoundAddress());
    server.Serve(stopPipe[0]);
    log("stopped");
    return 0;
}
