#include "contacts/VCardValue.h"

#include "platform/OutsideText.h"

#include <QByteArray>
#include <QString>
#include <QStringConverter>
#include <array>
#include <cstdint>

namespace qp::contacts {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool IsUtf8(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t length = 0;
        DecodeUtf8(bytes, at, length);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

void AppendUtf8(std::string& out, std::uint32_t point) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

// Windows-1252: Latin-1 but for 0x80-0x9F, where address books exported on Windows put the euro
// sign and typographic quotes. Its five unassigned bytes keep their Latin-1 meaning.
std::string FromWindows1252(std::string_view bytes) {
    static constexpr std::array<std::uint16_t, 32> kHigh = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        AppendUtf8(out, byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte);
    }
    return out;
}

std::string Folded(std::string_view name) {
    std::string folded;
    for (char c : name) {
        if (c != '-' && c != '_')
            folded += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return folded;
}

} // namespace

std::string DecodeQuotedPrintable(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '=' && i + 2 < value.size() && HexDigit(value[i + 1]) >= 0 &&
            HexDigit(value[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(value[i + 1]) * 16 + HexDigit(value[i + 2]));
            i += 2;
        } else {
            out += value[i];
        }
    }
    return out;
}

std::string ToUtf8(std::string_view bytes, std::string_view charset) {
    const std::string name = Folded(charset);
    if (name == "latin1" || name == "iso88591" || name == "windows1252" || name == "cp1252")
        return FromWindows1252(bytes);
    if (!name.empty() && name != "utf8" && name != "usascii" && name != "ascii") {
        const std::string wanted(charset);
        if (const auto encoding = QStringConverter::encodingForName(wanted.c_str())) {
            QStringDecoder decoder(*encoding);
            const QString text = decoder.decode(QByteArrayView(bytes.data(), bytes.size()));
            if (!decoder.hasError())
                return text.toStdString();
        }
    }
    return IsUtf8(bytes) ? std::string(bytes) : FromWindows1252(bytes);
}

std::optional<std::string> Utf16AsUtf8(std::string_view text) {
    if (!text.starts_with("\xFF\xFE") && !text.starts_with("\xFE\xFF"))
        return std::nullopt;
    QStringDecoder decoder(QStringConverter::Utf16);
    return QString(decoder.decode(QByteArrayView(text.data(), text.size()))).toStdString();
}

std::vector<std::string> SplitComponents(std::string_view value) {
    std::vector<std::string> components;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= value.size(); ++i) {
        if (i < value.size() && value[i] == '\\') {
            ++i;
            continue;
        }
        if (i == value.size() || value[i] == ';') {
            components.push_back(UnescapeText(value.substr(start, i - start)));
            start = i + 1;
        }
    }
    return components;
}

std::string UnescapeText(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\r') {
            // A line break decoded from quoted-printable is kept as the escapes give it: LF.
            if (i + 1 < value.size() && value[i + 1] == '\n')
                ++i;
            out += '\n';
        } else if (c == '\\' && i + 1 < value.size() &&
                   std::string_view("\\;,:nN").find(value[i + 1]) != std::string_view::npos) {
            const char escaped = value[++i];
            out += escaped == 'n' || escaped == 'N' ? '\n' : escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::string EscapeText(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\' || c == ';' || c == ',') {
            out += '\\';
            out += c;
        } else if (c == '\r' || c == '\n') {
            out += "\\n";
            if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n')
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace qp::contacts
