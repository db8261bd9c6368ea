#include "tools/send/DocumentCheck.h"

#include "platform/OutsideText.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace qp::send {
namespace {

// Enough for any PJL header a print filter writes.
constexpr std::size_t kHeadBytes = 4096;
constexpr std::string_view kNotADocument = "not PostScript or PDF";
// PJL's universal exit command starts a job header of "@PJL" lines.
constexpr std::string_view kUniversalExit = "\x1b%-12345X";
constexpr char kEndOfJob = '\x04';

void SkipEndOfJobMarks(std::string_view& head) {
    while (!head.empty() && head.front() == kEndOfJob)
        head.remove_prefix(1);
}

// What Ghostscript itself skips before the document: end-of-job marks and a PJL job header. A
// UTF-8 byte order mark is not among them (Ghostscript stops at it), so it is no document.
std::string_view AfterPrinterPrefix(std::string_view head) {
    SkipEndOfJobMarks(head);
    if (head.starts_with(kUniversalExit)) {
        head.remove_prefix(kUniversalExit.size());
        while (head.starts_with("@PJL")) {
            const std::size_t end = head.find('\n');
            if (end == std::string_view::npos)
                return {};
            head.remove_prefix(end + 1);
        }
        SkipEndOfJobMarks(head);
    }
    return head;
}

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a pipe";
    if (S_ISSOCK(mode))
        return "a socket";
    return "a device";
}

} // namespace

std::optional<std::string> DocumentProblem(const std::string& path, bool& pdf) {
    const std::string name = ShownAsText(path);
    auto unreadable = [&](int error) {
        return "cannot read " + name + ": " + std::strerror(error);
    };
    // "notes.txt is not PostScript or PDF", "docs is a folder, not PostScript or PDF".
    auto refused = [&](const std::string& what) {
        return name + " is " + (what.empty() ? "" : what + ", ") + std::string(kNotADocument);
    };
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return unreadable(errno);
    if (!S_ISREG(status.st_mode))
        return refused(KindOf(status.st_mode));
    // Not blocking, in case the file became a pipe since it was looked at.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0)
        return unreadable(errno);
    if (::fstat(fd.Get(), &status) != 0)
        return unreadable(errno);
    if (!S_ISREG(status.st_mode))
        return refused(KindOf(status.st_mode));
    std::string head(kHeadBytes, '\0');
    std::size_t got = 0;
    while (got < head.size()) {
        const ssize_t n = ::read(fd.Get(), head.data() + got, head.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return unreadable(errno);
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    if (got == 0)
        return refused("empty");
    const std::string_view document = AfterPrinterPrefix(std::string_view(head).substr(0, got));
    pdf = document.starts_with("%PDF-");
    if (pdf || document.starts_with("%!"))
        return std::nullopt;
    return refused("");
}

} // namespace qp::send
