#pragma once

#include <string>

namespace qp::faxlog {

// The number of pages (directories) in a TIFF image; 0 when it can't be read as one.
int CountTiffPages(const std::string& path);

// "1 page", "3 pages".
std::string PagesText(int pages);

} // namespace qp::faxlog
