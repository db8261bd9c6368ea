#pragma once

#include <ostream>

namespace qp {

// Writes one printf-formatted diagnostic to `out`, exactly as formatted: the texts carry their own
// line ends, and a few of them deliberately have none.
void Diagnose(std::ostream& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

} // namespace qp
