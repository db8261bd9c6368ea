#include "platform/OutsideText.h"

namespace qp {
namespace {

constexpr const char* kReplacementCharacter = "\xEF\xBF\xBD";

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

} // namespace

std::uint32_t DecodeUtf8(std::string_view text, std::size_t at, std::size_t& length) {
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

std::string ReplaceUnshown(std::string_view text, bool (*shown)(std::uint32_t point),
                           std::string_view forInvalid) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = 0;
        const std::uint32_t point = DecodeUtf8(text, at, length);
        if (length == 0) {
            result += forInvalid;
            ++at;
            continue;
        }
        if (shown(point))
            result.append(text.substr(at, length));
        else
            result += '?';
        at += length;
    }
    return result;
}

// The characters that reorder the text around them (embeddings, overrides, isolates, marks): a
// name holding one could show a terminal or a window something other than what it is.
bool IsBidiControl(std::uint32_t point) {
    return point == 0x061C || point == 0x200E || point == 0x200F ||
           (point >= 0x202A && point <= 0x202E) || (point >= 0x2066 && point <= 0x2069);
}

std::string ShownAsText(std::string_view text) {
    return ReplaceUnshown(
        text,
        [](std::uint32_t point) {
            return point >= 0x20 && (point < 0x7F || point > 0x9F) && !IsBidiControl(point);
        },
        kReplacementCharacter);
}

} // namespace qp
