#pragma once

#include <string>
#include <vector>

namespace qp {

// The blanks that are trimmed from history lines and server replies: space, tab, LF, VT, FF, CR.
bool IsBlankChar(char c);
std::string TrimBlanks(const std::string& text);

// Splits text the way the program has always read its text files: a line ends at LF, or at CR
// together with whatever single character follows it. A last line without an end still counts;
// nothing after a final line end makes another line. Lines are returned as read, not trimmed.
std::vector<std::string> SplitTextLines(const std::string& text);

} // namespace qp
