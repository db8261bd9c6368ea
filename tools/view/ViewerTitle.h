#pragma once

#include <QString>
#include <string>

namespace qp::view {

// The window title for the image at `imagePath`. The image of an entry of the fax log in
// `logFolder` is named by its recipient and time ("Fax to (555) 123-4567, 2026-12-07 17:15 - Fax
// Viewer"), any other file by its name ("scan.tif - Fax Viewer"). What the log's record holds is
// shown only as text.
QString ViewerTitle(const std::string& imagePath, const std::string& logFolder);

} // namespace qp::view
