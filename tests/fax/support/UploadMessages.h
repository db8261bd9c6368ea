#pragma once

namespace qp::test {

// What the user is told when the fax server refuses the message box number or PIN.
inline constexpr const char* kLoginFailed =
    "Login failed due to an invalid username or password.\r\n\r\n"
    "Please check your login and password in the configuration.";

} // namespace qp::test
