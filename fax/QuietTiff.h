#pragma once

#include <string>

typedef struct tiff TIFF;

namespace qp {

// Opens a TIFF file (TIFFOpen's modes) whose warnings and errors go nowhere: the caller says what
// matters in its own words. The handle carries its own handlers, so libtiff's process-wide ones,
// which other threads use meanwhile, are never touched.
TIFF* OpenTiffQuietly(const std::string& path, const char* mode);

// The same for an open descriptor, which the handle takes over only when it succeeds.
TIFF* OpenTiffQuietly(int fd, const std::string& name, const char* mode);

} // namespace qp
