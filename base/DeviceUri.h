#pragma once

#include <optional>
#include <string>

namespace qp {

// The fax printer's CUPS device URI names the port file: "quillpost:" followed by its absolute
// path, with bytes outside the safe set written as %XX. Shared with the backend, so plain C++.
inline constexpr const char* kPortScheme = "quillpost";

std::string PortUriFromPath(const std::string& path);

// The port file's path, or nothing when the URI is not a quillpost URI with an absolute path.
std::optional<std::string> PortPathFromUri(const std::string& uri);

} // namespace qp
