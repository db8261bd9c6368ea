#pragma once

#include "update/InstallFolder.h"

#include <string>
#include <string_view>
#include <vector>

namespace qp {

// The release manifest: one "name=version" entry a line, in the client's folder and on the server.
inline constexpr const char* kManifestName = "faxmfst.txt";

// Splits text at LF (a CR before it goes with the trimming) and trims every line. `keepEmpty`
// keeps the empty lines, as the local copy does; the server's are dropped.
std::vector<std::string> ManifestLines(std::string_view text, bool keepEmpty);

// The local copy in `folder`, empty lines kept. One that cannot be read counts as empty: every
// server entry is then new.
std::vector<std::string> ReadLocalManifest(const InstallFolder& folder);

// Server entries that no local line equals, byte for byte, in server order; empty lines skipped.
std::vector<std::string> NewEntries(const std::vector<std::string>& server,
                                    const std::vector<std::string>& local);

} // namespace qp
