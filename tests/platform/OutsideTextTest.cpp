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
        // Bidirectional controls, which could make "invoice\u202Efdp.exe" read "invoice.pdf";
        // right-to-left letters themselves stay.
        {"invoice\xe2\x80\xae"
         "fdp.exe",
         "invoice?fdp.exe"},
        {"\xe2\x80\xaa"
         "a\xe2\x80\xab"
         "b\xe2\x80\xac"
         "c\xe2\x80\xad"
         "d",
         "?a?b?c?d"},
        {"\xe2\x81\xa6"
         "x\xe2\x81\xa7"
         "y\xe2\x81\xa8"
         "z\xe2\x81\xa9",
         "?x?y?z?"},
        {"\xe2\x80\x8e"
         "l\xe2\x80\x8f"
         "r\xd8\x9c"
         "a",
         "?l?r?a"},
        {"\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d \xd8\xb3\xd9\x84\xd8\xa7\xd9\x85",
         "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d \xd8\xb3\xd9\x84\xd8\xa7\xd9\x85"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(qp::ShownAsText(c.in), c.out) << c.in;
}

} // namespace
