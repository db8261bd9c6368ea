#pragma once

#include <string>

namespace qp {

// The title a printed document gives itself in its PostScript header (the "%%Title:" comment the
// print filters write), as outside text made safe to show; empty when there is none. Only the
// header is read, so a file of any size answers at once.
std::string DocumentTitle(const std::string& postScriptPath);

} // namespace qp
