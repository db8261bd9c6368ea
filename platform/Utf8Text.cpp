#include "platform/Utf8Text.h"

namespace qp {
namespace {

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

std::size_t NextCharacterEnd(std::string_view text, std::size_t position) {
    if (position >= text.size())
        return text.size();
    ++position;
    while (position < text.size() && IsContinuation(text[position]))
        ++position;
    return position;
}

std::size_t CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); i = NextCharacterEnd(text, i))
        ++count;
    return count;
}

std::size_t CharacterStart(std::string_view text, std::size_t position) {
    if (position >= text.size())
        return text.size();
    while (position > 0 && IsContinuation(text[position]))
        --position;
    return position;
}

} // namespace qp
