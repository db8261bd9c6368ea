#include "base/JobCoverText.h"

#include "base/Job.h"
#include "platform/FileOps.h"
#include "platform/TextLines.h"
#include "platform/UniqueFd.h"

#include <array>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <utility>

namespace qp {
namespace {

// Three fields typed into a dialog; anything larger was not written by it.
constexpr std::size_t kMaxTextBytes = 256 * 1024;

using Field = std::pair<std::string_view, std::string JobCoverText::*>;
constexpr std::array<Field, 3> kFields{{
    {"to", &JobCoverText::to},
    {"re", &JobCoverText::re},
    {"notes", &JobCoverText::notes},
}};

// One "name=value" line per field; a value's backslashes and line breaks are escaped, so every
// value stays on its line.
std::string Escaped(const std::string& value) {
    std::string out;
    for (const char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string Unescaped(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char next = value[++i];
        out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

std::optional<std::string> ReadSmallFile(const std::string& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return ReadAllFromFd(fd.Get(), kMaxTextBytes);
}

} // namespace

std::string CoverTextFileBeside(const std::string& coverFile) {
    const std::size_t slash = coverFile.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : coverFile.substr(0, slash);
    return folder + "/" + kJobCoverTextFile;
}

JobCoverText ReadJobCoverText(const std::string& path) {
    JobCoverText text;
    const std::optional<std::string> contents = ReadSmallFile(path);
    if (!contents)
        return text;
    for (const std::string_view line : SplitAtLineFeeds(*contents)) {
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        for (const auto& [name, member] : kFields) {
            if (line.substr(0, equals) == name)
                text.*member = Unescaped(line.substr(equals + 1));
        }
    }
    return text;
}

bool WriteJobCoverText(const std::string& path, const JobCoverText& text) {
    std::string contents;
    for (const auto& [name, member] : kFields)
        contents += std::string(name) + "=" + Escaped(text.*member) + "\n";
    return WriteFileAtomically(path, contents, 0600);
}

} // namespace qp
