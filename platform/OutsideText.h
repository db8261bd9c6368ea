#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qp {

// The code point of the well-formed UTF-8 sequence at `at` and its length in bytes; length 0 when
// the bytes there are not one (stray continuation, overlong form, surrogate, beyond U+10FFFF, cut
// off).
std::uint32_t DecodeUtf8(std::string_view text, std::size_t at, std::size_t& length);

// Each character of `text` for which `shown` says no becomes "?", and each byte that is not
// UTF-8 becomes `forInvalid`.
std::string ReplaceUnshown(std::string_view text, bool (*shown)(std::uint32_t point),
                           std::string_view forInvalid);

// Text that comes from outside (a server's reply, a file, a job's title, a log record), made safe
// to show anywhere, a terminal included: C0 controls, DEL, the C1 controls U+0080-U+009F and the
// bidirectional controls (U+061C, U+200E, U+200F, U+202A-U+202E, U+2066-U+2069) become "?", and
// bytes that are not UTF-8 become U+FFFD. Windows show it as plain text besides.
std::string ShownAsText(std::string_view text);

} // namespace qp
