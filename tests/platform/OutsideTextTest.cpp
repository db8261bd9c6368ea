#include "platform/OutsideText.h"

#include <gtest/gtest.h>

namespace {

TEST(ShownAsText, ControlsBecomeQuestionMarksAndBrokenUtf8TheReplacementCharacter) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"plain text, caf\xc3\xa9, \xe2\x82\xac", "plain text, caf\xc3\xa9, \xe2\x82\xac"},
        {"line\r\nbreak\ttab", "line??break?tab"},
        {std::string("nul\0del\x7f", 8), "nul?del?"},
        {"\xc2\x85next line \xc2\x9b csi \xc2\xa0nbsp", "?next line ? csi \xc2\xa0nbsp"},
        {"\x1b[2J", "?[2J"},
        {"cut \xe2\x82", "cut \xef\xbf\xbd\xef\xbf\xbd"},
        {"overlong \xc0\xaf surrogate \xed\xa0\x80",
         "overlong \xef\xbf\xbd\xef\xbf\xbd surrogate \xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(qp::ShownAsText(c.in), c.out) << c.in;
}

} // namespace
