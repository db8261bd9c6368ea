#include "tools/faxd/ClientText.h"

#include "platform/OutsideText.h"

#include <cstdint>

namespace qp::faxd {
namespace {

constexpr char kReplacement = '?';

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
    return ReplaceUnshown(text, IsPrintable, std::string_view(&kReplacement, 1));
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
