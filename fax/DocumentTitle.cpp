#include "fax/DocumentTitle.h"

#include "platform/OutsideText.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qp {
namespace {

// The header comments come first; a title beyond this is not one the filters wrote.
constexpr std::size_t kHeaderBytes = 8192;
constexpr const char* kTitleComment = "%%Title:";

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

} // namespace

std::string DocumentTitle(const std::string& postScriptPath) {
    const UniqueFd file(::open(postScriptPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (file.Get() < 0 || ::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    std::string header(kHeaderBytes, '\0');
    const ssize_t got = ::read(file.Get(), header.data(), header.size());
    if (got <= 0)
        return {};
    header.resize(static_cast<std::size_t>(got));
    for (std::size_t start = 0; start < header.size();) {
        const std::size_t end = header.find_first_of("\r\n", start);
        const std::string line =
            header.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (line.rfind(kTitleComment, 0) == 0) {
            std::string title = Trimmed(line.substr(std::string(kTitleComment).size()));
            // The comment's value may be a PostScript string in parentheses.
            if (title.size() >= 2 && title.front() == '(' && title.back() == ')')
                title = Trimmed(title.substr(1, title.size() - 2));
            return ShownAsText(title);
        }
        // The header ends at the first line that is not a comment.
        if (!line.empty() && line[0] != '%')
            break;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return {};
}

} // namespace qp
