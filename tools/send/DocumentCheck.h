#pragma once

#include <optional>
#include <string>

namespace qp::send {

// Why the file at `path` is not a document Ghostscript reads, in one line that names the file
// ("notes.txt is not PostScript or PDF"), or nothing when it starts as PostScript ("%!") or PDF
// ("%PDF-"), after the PJL job header and Ctrl-D marks that print filters put in front; `pdf`
// says which of the two it is. Only the first bytes are read, and only from a regular file: a
// pipe or a device is never opened.
std::optional<std::string> DocumentProblem(const std::string& path, bool& pdf);

} // namespace qp::send
