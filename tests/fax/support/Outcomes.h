#pragma once

#include "base/Outcome.h"

#include <ostream>
#include <string>

namespace qp {

// Outcomes compare whole in tests: whether the work went, whether that was confirmed, and the
// words the user is told.
inline bool operator==(const Outcome& a, const Outcome& b) {
    return a.ok == b.ok && a.unconfirmed == b.unconfirmed && a.message == b.message;
}
inline void PrintTo(const Outcome& outcome, std::ostream* out) {
    *out << (outcome.unconfirmed ? "unconfirmed: \"" + outcome.message + "\""
             : outcome.ok        ? "success"
                                 : "failure: \"" + outcome.message + "\"");
}

} // namespace qp

namespace qp::test {

// What the user is told when the fax server refuses the message box number or PIN.
inline constexpr const char* kLoginFailed =
    "Login failed due to an invalid username or password.\r\n\r\n"
    "Please check your login and password in the configuration.";

// What the user is told when the fax server stays silent past a reply's limit.
inline constexpr const char* kNoAnswer = "The fax server did not answer within 60 seconds.";

// The first line of a message: the words the send dialog has always used, without the line below
// them that says what the number means and where it happened.
inline std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

} // namespace qp::test
