#include "platform/TextLines.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

// The two rules read the same bytes differently; files written under each rely on its reading.
TEST(LineRules, TheProgramsTextFilesAndLineFeedFilesSplitApart) {
    const struct {
        std::string in;
        Lines textLines;
        Lines lineFeeds;
    } cases[] = {
        {"a\nb", {"a", "b"}, {"a", "b"}},
        {"a\r\nb\r\n", {"a", "b"}, {"a\r", "b\r"}},
        {"a\rXb\n", {"a", "b"}, {"a\rXb"}},
        {"a\n\n", {"a", ""}, {"a", ""}},
        {"", {}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(qp::SplitTextLines(c.in), c.textLines) << c.in;
        const std::vector<std::string_view> pieces = qp::SplitAtLineFeeds(c.in);
        EXPECT_EQ(Lines(pieces.begin(), pieces.end()), c.lineFeeds) << c.in;
    }
    // Trimming takes the six ASCII blanks from both ends, and nothing else (a no-break space).
    EXPECT_EQ(qp::TrimBlanks("\r\n\v\f\t x\xC2\xA0y \f\v\r\n"), "x\xC2\xA0y");
}

} // namespace
