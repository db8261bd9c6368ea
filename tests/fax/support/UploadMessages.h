#pragma once

#include "base/Outcome.h"
#include "platform/MessageBox.h"

#include <string>
#include <vector>

namespace qp::test {

// What the user is told when the fax server refuses the message box number or PIN.
inline constexpr const char* kLoginFailed =
    "Login failed due to an invalid username or password.\r\n\r\n"
    "Please check your login and password in the configuration.";

// What the user is told when the fax server stays silent past a reply's limit.
inline constexpr const char* kNoAnswer = "The fax server did not answer within 60 seconds.";

// The first line of each message: the words the send dialog has always used, without the line
// below them that says what the number means and where it happened.
inline std::vector<std::string> FirstLines(const std::vector<std::string>& texts) {
    std::vector<std::string> first;
    for (const std::string& text : texts)
        first.push_back(text.substr(0, text.find('\n')));
    return first;
}

// Shows a failure's words as its caller would, so a recording sink sees what the user would.
inline bool Shown(const Outcome& outcome) {
    if (!outcome.ok && !outcome.message.empty())
        ShowMessage(outcome.message);
    return outcome.ok;
}

} // namespace qp::test
