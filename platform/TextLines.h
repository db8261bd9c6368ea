#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qp {

// The blanks that are trimmed from history lines and server replies: space, tab, LF, VT, FF, CR.
bool IsBlankChar(char c);
std::string TrimBlanks(std::string_view text);

// Splits text the way the program has always read its text files: a line ends at LF, or at CR
// together with whatever single character follows it. A last line without an end still counts;
// nothing after a final line end makes another line. Lines are returned as read, not trimmed.
// The recipient history is stored under this rule.
std::vector<std::string> SplitTextLines(const std::string& text);

// Another rule, kept apart, for files whose lines end at LF alone (manifests, log records, PPDs):
// the pieces between LFs as they stand, a CR before an LF kept. A last piece counts; nothing after
// a final LF makes another.
std::vector<std::string_view> SplitAtLineFeeds(std::string_view text);

// A value kept on one line of such a file: its backslashes, LFs and CRs written as "\\", "\n" and
// "\r". Unescaping takes any other escaped character as itself, and a lone backslash at the end
// as it stands.
std::string EscapeLineBreaks(std::string_view value);
std::string UnescapeLineBreaks(std::string_view value);

} // namespace qp
