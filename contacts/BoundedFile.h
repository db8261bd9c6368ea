#pragma once

#include <cstddef>
#include <string>

namespace qp::contacts {

// A file read whole, up to a size, and only a regular file: a pipe or device under its name would
// never end, and a file from elsewhere may be of any size.
struct BoundedFile {
    enum class State { Missing, Read, TooLarge, Unreadable };
    State state = State::Missing;
    std::string text;
    // Unreadable: why (the system's words, or "it is not a file").
    std::string problem;
};

BoundedFile ReadBoundedFile(const std::string& path, std::size_t maxBytes);

} // namespace qp::contacts
