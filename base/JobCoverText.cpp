#include "base/JobCoverText.h"

#include "base/Job.h"
#include "platform/FileOps.h"
#include "platform/TextLines.h"

#include <array>
#include <optional>
#include <string_view>
#include <utility>

namespace qp {
namespace {

// Three fields typed into a dialog; anything larger was not written by it.
constexpr std::size_t kMaxTextBytes = 256 * 1024;

// One "name=value" line per field, each value escaped onto its line.
using Field = std::pair<std::string_view, std::string JobCoverText::*>;
constexpr std::array<Field, 3> kFields{{
    {"to", &JobCoverText::to},
    {"re", &JobCoverText::re},
    {"notes", &JobCoverText::notes},
}};

} // namespace

std::string CoverTextFileBeside(const std::string& coverFile) {
    const std::size_t slash = coverFile.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : coverFile.substr(0, slash);
    return folder + "/" + kJobCoverTextFile;
}

JobCoverText ReadJobCoverText(const std::string& path) {
    JobCoverText text;
    const std::optional<std::string> contents = ReadSmallFile(path, kMaxTextBytes);
    if (!contents)
        return text;
    for (const std::string_view line : SplitAtLineFeeds(*contents)) {
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        for (const auto& [name, member] : kFields) {
            if (line.substr(0, equals) == name)
                text.*member = UnescapeLineBreaks(line.substr(equals + 1));
        }
    }
    return text;
}

bool WriteJobCoverText(const std::string& path, const JobCoverText& text) {
    std::string contents;
    for (const auto& [name, member] : kFields)
        contents += std::string(name) + "=" + EscapeLineBreaks(text.*member) + "\n";
    return WriteFileAtomically(path, contents, 0600);
}

} // namespace qp
