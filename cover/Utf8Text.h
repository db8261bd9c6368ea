#pragma once

#include <cstddef>
#include <string_view>

namespace qp {

// Text is cut and counted by characters, never inside one: these walk UTF-8 by code point (a
// stray byte counts as one character).
std::size_t NextCharacterEnd(std::string_view text, std::size_t position);
std::size_t CharacterCount(std::string_view text);

} // namespace qp
