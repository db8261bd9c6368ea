#include "tools/send/SendPin.h"

#include "base/AccountPin.h"
#include "platform/FileOps.h"
#include "platform/OutsideText.h"
#include "platform/Profile.h"
#include "platform/SecretStore.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace qp::send {
namespace {

// A PIN is a short line; a file larger than this is no PIN file.
constexpr std::size_t kMostRead = 4096;

std::string Octal(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777);
    return text;
}

} // namespace

std::optional<std::string> ReadPinFile(const std::string& path, std::string& error) {
    const std::string shown = ShownAsText(path);
    // Not through a link, and never stuck on a pipe: what is opened is what is checked.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK));
    if (fd.Get() < 0) {
        error = errno == ELOOP ? shown + " is a symbolic link, not a regular file"
                               : shown + ": " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = shown + " is not a regular file";
        return std::nullopt;
    }
    if (st.st_uid != ::geteuid()) {
        error = shown + " does not belong to you";
        return std::nullopt;
    }
    if ((st.st_mode & 077) != 0) {
        error = shown + " is open to others (mode " + Octal(st.st_mode) +
                "); it must be 0600 or stricter";
        return std::nullopt;
    }
    const std::optional<std::string> text = ReadAllFromFd(fd.Get(), kMostRead);
    if (!text) {
        error = errno == EFBIG ? shown + " is too large to hold a PIN"
                               : shown + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::string pin = text->substr(0, text->find('\n'));
    if (!pin.empty() && pin.back() == '\r')
        pin.pop_back();
    if (pin.empty()) {
        error = shown + " holds no PIN on its first line";
        return std::nullopt;
    }
    return pin;
}

std::optional<std::string> PinForSend(SecretStore& store, const Profile& profile,
                                      const std::string& pinFile, std::ostream& err,
                                      int& exitCode) {
    const SecretOutcome found =
        AwaitSecret([&](SecretAnswer done) { FindPin(store, profile, std::move(done)); });
    if (found.kind == SecretOutcome::Kind::Found)
        return found.pin;
    if (found.kind != SecretOutcome::Kind::NotFound) {
        const char* where = found.kind == SecretOutcome::Kind::NoService
                                ? "no keyring can be reached here"
                                : "the keyring could not be read";
        err << "quillpost-send: the PIN is not in the settings and " << where << ": "
            << ShownAsText(found.reason) << "; "
            << (pinFile.empty() ? "give it with --pin-file FILE"
                                : "taking it from " + ShownAsText(pinFile))
            << "\n";
        if (pinFile.empty()) {
            exitCode = 1;
            return std::nullopt;
        }
    }
    // Stored nowhere: an empty PIN, which the server refuses in its own words, unless given here.
    if (pinFile.empty())
        return std::string();
    std::string error;
    std::optional<std::string> pin = ReadPinFile(pinFile, error);
    if (!pin) {
        err << "quillpost-send: " << error << "\n";
        exitCode = 2;
    }
    return pin;
}

} // namespace qp::send
