// quillpost-release: turns an install folder into a release folder that any static web server can
// publish to Quillpost clients.
#include "tools/release/Release.h"
#include "update/Minisign.h"

#include "platform/FileOps.h"
#include "platform/ProgramInfo.h"

#include <iostream>
#include <termios.h>
#include <unistd.h>

namespace {

// The password of an encrypted secret key, from standard input, without echo on a terminal.
std::string ReadPassword() {
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    termios saved{};
    if (terminal && ::tcgetattr(STDIN_FILENO, &saved) == 0) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        std::cerr << "Password: " << std::flush;
    }
    std::string password;
    std::getline(std::cin, password);
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::cerr << "\n";
    }
    return password;
}

} // namespace

int main(int argc, char** argv) {
    if (qp::AnswerInfoRequest(argc, argv, "quillpost-release", qp::release::UsageText().c_str()))
        return 0;
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const std::optional<qp::release::ReleaseOptions> options =
        qp::release::ParseReleaseArguments(args, error);
    if (!options) {
        std::cerr << "quillpost-release: " << error << "\n" << qp::release::UsageText();
        return 2;
    }
    std::string password;
    if (options->secretKeyPath) {
        const std::optional<std::string> keyText = qp::ReadWholeFile(*options->secretKeyPath);
        if (keyText && qp::MinisignSecretKeyIsEncrypted(*keyText))
            password = ReadPassword();
    }
    const qp::release::ReleaseResult result = qp::release::BuildRelease(
        options->sourceDir, options->releaseDir, options->secretKeyPath.value_or(""), password);
    for (const std::string& skipped : result.skipped)
        std::cerr << "quillpost-release: skipped " << skipped << "\n";
    if (!result.ok) {
        std::cerr << "quillpost-release: " << result.error << "\n";
        return 1;
    }
    std::cout << result.files.size() << " files in " << options->releaseDir << "\n";
    return 0;
}
