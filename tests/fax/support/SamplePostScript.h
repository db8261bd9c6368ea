#pragma once

#include <string>

namespace qp::test {

// A document of `pages` letter pages with a line of text each.
inline std::string TextPostScript(int pages) {
    std::string ps = "%!PS-Adobe-3.0\n%%Pages: " + std::to_string(pages) + "\n";
    for (int page = 1; page <= pages; ++page) {
        ps += "%%Page: " + std::to_string(page) + " " + std::to_string(page) + "\n";
        ps += "/Helvetica findfont 24 scalefont setfont\n";
        ps += "72 700 moveto (Quillpost test page " + std::to_string(page) + ") show\n";
        ps += "showpage\n";
    }
    return ps + "%%EOF\n";
}

// One page painted black all over, easy to tell from text pages in the image.
inline std::string BlackPagePostScript() {
    return "%!PS-Adobe-3.0\n%%Pages: 1\n%%Page: 1 1\n"
           "clippath fill\nshowpage\n%%EOF\n";
}

} // namespace qp::test
