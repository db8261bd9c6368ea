#include "tools/faxd/ClientText.h"

#include <cstdint>

namespace qp::faxd {
namespace {

constexpr char kReplacement = '?';

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The code point of the well-formed UTF-8 sequence at `at` and its length; length 0 when the
// bytes there are not one (stray continuation, overlong form, surrogate, beyond U+10FFFF, cut off).
std::uint32_t Decode(const std::string& text, std::size_t at, std::size_t& length) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::uint32_t point = 0;
    std::uint32_t lowest = 0;
    if (lead < 0x80) {
        length = 1;
        return lead;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        point = lead & 0x1Fu;
        lowest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        point = lead & 0x0Fu;
        lowest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        point = lead & 0x07u;
        lowest = 0x10000;
    } else {
        length = 0;
        return 0;
    }
    if (at + length > text.size()) {
        length = 0;
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[at + i]);
        if (!IsContinuation(byte)) {
            length = 0;
            return 0;
        }
        point = (point << 6) | (byte & 0x3Fu);
    }
    if (point < lowest || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
        length = 0;
    return point;
}

bool InRange(std::uint32_t point, std::uint32_t first, std::uint32_t last) {
    return point >= first && point <= last;
}

// Controls, separators other than the space, and the format characters that change how the text
// around them is shown or broken, without ever being seen themselves.
bool IsPrintable(std::uint32_t point) {
    return !(point < 0x20 || InRange(point, 0x7F, 0x9F) || point == 0xAD || point == 0x61C ||
             point == 0x180E || InRange(point, 0x200B, 0x200F) || InRange(point, 0x2028, 0x202E) ||
             InRange(point, 0x2060, 0x206F) || point == 0xFEFF || InRange(point, 0xFFF9, 0xFFFB) ||
             point == 0xFFFE || point == 0xFFFF || InRange(point, 0xE0000, 0xE007F));
}

} // namespace

std::string Printable(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = 0;
        const std::uint32_t point = Decode(text, at, length);
        if (length == 0) {
            shown += kReplacement;
            ++at;
            continue;
        }
        if (IsPrintable(point))
            shown.append(text, at, length);
        else
            shown += kReplacement;
        at += length;
    }
    return shown;
}

bool IsRecipient(const std::string& text) {
    bool digitSeen = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9')
            digitSeen = true;
        else if (c != ';')
            return false;
    }
    return digitSeen;
}

} // namespace qp::faxd
