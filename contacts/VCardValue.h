#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qp::contacts {

// The bytes of a quoted-printable value ("=C3=A9" and the like); an "=" not followed by two hex
// digits stays as it is.
std::string DecodeQuotedPrintable(std::string_view value);

// A value's bytes in the named character set as UTF-8. Without a name, or where the bytes are not
// what the name says, UTF-8 is taken when they are UTF-8 and Windows-1252 (which Latin-1 files
// read as) otherwise, so that whatever comes in is stored as UTF-8.
std::string ToUtf8(std::string_view bytes, std::string_view charset);

// A file written as UTF-16 (with its byte order mark, as Windows address books write them) as
// UTF-8; nothing for any other text.
std::optional<std::string> Utf16AsUtf8(std::string_view text);

// The components of a structured value (N, ORG) at the semicolons not escaped, each unescaped.
std::vector<std::string> SplitComponents(std::string_view value);

// Undoes the backslash escapes of a text value: \\ \; \, \: \n (\N); a backslash before anything
// else is kept, as 2.1 files know no other escapes. Line breaks in the value become LF.
std::string UnescapeText(std::string_view value);

// Escapes a text value for writing: backslash, semicolon, comma, and line breaks as \n.
std::string EscapeText(std::string_view value);

} // namespace qp::contacts
