#include "update/Manifest.h"

#include "platform/FileOps.h"
#include "platform/TextLines.h"

#include <algorithm>

namespace qp {

std::vector<std::string> ManifestLines(std::string_view text, bool keepEmpty) {
    std::vector<std::string> lines;
    for (std::string_view piece : SplitAtLineFeeds(text)) {
        std::string line = TrimBlanks(piece);
        if (keepEmpty || !line.empty())
            lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<std::string> ReadLocalManifest(const InstallFolder& folder) {
    const std::optional<std::string> text = ReadWholeFile(folder.File(kManifestName));
    if (!text)
        return {};
    return ManifestLines(*text, true);
}

std::vector<std::string> NewEntries(const std::vector<std::string>& server,
                                    const std::vector<std::string>& local) {
    std::vector<std::string> entries;
    for (const std::string& entry : server) {
        if (!entry.empty() && std::find(local.begin(), local.end(), entry) == local.end())
            entries.push_back(entry);
    }
    return entries;
}

} // namespace qp
