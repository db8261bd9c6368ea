#pragma once

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace qp::bench {

// A temporary file of `size` bytes that starts like a TIFF image; the caller removes it.
inline std::string ImageOfSize(std::size_t size) {
    char path[] = "/tmp/qp-bench-XXXXXX";
    const int fd = ::mkstemp(path);
    ::close(fd);
    std::ofstream out(path, std::ios::binary);
    std::string bytes(size, '\x55');
    bytes.replace(0, 4, std::string("II*\0", 4));
    out << bytes;
    return path;
}

} // namespace qp::bench
