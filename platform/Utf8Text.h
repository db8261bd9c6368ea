#pragma once

#include <cstddef>
#include <string_view>

namespace qp {

// Text is cut and counted by characters, never inside one: these walk UTF-8 by code point (a
// stray byte counts as one character).
std::size_t NextCharacterEnd(std::string_view text, std::size_t position);
std::size_t CharacterCount(std::string_view text);
// The start of the character that the byte at `position` belongs to, so that a cut there splits
// none; the end of the text for a position at or past it.
std::size_t CharacterStart(std::string_view text, std::size_t position);

} // namespace qp
