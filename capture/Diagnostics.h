#pragma once

#include <ostream>
#include <string>

namespace qp {

// Writes one printf-formatted diagnostic to `out`, exactly as formatted: the texts carry their own
// line ends, and a few of them deliberately have none.
void Diagnose(std::ostream& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Writes diagnostics collected from `Diagnose` where a person reads them: the text as it is, plus
// a line end when the last one has none, so that whatever is printed next starts a line of its own.
void WriteEndedLines(std::ostream& out, const std::string& text);

} // namespace qp
