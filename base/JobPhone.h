#pragma once

// The recipient a print job names: the value of its "phone" option, which print dialogs that show
// the driver's custom options offer as a field and `lp -o phone=...` sets. The backend writes it as
// the first line of the job file it delivers; the send dialog opens with it in "Fax to:". The text
// is whatever the printing user typed, so only a plain, bounded number ever passes. Plain C++ and
// libc only: the backend links it too.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qp {

// The job file's first line when the job names a recipient: the marker, a blank, the number.
inline constexpr std::string_view kJobPhoneMarker = "%%QuillpostPhone:";
inline constexpr std::size_t kMaxJobPhoneLength = 64;

// The value of the option "phone" in the job options CUPS hands a backend (name=value pairs apart
// by blanks, values possibly quoted or escaped); the last one counts, as for CUPS. Nothing when
// the job has none.
std::optional<std::string> PhoneOption(std::string_view options);

// The number in a value of the option: the custom value a driver's field gives ("Custom.<text>")
// or the plain one, trimmed. Only digits, "+", blanks, ".", "-", "(" and ")", at least one digit
// and at most kMaxJobPhoneLength characters pass; anything else is dropped whole (empty).
std::string CleanPhone(std::string_view value);

// The line the backend puts before a document that starts with `documentStart`: the number's
// line for a number before PostScript; for none, an empty marker line when the document itself
// begins with the marker (so that a reprinted job never names a recipient of its own), else
// nothing (a PDF keeps its first bytes).
std::string JobPhoneLine(const std::string& cleanPhone, std::string_view documentStart);

// The number the job file's first line names, cleaned again; empty when the first line is no
// marker line. `start` is the file's beginning; lines further on never count.
std::string PhoneOfJobStart(std::string_view start);
// The same for the job file at `path`, reading only its first line.
std::string PhoneOfJobFile(const std::string& path);

} // namespace qp
