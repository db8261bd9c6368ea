#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qp {

// The release manifest: one "name=version" entry a line, in the client's folder and on the server.
inline constexpr const char* kManifestName = "faxmfst.txt";

// Removes leading and trailing space, tab, CR, LF, vertical tab and form feed.
std::string TrimManifestLine(std::string_view line);

// Splits text at LF (a CR before it goes with the trimming) and trims every line. `keepEmpty`
// keeps the empty lines, as the local copy does; the server's are dropped.
std::vector<std::string> ManifestLines(std::string_view text, bool keepEmpty);

// The local copy, empty lines kept; nothing when it cannot be read.
std::optional<std::vector<std::string>> ReadLocalManifest(const std::string& path = kManifestName);

// Server entries that no local line equals, byte for byte, in server order; empty lines skipped.
std::vector<std::string> NewEntries(const std::vector<std::string>& server,
                                    const std::vector<std::string>& local);

} // namespace qp
