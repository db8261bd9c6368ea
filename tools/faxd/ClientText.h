#pragma once

#include <string>

namespace qp::faxd {

// The client's values go into log lines and the one-value-per-line metadata file. Every character
// that is not plainly printable becomes "?": ASCII and C1 controls, Unicode line and paragraph
// separators, invisible format characters such as direction overrides, and bytes that are not
// well-formed UTF-8. Such a character can neither forge a line there, whatever reads it, nor drive
// the terminal that shows the log.
std::string Printable(const std::string& text);

// A recipient as clients send it: one or more fax numbers of digits, separated by ";".
bool IsRecipient(const std::string& text);

} // namespace qp::faxd
