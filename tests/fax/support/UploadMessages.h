#pragma once

#include "base/Outcome.h"
#include "platform/MessageBox.h"

namespace qp::test {

// What the user is told when the fax server refuses the message box number or PIN.
inline constexpr const char* kLoginFailed =
    "Login failed due to an invalid username or password.\r\n\r\n"
    "Please check your login and password in the configuration.";

// Shows a failure's words as its caller would, so a recording sink sees what the user would.
inline bool Shown(const Outcome& outcome) {
    if (!outcome.ok && !outcome.message.empty())
        ShowMessage(outcome.message);
    return outcome.ok;
}

} // namespace qp::test
