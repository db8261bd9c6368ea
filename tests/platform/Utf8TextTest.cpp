#include "platform/Utf8Text.h"

#include "platform/OutsideText.h"

#include <gtest/gtest.h>

namespace {

// Wherever a cut is asked for, it leaves whole characters on both sides, and the steps from one
// character end to the next are the characters counted.
TEST(Utf8Text, CutsAndStepsNeverSplitACharacter) {
    const std::string text = "Fax \xC3\xA0 J\xC3\xBCrgen \xE2\x82\xAC\xF0\x9F\x93\xA0!";
    std::size_t length = 0;
    for (std::size_t position = 0; position <= text.size() + 1; ++position) {
        const std::size_t cut = qp::CharacterStart(text, position);
        EXPECT_LE(cut, std::min(position, text.size()));
        if (cut < text.size()) {
            qp::DecodeUtf8(text, cut, length);
            EXPECT_GT(length, 0u) << position;
        }
    }
    std::size_t steps = 0;
    for (std::size_t at = 0; at < text.size(); at = qp::NextCharacterEnd(text, at), ++steps) {
        qp::DecodeUtf8(text, at, length);
        EXPECT_EQ(qp::NextCharacterEnd(text, at) - at, length) << at;
    }
    EXPECT_EQ(steps, qp::CharacterCount(text));
    EXPECT_EQ(steps, 16u);
}

} // namespace
