#pragma once

#include <string_view>
#include <vector>

namespace qp {

// The pieces of text between LFs, as they stand (a CR before an LF stays with its line). A last
// piece without an LF counts; nothing after a final LF makes another piece.
inline std::vector<std::string_view> SplitAtLineFeeds(std::string_view text) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

} // namespace qp
